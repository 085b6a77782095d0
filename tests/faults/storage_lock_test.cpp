// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's database held locked by another process for 15 s: the logging pass waits and gives
// up without harm, the window's thread keeps answering, and logging resumes after the release.

#include "messages.h"
#include "storage_agent.h"
#include "storage_figure.h"
#include "test_broker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace storagetest;

namespace {

const QString kLocker = QStringLiteral(VRD_BIN_DIR "/storage_db_locker");
constexpr int kLockSeconds = 15;
// Far below the lock waits of the agent's start-up and logging thread (5 s, 10 s), far above a
// reply on a loaded machine.
constexpr int kPromptReplyMs = 1500;
// A normal shutdown takes up to two seconds (more under the sanitizers).
constexpr int kPromptShutdownMs = 5000;
constexpr int kRequestKinds[] = {msg::KindCurrentSensors, msg::KindProcessorLoad, msg::KindLastFaults,
                                 msg::KindInventory, msg::KindTodaysFaults};

// Rows of SENSOR_TBL after `afterId`, counted per logging pass (the stamp of the pass).
std::map<QDateTime, int> rowsPerPass(const QString& path, qint64 afterId)
{
    std::map<QDateTime, int> passes;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("passes"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=3000"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT DATE_TIME FROM SENSOR_TBL WHERE ID > %1;").arg(afterId)))
            while (query.next())
                ++passes[QDateTime::fromString(query.value(0).toString(), QStringLiteral("yyyy-M-d H:m:s"))];
    }
    QSqlDatabase::removeDatabase(QStringLiteral("passes"));
    return passes;
}

// Wall-clock seconds divisible by ten in [from, to]: the logging passes due in that time.
int passesDue(const QDateTime& from, const QDateTime& to)
{
    int due = 0;
    for (qint64 s = (from.toSecsSinceEpoch() + 9) / 10 * 10; s <= to.toSecsSinceEpoch(); s += 10)
        ++due;
    return due;
}

struct LockedDatabase {
    QProcess process;
    QDateTime lockedAt;
    QDateTime releasedAt;

    bool lock(const QString& path)
    {
        process.start(kLocker, {path, QString::number(kLockSeconds)});
        if (!process.waitForStarted(5000) || !process.waitForReadyRead(15000))
            return false;
        lockedAt = QDateTime::currentDateTime();
        return process.readAllStandardOutput().contains("locked");
    }
    bool released()
    {
        if (releasedAt.isNull() && process.readAllStandardOutput().contains("released"))
            releasedAt = QDateTime::currentDateTime();
        return !releasedAt.isNull();
    }
};

} // namespace

