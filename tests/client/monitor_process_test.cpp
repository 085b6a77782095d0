// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The real VrdClient program, each run in its own working and runtime directory, on the offscreen
// platform and a simulated board.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kClient = QStringLiteral(VRD_BIN_DIR "/VrdClient");
const QString kBoards = QStringLiteral(VRD_SOURCE_DIR "/boards");
// A board with a chip whose -5 V and -12 V inputs read 0.
const QString kChipBoard = kBoards + QStringLiteral("/fintek-f81866.json");
const QString kFailureText = QStringLiteral("Can't detect the sensor. Please contact with vendor.");

class ClientProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work.isValid() && runtime.isValid()); }

    QProcessEnvironment environment(const QString& board = QString()) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.remove("LD_LIBRARY_PATH");
        env.remove("GAUGE64_TRACE");
        if (board.isEmpty())
            env.remove("GAUGE64_BOARD");
        else
            env.insert("GAUGE64_BOARD", board);
        return env;
    }

    struct Run {
        bool finished;
        int exitCode;
        QString errors;
    };

    Run runToEnd(const QString& program, const QProcessEnvironment& env)
    {
        QProcess client;
        client.setProcessEnvironment(env);
        client.setWorkingDirectory(work.path());
        client.start(program, QStringList());
        const bool finished = client.waitForFinished(15000);
        if (!finished)
            client.kill();
        client.waitForFinished();
        return {finished && client.exitStatus() == QProcess::NormalExit, client.exitCode(),
                QString::fromUtf8(client.readAllStandardError())};
    }

    QByteArray settingsFile(const QString& dir = QString()) const
    {
        QFile file(QDir(dir.isEmpty() ? work.path() : dir).filePath("VRD.INI"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A client left running; killed at the end of the test if it is still there.
    std::unique_ptr<QProcess> startClient(const QProcessEnvironment& env, const QString& workDir)
    {
        auto client = std::make_unique<QProcess>();
        client->setProcessEnvironment(env);
        client->setWorkingDirectory(workDir);
        client->start(kClient, QStringList());
        EXPECT_TRUE(client->waitForStarted());
        return client;
    }

    // Waits until the client's standard error holds `text` (its start-up has passed that point).
    static bool waitForOutput(QProcess& client, const QString& text, QString* seen)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 10000 && client.state() == QProcess::Running) {
            client.waitForReadyRead(100);
            *seen += QString::fromUtf8(client.readAllStandardError());
            if (seen->contains(text))
                return true;
        }
        return false;
    }

    static bool endsWithin(QProcess& client, int ms)
    {
        return client.waitForFinished(ms) && client.exitStatus() == QProcess::NormalExit;
    }

    QTemporaryDir work;
    QTemporaryDir runtime;
};

TEST_F(ClientProcessTest, WithoutTheLibraryItReportsAndEnds)
{
    QTemporaryDir alone;
    const QString copy = QDir(alone.path()).filePath("VrdClient");
    ASSERT_TRUE(QFile::copy(kClient, copy));

    const Run run = runToEnd(copy, environment());
    ASSERT_TRUE(run.finished) << run.errors.toStdString();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains("<h3>Varden Client Monitor</h3>")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(kFailureText));
    EXPECT_TRUE(run.errors.contains("Can not load the sensor library"));
    EXPECT_TRUE(settingsFile().startsWith("[General]\r\n")); // the shutdown saved the settings
}

TEST_F(ClientProcessTest, WithoutAChipItReportsAndEnds)
{
    const Run run = runToEnd(kClient, environment(kBoards + "/no-chip.json"));
    ASSERT_TRUE(run.finished) << run.errors.toStdString();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(kFailureText)) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("Can not detect the sensor"));
    EXPECT_FALSE(run.errors.contains("Can not load"));
}

// --help and --version are answered before anything starts: no lock taken, no file written, so a
// client started right after runs as usual.
TEST_F(ClientProcessTest, HelpAndVersionStartNothing)
{
    const struct {
        const char* option;
        const char* out;
    } cases[] = {{"--help", "Usage: VrdClient"}, {"-h", "vrd-agent instead"}, {"--version", "VrdClient " VRD_VERSION}};
    for (const auto& c : cases) {
        QProcess client;
        client.setProcessEnvironment(environment(kChipBoard));
        client.setWorkingDirectory(work.path());
        client.start(kClient, {QString::fromLatin1(c.option)});
        ASSERT_TRUE(endsWithin(client, 10000)) << c.option;
        EXPECT_EQ(client.exitCode(), 0) << c.option;
        EXPECT_TRUE(client.readAllStandardOutput().contains(c.out)) << c.option;
        EXPECT_TRUE(client.readAllStandardError().isEmpty()) << c.option;
        EXPECT_TRUE(QDir(work.path()).isEmpty()) << c.option;
        EXPECT_TRUE(QDir(runtime.path()).isEmpty()) << c.option;
    }
}

// Start-up writes this once the tray step, after the removal of absent rails, is done.
const QString kStartedText = QStringLiteral("no notification area");

