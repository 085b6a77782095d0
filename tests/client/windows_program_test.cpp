// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// VrdClient.exe as a Windows program, each run in a working directory of its own, on the Windows
// platform of the toolkit: the start failure's message box when the port-I/O driver is missing,
// and the single-instance mutex with the quit message 0x0401.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include <windows.h>

namespace {

const QString kClient = QStringLiteral(VRD_BIN_DIR "/VrdClient.exe");
const QString kBoard = QStringLiteral(VRD_SOURCE_DIR "/boards/fintek-f81866.json");

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

// The visible top-level windows of one process.
std::vector<HWND> visibleWindowsOf(qint64 processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{DWORD(processId), {}};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && IsWindowVisible(window))
                s->found.push_back(window);
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

HWND quitWindowOf(qint64 processId)
{
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"VardenQuit", L"VrdClient"));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == DWORD(processId))
            return window;
    }
    return nullptr;
}

class WindowsProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work.isValid()); }

    void TearDown() override
    {
        for (auto& process : processes)
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
    }

    // The program on the toolkit's Windows platform (the tests' own offscreen one is not in it).
    QProcess& start(const QString& board, const QStringList& arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("GAUGE64_TRACE");
        env.remove("GAUGE64_SOURCE");
        if (board.isEmpty())
            env.remove("GAUGE64_BOARD");
        else
            env.insert("GAUGE64_BOARD", board);
        processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes.back();
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(work.path());
        process.start(kClient, arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        return process;
    }

    static bool endsWithin(QProcess& process, int ms)
    {
        return process.waitForFinished(ms) && process.exitStatus() == QProcess::NormalExit;
    }

    QByteArray settingsFile() const
    {
        QFile file(QDir(work.path()).filePath("VRD.INI"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir work;
    std::vector<std::unique_ptr<QProcess>> processes;
};

// Without the port-I/O driver (Wine has none) the library reports 1024 and the client shows its
// one message box; closing it ends the program through the normal shutdown, with no tray.
TEST_F(WindowsProgramTest, WithoutTheDriverTheFailureIsShownOnceAndEndsTheProgram)
{
    QProcess& client = start(QString());
    std::vector<HWND> windows;
    ASSERT_TRUE(waitFor([&] { return !(windows = visibleWindowsOf(client.processId())).empty(); }, 30000))
        << client.readAllStandardError().constData();
    QThread::msleep(1000); // a second box, or the window, would show by now
    windows = visibleWindowsOf(client.processId());
    ASSERT_EQ(windows.size(), 1u) << "one message box and nothing else";

    PostMessageW(windows.front(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(endsWithin(client, 20000));
    EXPECT_EQ(client.exitCode(), 0);
    const QString output = QString::fromUtf8(client.readAllStandardError());
    EXPECT_EQ(output.count("Can not detect the sensor"), 1) << output.toStdString();
    EXPECT_TRUE(settingsFile().startsWith("[General]\r\n")) << "the shutdown saved the settings";
}

// A second start leaves the running client alone and exits with -1; "--quit" ends it through
// message 0x0401 and its normal shutdown, after which a new client can start. Meanwhile its
// settings, databases and debug log lie in its working directory.
TEST_F(WindowsProgramTest, ASecondStartIsRefusedAndQuitEndsTheFirstThroughItsMessage)
{
    {
        QFile settings(QDir(work.path()).filePath("VRD.INI"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[DEBUG]\r\nDEBUG=1\r\n");
    }
    QProcess& first = start(kBoard);
    ASSERT_TRUE(waitFor([&] { return quitWindowOf(first.processId()) != nullptr; }, 30000));
    // Start-up is done once the logging thread has written its first rows; settings saved by then.
    ASSERT_TRUE(waitFor([&] { return settingsFile().contains("[General]"); }, 30000));
    // A copy outside Program Files keeps its files in its working directory.
    for (const char* file : {"sysinfo2.sqlite", "DbgMainThread.sqlite"})
        EXPECT_TRUE(QFile::exists(QDir(work.path()).filePath(file))) << file;

    QProcess& second = start(kBoard);
    ASSERT_TRUE(endsWithin(second, 30000));
    EXPECT_EQ(second.exitCode(), -1);
    EXPECT_EQ(first.state(), QProcess::Running);

    QFile settings(QDir(work.path()).filePath("VRD.INI"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write("[CLOUD]\r\nHOST=10.0.0.5\r\n");
    settings.close();

    QProcess& quit = start(kBoard, {"--quit"});
    ASSERT_TRUE(endsWithin(quit, 40000));
    EXPECT_EQ(quit.exitCode(), 0);
    ASSERT_TRUE(endsWithin(first, 1000)) << "--quit returns once the client has ended";
    EXPECT_EQ(first.exitCode(), 0);
    const QByteArray saved = settingsFile();
    // Saved by the shutdown: the section the client writes is added to what the file kept.
    EXPECT_TRUE(saved.startsWith("[CLOUD]\r\nHOST=10.0.0.5\r\n[General]\r\n")) << saved.constData();

    QProcess& third = start(kBoard);
    EXPECT_TRUE(waitFor([&] { return quitWindowOf(third.processId()) != nullptr; }, 30000));
    QProcess& quitAgain = start(kBoard, {"--quit"});
    EXPECT_TRUE(endsWithin(quitAgain, 40000));
    EXPECT_TRUE(endsWithin(third, 1000));
}

} // namespace