TEST(StorageLock, DatabaseLockedByAnotherProcessForFifteenSeconds)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString channel = QStringLiteral("STORELOCK");
    StorageAgent agent(work.path());
    ASSERT_TRUE(writeFile(agent.file(kSettingsName), settingsText({true, broker.port(), channel, {}})));
    ASSERT_TRUE(agent.launch());
    // A second agent, whose own database is locked at the same time, is shut down during the lock.
    QTemporaryDir secondWork;
    ASSERT_TRUE(secondWork.isValid());
    StorageAgent second(secondWork.path());
    ASSERT_TRUE(writeFile(second.file(kSettingsName), settingsText({})));
    ASSERT_TRUE(second.launch());
    ASSERT_TRUE(agent.waitUntilStarted()) << agent.errors().toStdString();
    ASSERT_TRUE(second.waitUntilStarted()) << second.errors().toStdString();
    const QString database = agent.file(kDatabaseName);
    const QUuid host = storedIdentity(database);
    ASSERT_FALSE(host.isNull());
    ReplyClock station(broker.port(), channel);
    ASSERT_TRUE(station.isReady());
    ASSERT_TRUE(station.awaitAnswer(host, 10000)) << agent.errors().toStdString();

    // One pass before the lock tells how many rows a pass writes.
    ASSERT_TRUE(vrdtest::waitUntil([&] { return sensorRows(database).value_or(0) > 0; }, 15000));
    QThread::msleep(1000);
    const int rowsInAPass = rowsPerPass(database, 0).rbegin()->second;
    const qint64 lastIdBefore = lastSensorId(database).value_or(-1);

    // The lock begins two seconds before a pass and spans the next one as well.
    sleepUntilLoggingPass(8000);
    LockedDatabase locker;
    ASSERT_TRUE(locker.lock(database)) << locker.process.readAllStandardError().toStdString();
    LockedDatabase secondLocker;
    ASSERT_TRUE(secondLocker.lock(second.file(kDatabaseName)));

    // A second into the pass its logging thread waits for the lock; the window's thread then
    // waits for the logging thread at shutdown.
    sleepUntil(nextLoggingPass() + 1000);
    QElapsedTimer shutdown;
    shutdown.start();
    EXPECT_TRUE(second.terminate()) << second.errors().toStdString();
    const qint64 shutdownMs = shutdown.elapsed();

    std::map<int, int> longestReply;
    int unanswered = 0;
    while (!locker.released()) {
        for (const int kind : kRequestKinds) {
            const std::optional<int> latency = station.ask(kind, host, 12000);
            if (!latency)
                ++unanswered;
            longestReply[kind] = std::max(longestReply[kind], latency.value_or(12000));
        }
        vrdtest::waitUntil([&] { return locker.released(); }, 500);
    }
    ASSERT_TRUE(locker.process.state() == QProcess::NotRunning || locker.process.waitForFinished(5000));
    ASSERT_TRUE(agent.isRunning()) << agent.errors().toStdString();

    // Logging resumes: the first row after the release, then a whole pass.
    const auto releaseSecond = [&] { return locker.releasedAt.addMSecs(-locker.releasedAt.time().msec()); };
    const auto rowsAfterRelease = [&] {
        const std::map<QDateTime, int> passes = rowsPerPass(database, lastIdBefore);
        return std::count_if(passes.begin(), passes.end(),
                             [&](const auto& pass) { return pass.first >= releaseSecond(); });
    };
    const auto anyRowSince = [&] { return lastSensorId(database).value_or(0) > lastIdBefore; };
    ASSERT_TRUE(vrdtest::waitUntil(anyRowSince, 15000)) << agent.errors().toStdString();
    const qint64 firstRowMs = QDateTime::currentDateTime().toMSecsSinceEpoch() - locker.releasedAt.toMSecsSinceEpoch();
    EXPECT_TRUE(vrdtest::waitUntil([&] { return rowsAfterRelease() > 0; }, 15000));
    QThread::msleep(1000);

    const std::map<QDateTime, int> passes = rowsPerPass(database, lastIdBefore);
    int rowsKept = 0;
    for (const auto& [stamp, rows] : passes)
        if (stamp < releaseSecond())
            rowsKept += rows;
    const int rowsDue = passesDue(locker.lockedAt, locker.releasedAt) * rowsInAPass;

    int longest = 0;
    for (const auto& [kind, ms] : longestReply) {
        reportFigure("longest reply during the lock, kind " + std::to_string(kind) + " (ms)", ms);
        longest = std::max(longest, ms);
    }
    reportFigure("longest reply latency during the lock (ms)", longest);
    reportFigure("requests unanswered during the lock", unanswered);
    reportFigure("rows due during the lock", rowsDue);
    reportFigure("rows kept of them", rowsKept);
    reportFigure("rows lost", rowsDue - rowsKept);
    reportFigure("first row after the release (ms)", firstRowMs);
    reportFigure("shutdown of an agent waiting for the lock (ms)", shutdownMs);

    EXPECT_EQ(unanswered, 0);
    for (const auto& [kind, ms] : longestReply)
        EXPECT_LT(ms, kPromptReplyMs) << "kind " << kind << " waited for the database lock";
    EXPECT_LE(rowsKept, rowsDue);
    // Its logging thread would otherwise wait out the rest of its 10 s busy timeout first.
    EXPECT_LT(shutdownMs, kPromptShutdownMs);
    EXPECT_EQ(integrityCheck(database), QStringLiteral("ok"));
    EXPECT_TRUE(agent.terminate()) << agent.errors().toStdString();
}