TEST_F(ClientProcessTest, OneClientPerSession)
{
    QTemporaryDir secondWork, otherRuntime, otherWork;
    auto first = startClient(environment(kChipBoard), work.path());
    QString firstErrors;
    ASSERT_TRUE(waitForOutput(*first, kStartedText, &firstErrors)) << firstErrors.toStdString();

    QProcess second;
    second.setProcessEnvironment(environment(kChipBoard));
    second.setWorkingDirectory(secondWork.path());
    second.start(kClient, QStringList());
    ASSERT_TRUE(endsWithin(second, 5000));
    EXPECT_EQ(second.exitCode(), 255);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_FALSE(QFile::exists(QDir(secondWork.path()).filePath("VRD.INI")));
    EXPECT_EQ(first->state(), QProcess::Running);

    // Another login session has its own runtime directory.
    QProcessEnvironment otherSession = environment(kChipBoard);
    otherSession.insert("XDG_RUNTIME_DIR", otherRuntime.path());
    auto third = startClient(otherSession, otherWork.path());
    QString thirdErrors;
    EXPECT_TRUE(waitForOutput(*third, kStartedText, &thirdErrors)) << thirdErrors.toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);

    for (QProcess* client : {first.get(), third.get()}) {
        client->terminate();
        ASSERT_TRUE(endsWithin(*client, 10000));
        EXPECT_EQ(client->exitCode(), 0);
    }
}

// "--quit" ends the client of this session through its normal shutdown, and only that one; with
// none running it has nothing to do.
TEST_F(ClientProcessTest, QuitEndsTheClientOfThisSession)
{
    QTemporaryDir otherRuntime, otherWork;
    const auto quit = [](const QProcessEnvironment& env) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(kClient, {"--quit"});
        return endsWithin(process, 15000) ? process.exitCode() : -1000;
    };
    EXPECT_EQ(quit(environment(kChipBoard)), 0) << "none running";

    auto client = startClient(environment(kChipBoard), work.path());
    QProcessEnvironment otherSession = environment(kChipBoard);
    otherSession.insert("XDG_RUNTIME_DIR", otherRuntime.path());
    auto other = startClient(otherSession, otherWork.path());
    QString errors, otherErrors;
    ASSERT_TRUE(waitForOutput(*client, kStartedText, &errors)) << errors.toStdString();
    ASSERT_TRUE(waitForOutput(*other, kStartedText, &otherErrors)) << otherErrors.toStdString();

    EXPECT_EQ(quit(environment(kChipBoard)), 0);
    ASSERT_TRUE(endsWithin(*client, 1000)) << "--quit returns once the client has ended";
    EXPECT_EQ(client->exitCode(), 0);
    EXPECT_TRUE(settingsFile().startsWith("[General]\r\n")) << "saved by the normal shutdown";
    EXPECT_EQ(other->state(), QProcess::Running) << "another session's client";

    auto again = startClient(environment(kChipBoard), work.path());
    EXPECT_TRUE(waitForOutput(*again, kStartedText, &errors)) << "the lock was let go";
    for (QProcess* running : {again.get(), other.get()}) {
        running->terminate();
        EXPECT_TRUE(endsWithin(*running, 10000));
    }
}

// Every limit at its spin box's minimum, so start-up moves no spin box and no tick saves: only the
// shutdown writes the -5 V switch that start-up cleared for the board's absent rail.
const QByteArray kQuietSettings = "[General]\r\nCBN5V=1\r\n"
                                  "Vcore_Hi=800\r\nVcore_Lo=500\r\nVio_Hi=1000\r\nVio_Lo=500\r\n"
                                  "+5V_Hi=4000\r\n+5V_Lo=4000\r\n+12V_Hi=10000\r\n+12V_Lo=10000\r\n"
                                  "-5V_Hi=4000\r\n-5V_Lo=4000\r\n-12V_Hi=10000\r\n-12V_Lo=10000\r\n"
                                  "CPUTemp_Hi=0\r\nSYSTemp_Hi=0\r\nFAN1_Lo=500\r\nFAN2_Lo=500\r\n"
                                  "[CLOUD]\r\nHOST=10.0.0.5\r\n";

TEST_F(ClientProcessTest, TerminationSignalsEndThroughTheNormalShutdown)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        {
            QFile file(QDir(work.path()).filePath("VRD.INI"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(kQuietSettings);
        }
        auto client = startClient(environment(kChipBoard), work.path());
        QString errors;
        ASSERT_TRUE(waitForOutput(*client, kStartedText, &errors)) << errors.toStdString();
        EXPECT_EQ(settingsFile(), kQuietSettings); // nothing saved yet

        ::kill(pid_t(client->processId()), signalNumber);
        ASSERT_TRUE(endsWithin(*client, 10000));
        EXPECT_EQ(client->exitCode(), 0);
        const QByteArray saved = settingsFile();
        EXPECT_TRUE(saved.contains("CBN5V=0\r\n")) << saved.constData();
        EXPECT_TRUE(saved.contains("Vcore_Hi=800\r\n"));
        EXPECT_TRUE(saved.endsWith("[CLOUD]\r\nHOST=10.0.0.5\r\n"));
    }
}

} // namespace
