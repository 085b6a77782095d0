// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The single-instance lock without a session runtime directory: a directory of the user's own in
// the temporary folder, which another user cannot prepare in advance.

#include "single_instance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kName = QStringLiteral("VrdClient");

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        lockDir = QFileInfo(singleInstanceLockPath(kName)).absolutePath();
        // Everything below changes that directory; it must be one of this test's own.
        ASSERT_TRUE(lockDir.startsWith(temp.path() + QLatin1Char('/'))) << lockDir.toStdString();
    }
    void TearDown() override
    {
        restore("XDG_RUNTIME_DIR", runtimeDir);
        restore("TMPDIR", tmpDir);
    }

    static void restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmpDir = qgetenv("TMPDIR");
    QTemporaryDir temp;
    QString lockDir;
};

struct stat statOf(const QString& path)
{
    struct stat info {};
    lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

TEST_F(SingleInstanceTest, LocksInADirectoryOfTheUsersOwnWithoutARuntimeDirectory)
{
    auto first = std::make_unique<SingleInstanceLock>(kName);
    ASSERT_TRUE(first->tryAcquire());
    const struct stat dir = statOf(lockDir);
    EXPECT_TRUE(S_ISDIR(dir.st_mode));
    EXPECT_EQ(dir.st_uid, getuid());
    EXPECT_EQ(dir.st_mode & 07777, 0700u);
    EXPECT_TRUE(QFile::exists(first->path()));

    SingleInstanceLock second(kName);
    EXPECT_FALSE(second.tryAcquire());
    first.reset();
    EXPECT_TRUE(second.tryAcquire());
}

// A directory at that place that is not this user's alone is not used: no lock file goes into it,
// and the guard is off rather than the program kept from starting.
TEST_F(SingleInstanceTest, RefusesADirectoryThatIsNotTheUsersAlone)
{
    const QByteArray dirName = QFile::encodeName(lockDir);
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    struct Case {
        const char* name;
        std::function<bool()> prepare;
    };
    const auto made = [&] { return mkdir(dirName.constData(), 0700) == 0; };
    const Case cases[] = {
        {"owned by another user", [&] { return made() && chown(dirName.constData(), 4321, 4321) == 0; }},
        {"open to its group", [&] { return made() && chmod(dirName.constData(), 0770) == 0; }},
        {"open to everyone", [&] { return made() && chmod(dirName.constData(), 0777) == 0; }},
        {"a link to a directory of the user's own", [&] { return QDir().mkpath(elsewhere) && QFile::link(elsewhere, lockDir); }},
    };
    for (const Case& c : cases) {
        if (std::string(c.name) == "owned by another user" && geteuid() != 0) {
            std::printf("skipped: %s (needs root to give a directory away)\n", c.name);
            continue;
        }
        ASSERT_TRUE(c.prepare()) << c.name;
        const mode_t modeBefore = statOf(lockDir).st_mode;
        SingleInstanceLock lock(kName);
        EXPECT_TRUE(lock.tryAcquire()) << c.name;
        EXPECT_FALSE(QFile::exists(lock.path())) << c.name;
        EXPECT_EQ(statOf(lockDir).st_mode, modeBefore) << c.name;
        EXPECT_TRUE(QDir(elsewhere).isEmpty()) << c.name;
        ASSERT_TRUE(QFile::remove(lockDir) || QDir(lockDir).removeRecursively()) << c.name;
    }
}

} // namespace
