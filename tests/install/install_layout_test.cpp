// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// `cmake --install` into a DESTDIR: every file where a Linux system looks for it, desktop entries
// that desktop-file-validate accepts, icons rendered at their sizes, man pages that format
// cleanly, a unit that systemd-analyze accepts, and the installed gauge64-read finding the
// installed library.

#include "installed_tree.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Each program has its man page of the same name.
const QStringList kPrograms = {"VrdClient", "vrd-agent", "VrdBrowser", "gauge64-read", "vrdctl", "vrd-fleet-sim"};
const QStringList kIcons = {"varden-agent", "varden-station"};
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
const char* const kDesktopEntries[][2] = {
    {"data", "applications/varden-agent.desktop"},
    {"data", "applications/varden-station.desktop"},
    {"autostart", "varden-agent.desktop"},
};

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Outcome result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

class InstallLayoutTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tree.install()) << tree.log().toStdString(); }
    InstalledTree tree;
};

TEST_F(InstallLayoutTest, EveryFileLandsWhereTheSystemLooksForIt)
{
    struct Expected {
        QString dirKey;
        QString name;
        bool executable;
    };
    std::vector<Expected> expected = {
        {"lib", "varden/libGauge64.so", false},
        {"data", "applications/varden-agent.desktop", false},
        {"data", "applications/varden-station.desktop", false},
        {"autostart", "varden-agent.desktop", false},
        {"units", "varden-agent.service", false},
        {"sysusers", "varden.conf", false},
        {"doc", "examples/port-access.conf", false},
        {"doc", "copyright", false},
    };
    for (const QString& program : kPrograms)
        expected.push_back({"bin", program, true});
    for (const QString& page : kPrograms)
        expected.push_back({"man", QStringLiteral("man1/%1.1.gz").arg(page), false});
    for (const QString& icon : kIcons)
        expected.push_back({"data", QStringLiteral("icons/hicolor/scalable/apps/%1.svg").arg(icon), false});

    for (const Expected& e : expected) {
        const QFileInfo file(tree.file(e.dirKey, e.name));
        EXPECT_TRUE(file.isFile()) << file.filePath().toStdString();
        EXPECT_EQ(file.isExecutable(), e.executable) << file.filePath().toStdString();
    }
}

TEST_F(InstallLayoutTest, DesktopEntriesPassDesktopFileValidate)
{
    for (const auto& entry : kDesktopEntries) {
        const QString path = tree.file(entry[0], entry[1]);
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        const Outcome check = run(QStringLiteral("desktop-file-validate"), {path});
        // Hints are advice; errors and warnings are not.
        EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
        EXPECT_FALSE(check.out.contains(QRegularExpression(": (error|warning):"))) << check.out.toStdString();
    }
}

TEST_F(InstallLayoutTest, IconsAreRenderedAtTheirSizes)
{
    for (const QString& icon : kIcons)
        for (int size : kIconSizes) {
            const QString path =
                tree.file("data", QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon));
            QImageReader reader(path);
            EXPECT_EQ(reader.format(), QByteArray("png")) << path.toStdString();
            EXPECT_EQ(reader.size(), QSize(size, size)) << path.toStdString();
        }
}

TEST_F(InstallLayoutTest, ManPagesFormatWithoutWarnings)
{
    for (const QString& page : kPrograms) {
        const QString path = tree.file("man", QStringLiteral("man1/%1.1.gz").arg(page));
        const Outcome format = run(QStringLiteral("sh"),
                               {"-c", "gzip -dc \"$1\" | groff -man -ww -z -Tutf8", "sh", path});
        EXPECT_EQ(format.exitCode, 0) << page.toStdString();
        EXPECT_EQ(format.err, QString()) << page.toStdString();
    }
}

