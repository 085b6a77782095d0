// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The Windows installer as an administrator's deployment tool runs it: silently, under wine64.
// The agent started from its installed place keeps its files in the user's local application data
// and answers on the broker; the silent uninstaller ends it, removes what was installed and keeps
// the user's data unless asked to remove it. The installed station keeps its registry there too.

#include "qt_test_loop.h"
#include "test_broker.h"
#include "wine_program.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kInstalledAgent = QStringLiteral("C:\\Program Files\\Varden\\VrdClient.exe");
const QString kRunKey = QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

QString driveC()
{
    return wine::prefix() + "/drive_c";
}

QString installDirectory()
{
    return driveC() + "/Program Files/Varden";
}

QString startMenuFolder()
{
    return driveC() + "/ProgramData/Microsoft/Windows/Start Menu/Programs/Varden";
}

// The running user's %LOCALAPPDATA%\Varden, on the Linux side.
QString userDataDirectory()
{
    QByteArray output;
    wine::run("cmd", {"/c", "echo", "%LOCALAPPDATA%"}, 60000, nullptr, &output);
    QString windowsPath = QString::fromLocal8Bit(output).trimmed().section('\n', -1).trimmed();
    windowsPath.replace('\\', '/');
    if (!windowsPath.startsWith("C:/", Qt::CaseInsensitive))
        return {};
    return driveC() + windowsPath.mid(2) + "/Varden";
}

// What "reg query" prints of a key (empty when the key or the value is missing).
QString registryValues(const QString& key, const QStringList& options)
{
    QByteArray output;
    int status = -1;
    wine::run("reg", QStringList{"query", key} + options, 60000, &status, &output);
    return status == 0 ? QString::fromLocal8Bit(output) : QString();
}

// The agent's start at login: the value in the Run key of the machine (HKLM) or the user (HKCU).
QString runValue(const QString& root)
{
    return registryValues(root + kRunKey, {"/v", "Varden Agent"});
}

// The entry of "Apps & features" (empty when there is none).
QString uninstallEntry()
{
    return registryValues("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Varden", {});
}

bool runSilently(const QString& program, const QStringList& arguments)
{
    int status = -1;
    return wine::run(program, arguments, 120000, &status) && status == 0;
}

// The uninstaller copies itself away and returns at once. Its last steps show that it is done:
// the entry of the installed programs goes after the files, links and Run values, and with
// /PURGE the user's data goes last of all.
bool uninstall(const QStringList& options)
{
    const bool purge = options.contains("/PURGE");
    return runSilently(installDirectory() + "/Uninstall.exe", QStringList{"/S"} + options) &&
           vrdtest::waitUntil(
               [&] {
                   return !QFileInfo::exists(installDirectory()) && uninstallEntry().isEmpty() &&
                          !(purge && QFileInfo::exists(userDataDirectory()));
               },
               60000);
}

