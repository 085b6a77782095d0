// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's working directory on a full disk (a small tmpfs): it keeps monitoring and alarming,
// its settings file is never left truncated, and logging resumes once space returns.

#include "agent_settings.h"
#include "storage_agent.h"
#include "storage_figure.h"
#include "qt_test_loop.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace storagetest;

namespace {

constexpr const char* kTmpfsSize = "size=512k";
// Set in the copy of this test that runs in a user and mount namespace of its own.
constexpr const char* kNamespaceMarker = "VRD_STORAGE_TEST_IN_NAMESPACE";

// A tmpfs mounted for the test's life.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path) : m_path(path.toLocal8Bit())
    {
        QDir().mkpath(path);
        m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, kTmpfsSize) == 0;
        m_error = m_mounted ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }
    const QString& error() const { return m_error; }

private:
    QByteArray m_path;
    bool m_mounted = false;
    QString m_error;
};

// Writes `path` until the disk refuses another byte; returns the bytes written.
qint64 fillDisk(const QString& path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return -1;
    qint64 total = 0;
    std::vector<char> chunk(64 * 1024, 'x');
    for (size_t size = chunk.size(); size > 0; size /= 2) {
        ssize_t written = 0;
        while ((written = ::write(fd, chunk.data(), size)) > 0)
            total += written;
    }
    ::close(fd);
    return total;
}

// A copy of the hot board whose processor temperature the test sets.
class BoardCopy {
public:
    explicit BoardCopy(const QString& path) : m_path(path)
    {
        QFile source(kHotBoard);
        if (source.open(QIODevice::ReadOnly))
            m_board = QJsonDocument::fromJson(source.readAll()).object();
        setProcessorTemperature(78);
    }
    const QString& path() const { return m_path; }

    // Bank 1, register 0x50 of the W83627HF: processor temperature in whole degrees.
    void setProcessorTemperature(int celsius)
    {
        QJsonArray monitors = m_board.value("monitors").toArray();
        QJsonObject monitor = monitors.at(0).toObject();
        QJsonObject banks = monitor.value("registers").toObject();
        QJsonObject bank = banks.value("1").toObject();
        bank.insert("0x50", celsius);
        banks.insert("1", bank);
        monitor.insert("registers", banks);
        monitors.replace(0, monitor);
        m_board.insert("monitors", monitors);
        // Beside and renamed, so the agent never reads half a file.
        writeFile(m_path + ".new", QJsonDocument(m_board).toJson());
        QFile::remove(m_path);
        QFile::rename(m_path + ".new", m_path);
    }

private:
    QString m_path;
    QJsonObject m_board;
};

// Every key the agent writes back, each at the start of a line of its own.
bool holdsEverySavedKey(const QByteArray& text)
{
    for (const SettingKey& key : settingKeys()) {
        if (key.saved && !text.contains("\r\n" + QByteArray(key.key) + '='))
            return false;
    }
    return text.endsWith("\r\n");
}

// Runs this test again inside `unshare -Urm`, where a user without the right to mount (not root,
// or root in a container) may mount a tmpfs.
int runInOwnNamespace(const char* testName, QByteArray* output)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kNamespaceMarker), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"), {QStringLiteral("-Urm"), QFile::symLinkTarget("/proc/self/exe"),
                                             QStringLiteral("--gtest_filter=") + QString::fromLatin1(testName)});
    if (!child.waitForStarted(5000) || !child.waitForFinished(170000))
        return -1;
    *output = child.readAll();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

} // namespace

