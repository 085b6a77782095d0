// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's clock stepped back an hour and forward 61 days across restarts (libfaketime on the
// real VrdClient): the start-up purge never deletes a row dated on or after its cut-off.

#include "sensor_schema.h"
#include "sensor_time.h"
#include "storage_agent.h"
#include "storage_figure.h"
#include "qt_test_loop.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <map>

using namespace storagetest;

namespace {

struct ClockStep {
    const char* what;
    const char* fakeStart; // the agent's clock at its start, UTC
};

// Each start sits a few seconds before a logging pass, so every step also logs rows of its own.
constexpr ClockStep kSteps[] = {
    {"start", "2026-03-01 00:30:07"},
    {"one hour back", "2026-02-28 23:30:07"},
    {"61 days forward", "2026-04-30 23:30:07"},
    {"61 days back", "2026-03-01 00:40:07"},
};

// Rows laid down before the first start, in time order, on both sides of every cut-off above.
constexpr const char* kPreparedRows[] = {
    "2025-12-29 23:59:59", "2025-12-30 0:0:0", "2025-12-30 23:59:59", "2025-12-31 0:0:0",
    "2026-1-15 12:0:0",    "2026-2-28 23:59:59", "2026-3-1 0:0:0",    "2026-3-1 0:20:0",
};

QString fakeTimeLibrary()
{
    const QStringList found = QDir(QStringLiteral("/usr/lib")).entryList({QStringLiteral("*")}, QDir::Dirs);
    for (const QString& dir : found) {
        const QString path = QStringLiteral("/usr/lib/%1/faketime/libfaketimeMT.so.1").arg(dir);
        if (QFile::exists(path))
            return path;
    }
    return {};
}

bool prepareDatabase(const QString& path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prepare"));
        db.setDatabaseName(path);
        ok = db.open() && createClientTables(db);
        QSqlQuery insert(db);
        ok = ok
            && insert.prepare(
                QStringLiteral("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, 8, 50, 0);"));
        for (const char* when : kPreparedRows) {
            insert.addBindValue(QString::fromLatin1(when));
            ok = ok && insert.exec();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prepare"));
    return ok;
}

// ID -> date key of every row of SENSOR_TBL.
std::map<qint64, int> datedRows(const QString& path)
{
    std::map<qint64, int> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dated"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT ID, DATE_TIME FROM SENSOR_TBL;")))
            while (query.next()) {
                const QByteArray text = query.value(1).toString().toLatin1();
                rows[query.value(0).toLongLong()] = dateKeyOfText(text.constData(), text.size());
            }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("dated"));
    return rows;
}

struct StepOutcome {
    int before = 0;
    int deleted = 0;
    int expectedDeleted = 0;
    int newerDeleted = 0;
    int newRows = 0;
    int newRowsOnTheFakeDate = 0;
    bool inTimeOrder = true; // the dates before the start rise with the IDs
};

StepOutcome compare(const std::map<qint64, int>& before, const std::map<qint64, int>& after, int cutoffKey,
                    int fakeDateKey)
{
    StepOutcome outcome;
    outcome.before = int(before.size());
    int previousKey = 0;
    for (const auto& [id, key] : before) {
        outcome.inTimeOrder = outcome.inTimeOrder && key >= previousKey;
        previousKey = key;
        const bool old = key < cutoffKey;
        const bool gone = after.count(id) == 0;
        outcome.expectedDeleted += old ? 1 : 0;
        outcome.deleted += gone ? 1 : 0;
        outcome.newerDeleted += gone && !old ? 1 : 0;
    }
    for (auto row = after.upper_bound(before.empty() ? 0 : before.rbegin()->first); row != after.end(); ++row) {
        ++outcome.newRows;
        outcome.newRowsOnTheFakeDate += row->second == fakeDateKey ? 1 : 0;
    }
    return outcome;
}

} // namespace

TEST(StorageClock, PurgeNeverDeletesARowNewerThanItsCutoffAcrossClockSteps)
{
    vrdtest::ensureCoreApplication();
    const QString library = fakeTimeLibrary();
    ASSERT_FALSE(library.isEmpty()) << "libfaketime is missing (Debian package faketime, see scripts/lib/setup.sh)";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    StorageAgent agent(work.path());
    ASSERT_TRUE(writeFile(agent.file(kSettingsName), settingsText({})));
    const QString database = agent.file(kDatabaseName);
    ASSERT_TRUE(prepareDatabase(database));

    QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
    sanitizer += sanitizer.isEmpty() ? "" : ":";
    agent.setEnvironment(QStringLiteral("ASAN_OPTIONS"), QString::fromLatin1(sanitizer + "verify_asan_link_order=0"));
    agent.setEnvironment(QStringLiteral("LD_PRELOAD"), library);
    agent.setEnvironment(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    agent.setEnvironment(QStringLiteral("TZ"), QStringLiteral("UTC"));

    int newerDeleted = 0;
    for (const ClockStep& step : kSteps) {
        const QDateTime fakeStart = QDateTime::fromString(QString::fromLatin1(step.fakeStart), Qt::ISODate);
        const int cutoffKey = dateKey(fakeStart.date().addDays(-60));
        const std::map<qint64, int> before = datedRows(database);
        agent.setEnvironment(QStringLiteral("FAKETIME"), QStringLiteral("@") + QString::fromLatin1(step.fakeStart));
        ASSERT_TRUE(agent.start()) << agent.errors().toStdString();
        const qint64 lastBefore = before.empty() ? 0 : before.rbegin()->first;
        EXPECT_TRUE(vrdtest::waitUntil([&] { return lastSensorId(database).value_or(0) > lastBefore; }, 30000))
            << step.what << ": the agent logged nothing";
        ASSERT_TRUE(agent.terminate()) << agent.errors().toStdString();

        const StepOutcome outcome = compare(before, datedRows(database), cutoffKey, dateKey(fakeStart.date()));
        const std::string name = std::string(step.what) + " (" + step.fakeStart + ", cut-off "
            + std::to_string(cutoffKey) + ")";
        reportFigure(name + ": rows before", outcome.before);
        reportFigure(name + ": deleted / expected", std::to_string(outcome.deleted) + " / "
                         + std::to_string(outcome.expectedDeleted));
        reportFigure(name + ": newer than the cut-off and deleted", outcome.newerDeleted);
        reportFigure(name + ": table in time order before the start", outcome.inTimeOrder ? "yes" : "no");
        EXPECT_EQ(outcome.newerDeleted, 0) << step.what;
        // Rows logged after the clock was set back lie above newer ones; the purge finds its
        // boundary by the IDs, so it may leave such rows for a later start, never delete more.
        if (outcome.inTimeOrder) {
            EXPECT_EQ(outcome.deleted, outcome.expectedDeleted) << step.what;
        }
        EXPECT_GT(outcome.newRows, 0) << step.what;
        EXPECT_EQ(outcome.newRowsOnTheFakeDate, outcome.newRows) << step.what << ": the agent's clock was not stepped";
        newerDeleted += outcome.newerDeleted;
    }
    reportFigure("rows newer than their cut-off deleted, all steps", newerDeleted);
    EXPECT_EQ(integrityCheck(database), QStringLiteral("ok"));
}
