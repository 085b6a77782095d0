// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Saving the settings file when the system refuses: a file-size limit and a read-only folder, set
// up through POSIX calls.

#include "ini_file.h"
#include "settings_ini_file_fixture.h"

#include <QDir>

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST_F(IniFileTest, FailedSaveLeavesOldFileIntact)
{
    const QByteArray original = "[General]\r\nVcore_Hi=3600\r\n";
    writeFile(original);
    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    ini.putString("General", "Note", QString(4000, 'n'));

    // A file-size limit makes the write of the new file fail part-way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = ini.save(path());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(readFile(), original);
    EXPECT_EQ(ini.getString("General", "Note", "").size(), 4000);
}

constexpr uid_t kNobody = 65534;

struct ChildRun {
    int code = -1;
    QByteArray errors; // its standard error
};

// Runs `work` in a child process, as an unprivileged user when this test runs as root (root may
// create files in any folder); its result is the child's exit code.
ChildRun runUnprivileged(const std::function<int()>& work)
{
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        dup2(channel[1], STDERR_FILENO);
        const bool dropped = geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 &&
                                                setuid(kNobody) == 0);
        _exit(dropped ? work() : 100);
    }
    close(channel[1]);
    ChildRun run;
    char chunk[512];
    for (ssize_t n; (n = read(channel[0], chunk, sizeof chunk)) > 0;)
        run.errors.append(chunk, int(n));
    close(channel[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.code = WEXITSTATUS(status);
    return run;
}

// A locked-down install: the folder read-only, the settings file in it writable. No new file can
// appear beside it, so the save writes the file in place and says so once; a file that does not
// exist there cannot be saved at all.
TEST_F(IniFileTest, ReadOnlyFolderWithWritableFileIsSavedInPlace)
{
    writeFile("[General]\r\nVcore_Hi=3600\r\n");
    const bool root = geteuid() == 0;
    const QByteArray folder = QFile::encodeName(dir.path());
    if (root) {
        ASSERT_EQ(chown(QFile::encodeName(path()).constData(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(chmod(folder.constData(), root ? 0555 : 0500), 0);
    const ChildRun child = runUnprivileged([&] {
        IniFile ini;
        if (!ini.load(path()))
            return 1;
        ini.putInt("General", "Vcore_Hi", 3700);
        if (!ini.save(path()))
            return 2;
        ini.putInt("General", "Vcore_Hi", 3800);
        if (!ini.save(path()))
            return 3;
        return ini.save(path("absent.ini")) ? 4 : 0;
    });
    chmod(folder.constData(), 0700);

    EXPECT_EQ(child.code, 0) << child.errors.constData();
    EXPECT_EQ(readFile(), "[General]\r\nVcore_Hi=3800\r\n");
    EXPECT_EQ(child.errors.count('\n'), 1) << child.errors.constData();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VRD.INI"});
}

} // namespace