TEST(StorageDiskFull, AgentKeepsAlarmingKeepsItsSettingsAndLogsAgainWhenSpaceReturns)
{
    vrdtest::ensureCoreApplication();
    QTemporaryDir top;
    ASSERT_TRUE(top.isValid());
    const QString work = top.filePath(QStringLiteral("disk"));
    SmallDisk disk(work);
    if (!disk.isMounted()) {
        if (qEnvironmentVariableIsEmpty(kNamespaceMarker)) {
            QByteArray output;
            const int result = runInOwnNamespace(
                "StorageDiskFull.AgentKeepsAlarmingKeepsItsSettingsAndLogsAgainWhenSpaceReturns", &output);
            std::fputs(output.constData(), stdout);
            if (!output.contains("[  SKIPPED ]")) {
                EXPECT_EQ(result, 0);
                return;
            }
        }
        GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.error().toStdString()
                     << "), neither directly nor in a user and mount namespace of its own";
    }

    BoardCopy board(top.filePath(QStringLiteral("board.json")));
    StorageAgent agent(work, board.path());
    const QString settingsPath = agent.file(kSettingsName);
    const QString database = agent.file(kDatabaseName);
    // The agent completes a settings file that lacks its keys on its first tick.
    // With the debug log on, its database in the same directory meets the full disk as well.
    Settings settings;
    settings.debug = true;
    const QByteArray lackingKeys = settingsText(settings);
    ASSERT_TRUE(writeFile(settingsPath, lackingKeys));
    ASSERT_TRUE(agent.start() && agent.terminate()) << agent.errors().toStdString(); // creates the database
    ASSERT_TRUE(writeFile(settingsPath, lackingKeys));

    // Full: the filler takes every byte left. The agent starts on the full disk.
    const QString filler = top.filePath(QStringLiteral("disk/filler"));
    const qint64 filled = fillDisk(filler);
    ASSERT_GT(filled, 0);
    const qint64 rowsBefore = sensorRows(database).value_or(-1);
    ASSERT_TRUE(agent.start()) << agent.errors().toStdString();
    ASSERT_TRUE(agent.waitForErrorText("alarm: fault", 5000));

    // Monitoring goes on: a cool processor ends the alarm, a hot one raises it again.
    board.setProcessorTemperature(40);
    EXPECT_TRUE(agent.waitForErrorText("alarm: healthy", 10000)) << agent.errors().toStdString();
    board.setProcessorTemperature(78);
    EXPECT_TRUE(agent.waitForErrorText("alarm: fault", 10000, 2)) << agent.errors().toStdString();
    // A logging pass goes by on the full disk; the first tick's save has failed whole.
    sleepUntil(nextLoggingPass() + 2000);
    ASSERT_TRUE(agent.isRunning()) << agent.errors().toStdString();
    const qint64 rowsWhileFull = sensorRows(database).value_or(-1) - rowsBefore;
    const bool keptWhileFull = readFile(settingsPath) == lackingKeys;
    EXPECT_TRUE(keptWhileFull);

    // Space returns: the pending save goes through and logging resumes.
    const qint64 lastIdWhenFull = lastSensorId(database).value_or(-1);
    ASSERT_TRUE(QFile::remove(filler));
    const qint64 freedAt = QDateTime::currentMSecsSinceEpoch();
    const auto sinceFreed = [&] { return QDateTime::currentMSecsSinceEpoch() - freedAt; };
    const bool savedAgain = vrdtest::waitUntil([&] { return readFile(settingsPath) != lackingKeys; }, 5000);
    const qint64 settingsSavedMs = sinceFreed();
    EXPECT_TRUE(savedAgain) << "the save that failed on the full disk was never tried again";
    const QByteArray savedFile = readFile(settingsPath);
    EXPECT_TRUE(savedFile.contains("CPUTemp_Hi=70"));
    EXPECT_TRUE(holdsEverySavedKey(savedFile)) << savedFile.constData();
    const auto loggedAgain = [&] { return lastSensorId(database).value_or(-1) > lastIdWhenFull; };
    const bool logsAgain = vrdtest::waitUntil(loggedAgain, 15000);
    const qint64 firstRowMs = sinceFreed();
    EXPECT_TRUE(logsAgain) << agent.errors().toStdString();

    // Full again, with a save due at shutdown. Shutting down frees some of the agent's own space
    // (its journals, its debug log), so that save may fail or go through; either way the file is
    // never partial: the old bytes, or the whole file the same save wrote when space returned.
    ASSERT_TRUE(writeFile(settingsPath, lackingKeys));
    ASSERT_GT(fillDisk(filler), 0);
    EXPECT_TRUE(agent.terminate()) << agent.errors().toStdString();
    const QByteArray atShutdown = readFile(settingsPath);
    const bool keptAtShutdown = atShutdown == lackingKeys;
    const bool wholeAtShutdown = atShutdown == savedFile;
    EXPECT_TRUE(keptAtShutdown || wholeAtShutdown) << atShutdown.constData();
    EXPECT_EQ(integrityCheck(database), QStringLiteral("ok"));
    EXPECT_EQ(integrityCheck(agent.file(QStringLiteral("DbgMainThread.sqlite"))), QStringLiteral("ok"));

    reportFigure("tmpfs", kTmpfsSize);
    reportFigure("bytes written to fill it", filled);
    reportFigure("rows logged while full", rowsWhileFull);
    reportFigure("settings file byte for byte after the tick's save on the full disk", keptWhileFull ? "yes" : "no");
    reportFigure("settings file after the shutdown save on the full disk",
                 keptAtShutdown ? "old bytes" : (wholeAtShutdown ? "complete new file" : "partial"));
    reportFigure("settings saved after space returned (ms)", savedAgain ? settingsSavedMs : -1);
    reportFigure("first row after space returned (ms)", logsAgain ? firstRowMs : -1);
    EXPECT_EQ(rowsWhileFull, 0);
}