// systemd-analyze checks the unit's syntax, that its program exists and that its man page is
// found. The copy points at the program inside the DESTDIR; everything else is as installed.
TEST_F(InstallLayoutTest, UnitPassesSystemdAnalyzeVerify)
{
    QFile installed(tree.file("units", "varden-agent.service"));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    QString unit = QString::fromUtf8(installed.readAll());
    const QRegularExpression execStart(QStringLiteral("^ExecStart=(\\S+)"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = execStart.match(unit);
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(match.captured(1), tree.file("bin", "vrd-agent").mid(tree.root().size()));
    unit.replace(match.capturedStart(1), match.capturedLength(1), tree.file("bin", "vrd-agent"));
    // The status of a machine without a usable sensor ends the service for good.
    EXPECT_TRUE(unit.contains(QStringLiteral("\nRestartPreventExitStatus=69\n")));

    QTemporaryDir scratch;
    QFile copy(scratch.filePath("varden-agent.service"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(unit.toUtf8());
    copy.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANPATH"), tree.file("man", QString()));
    const Outcome verify = run(QStringLiteral("systemd-analyze"), {"verify", copy.fileName()}, env);
    EXPECT_EQ(verify.exitCode, 0) << verify.err.toStdString();
    EXPECT_EQ(verify.err, QString());
}

// The installed program has no library beside it: it must take the one installed in the
// prefix's library directory, not the build tree's and not one from the system's search path.
TEST_F(InstallLayoutTest, InstalledGauge64ReadUsesTheInstalledLibraryOnASimulatedBoard)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GAUGE64_BOARD"), QStringLiteral(VRD_SOURCE_DIR "/boards/fintek-f81866.json"));
    env.remove(QStringLiteral("GAUGE64_TRACE"));
    const Outcome fromBuild = run(QStringLiteral(VRD_BIN_DIR "/gauge64-read"), {"--json"}, env);
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    const Outcome installed = run(tree.file("bin", "gauge64-read"), {"--json"}, env);

    EXPECT_EQ(installed.exitCode, 0) << installed.err.toStdString();
    EXPECT_TRUE(installed.out.startsWith(QLatin1String("{\"status\":16,"))) << installed.out.toStdString();
    EXPECT_EQ(installed.out, fromBuild.out);

    const QRegularExpression mapped(QStringLiteral("file=(\\S*libGauge64\\.so) \\[0\\];\\s+generating link map"));
    const QRegularExpressionMatch match = mapped.match(installed.err);
    ASSERT_TRUE(match.hasMatch()) << installed.err.toStdString();
    EXPECT_EQ(QFileInfo(match.captured(1)).canonicalFilePath(),
              QFileInfo(tree.file("lib", "varden/libGauge64.so")).canonicalFilePath());
}

// The sensor library is the programs' own: in a folder of its own, not where the dynamic linker
// offers libraries to every program.
TEST_F(InstallLayoutTest, TheLibraryIsInItsOwnFolderOnly)
{
    EXPECT_FALSE(QFileInfo::exists(tree.file("lib", "libGauge64.so")));
}

// `cmake --install --prefix DIR` puts every file under DIR: a destination fixed to the configured
// prefix would land beside it, in the DESTDIR's copy of that prefix. Only a destination outside
// the configured prefix is absolute and stays (/etc for the /usr prefix).
TEST(InstallElsewhere, EveryFileLandsUnderTheGivenPrefix)
{
    InstalledTree tree;
    const QString prefix = QStringLiteral("/opt/varden-elsewhere");
    ASSERT_TRUE(tree.install(prefix)) << tree.log().toStdString();
    QStringList fixedDirs;
    for (const char* key : {"bin", "lib", "data", "man", "doc", "autostart", "units", "sysusers"}) {
        if (!tree.isFixed(key))
            continue;
        fixedDirs << tree.file(key, QString()).mid(tree.root().size());
        EXPECT_FALSE(fixedDirs.last().startsWith(tree.configuredPrefix() + '/')) << key;
    }
    QStringList outside;
    QDirIterator files(tree.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next().mid(tree.root().size());
        const bool fixed = std::any_of(fixedDirs.begin(), fixedDirs.end(), [&](const QString& dir) { return path.startsWith(dir); });
        if (!fixed && !path.startsWith(prefix + '/'))
            outside << path;
    }
    EXPECT_EQ(outside.join(' ').toStdString(), "");
    EXPECT_TRUE(QFileInfo(tree.file("bin", "VrdClient")).isExecutable());
    EXPECT_TRUE(tree.file("bin", "VrdClient").startsWith(tree.root() + prefix + '/'));
}

// Every installed program that loads the library finds it through the same lookup: the agent in
// both forms, and the simulator with --board.
TEST_F(InstallLayoutTest, EveryInstalledProgramLoadsTheInstalledLibrary)
{
    QTemporaryDir state;
    const struct {
        const char* program;
        QStringList arguments;
        int exitCode;
    } cases[] = {
        {"vrd-agent", {}, 69}, // no chip on the board: it says so and ends
        {"VrdClient", {}, 0},  // the same, through its message on the offscreen platform
        {"vrd-fleet-sim", {"--agents", "1", "--duration", "1", "--port", "9", "--board",
                           VRD_SOURCE_DIR "/boards/fintek-f81866.json"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GAUGE64_BOARD"), QStringLiteral(VRD_SOURCE_DIR "/boards/no-chip.json"));
        env.insert(QStringLiteral("STATE_DIRECTORY"), state.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), state.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        env.remove(QStringLiteral("GAUGE64_TRACE"));
        env.remove(QStringLiteral("LD_LIBRARY_PATH"));
        const Outcome installed = run(tree.file("bin", QString::fromLatin1(c.program)), c.arguments, env);
        EXPECT_EQ(installed.exitCode, c.exitCode) << installed.err.right(2000).toStdString();
        const QRegularExpression mapped(QStringLiteral("file=(\\S*libGauge64\\.so) \\[0\\];\\s+generating link map"));
        const QRegularExpressionMatch match = mapped.match(installed.err);
        ASSERT_TRUE(match.hasMatch()) << installed.err.right(2000).toStdString();
        EXPECT_EQ(QFileInfo(match.captured(1)).canonicalFilePath(),
                  QFileInfo(tree.file("lib", "varden/libGauge64.so")).canonicalFilePath());
    }
}

} // namespace