TEST(WindowsInstaller, InstallsSilentlyRunsTheAgentFromProgramFilesAndUninstalls)
{
    vrdtest::ensureCoreApplication();
    const QString setup = qEnvironmentVariable("VRD_WIN_SETUP");
    ASSERT_TRUE(QFileInfo::exists(setup)) << "no installer at " << setup.toStdString();
    const QString data = userDataDirectory();
    ASSERT_FALSE(data.isEmpty());
    QDir(data).removeRecursively();

    ASSERT_TRUE(runSilently(setup, {"/S"}));
    for (const char* file : {"VrdClient.exe", "VrdBrowser.exe", "vrdctl.exe", "gauge64-read.exe", "Gauge64.dll",
                             "LICENSE.txt", "Uninstall.exe"})
        EXPECT_TRUE(QFileInfo::exists(installDirectory() + "/" + file)) << file;
    for (const char* link : {"Varden Agent.lnk", "Varden Station.lnk"})
        EXPECT_TRUE(QFileInfo::exists(startMenuFolder() + "/" + link)) << link;
    EXPECT_TRUE(runValue("HKLM").contains("\"C:\\Program Files\\Varden\\VrdClient.exe\"")) << "for every user";
    EXPECT_TRUE(runValue("HKCU").isEmpty());
    // Listed among the installed programs, with the command a deployment tool removes it by.
    const QString listed = uninstallEntry();
    EXPECT_TRUE(listed.contains("DisplayVersion    REG_SZ    " VRD_VERSION)) << listed.toStdString();
    EXPECT_TRUE(listed.contains("\"C:\\Program Files\\Varden\\Uninstall.exe\" /S")) << listed.toStdString();

    // The installed agent, started elsewhere, keeps VRD.INI and its databases in the user's data.
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    const QString agentData = data + "/VrdClient";
    ASSERT_TRUE(QDir().mkpath(agentData));
    {
        QFile ini(agentData + "/VRD.INI");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[CLOUD]\r\nENABLE=1\r\nHOST=127.0.0.1\r\nPORT=%1\r\nBRANCH_TOKEN=SETUP1\r\n")
                      .arg(broker.port())
                      .toUtf8());
    }
    QTemporaryDir elsewhere;
    QProcess agent;
    QProcessEnvironment env = wine::environment();
    env.insert("GAUGE64_BOARD", wine::windowsPath(QStringLiteral(VRD_SOURCE_DIR "/boards/fintek-f81866.json")));
    agent.setWorkingDirectory(elsewhere.path());
    agent.setProcessChannelMode(QProcess::MergedChannels);
    wine::start(agent, kInstalledAgent, {}, env);
    ASSERT_TRUE(agent.waitForStarted(10000));
    QUuid identity;
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !(identity = wine::storedIdentity(agentData + "/sysinfo2.sqlite")).isNull(); },
                        60000))
        << agent.readAll().constData();
    QProcess vrdctl;
    const QStringList check = {"--port", QString::number(broker.port()), "--channel", "SETUP1", "check",
                               identity.toString()};
    EXPECT_TRUE(vrdtest::waitUntil(
        [&] {
            vrdctl.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"), check);
            return vrdctl.waitForFinished(20000) && vrdctl.exitCode() == 0;
        },
        60000))
        << agent.readAll().constData() << vrdctl.readAll().constData();
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing in the working directory";

    // So does the installed station: its registry goes to the user's data, not beside it.
    QProcess station;
    station.setWorkingDirectory(elsewhere.path());
    wine::start(station, "C:\\Program Files\\Varden\\VrdBrowser.exe", {});
    ASSERT_TRUE(station.waitForStarted(10000));
    EXPECT_TRUE(vrdtest::waitUntil([&] { return QFileInfo::exists(data + "/VrdBrowser/Client.sqlite"); }, 60000));
    EXPECT_FALSE(QFileInfo::exists(installDirectory() + "/Client.sqlite"));
    station.kill(); // it has no quit request of its own; nothing of it is checked after this
    station.waitForFinished(10000);

    // The silent uninstaller ends the running agent, removes what was installed, keeps the data.
    ASSERT_TRUE(uninstall({}));
    // The waits above run the event loop, so the agent's end may already have been noticed.
    EXPECT_TRUE(vrdtest::waitUntil([&] { return agent.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(agent.exitCode(), 0) << "ended through its normal shutdown";
    EXPECT_FALSE(QFileInfo::exists(startMenuFolder()));
    EXPECT_TRUE(runValue("HKLM").isEmpty());
    EXPECT_TRUE(uninstallEntry().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(agentData + "/sysinfo2.sqlite"));
    EXPECT_TRUE(QFileInfo::exists(agentData + "/VRD.INI"));
    EXPECT_TRUE(QFileInfo::exists(data + "/VrdBrowser/Client.sqlite"));

    // Chosen for the installing user only; removed with the user's data when asked.
    ASSERT_TRUE(runSilently(setup, {"/S", "/AUTOSTART=user"}));
    EXPECT_TRUE(runValue("HKLM").isEmpty());
    EXPECT_TRUE(runValue("HKCU").contains("VrdClient.exe"));
    ASSERT_TRUE(uninstall({"/PURGE"}));
    EXPECT_TRUE(runValue("HKCU").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(data));
}

} // namespace
