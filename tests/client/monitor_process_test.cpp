// The real VrdClient program, each run in its own working and runtime directory, on the offscreen
// platform and a simulated board.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kClient = QStringLiteral(VRD_BIN_DIR "/VrdClient");
const QString kBoards = QStringLiteral(VRD_SOURCE_DIR "/boards");
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

    QByteArray settingsFile() const
    {
        QFile file(QDir(work.path()).filePath("VRD.INI"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

} // namespace
