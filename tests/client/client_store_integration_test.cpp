// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The real VrdClient and its files across two runs: the database and host identity made on the
// first run, the logging thread writing into it, and the debug-message log framing each run.

#include "client_process_fixture.h"
#include "monitor_fixture.h"
#include "qt_test_loop.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

using namespace clienttest;

namespace {

struct DebugRow {
    int type;
    QString location;
    QString text;
};

// Rows of one SQLite file, read through a connection of their own.
template <class Row, class Read> QVector<Row> readRows(const QString& path, const QString& statement, Read read)
{
    QVector<Row> rows;
    const QString name = QStringLiteral("read_%1").arg(qHash(path + statement));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery query(db);
        if (db.open() && query.exec(statement))
            while (query.next())
                rows.append(read(query));
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QVector<DebugRow> debugRows(const ClientUnderTest& client)
{
    return readRows<DebugRow>(client.workFile("DbgMainThread.sqlite"),
                              "SELECT TYPE_ID, FILENAME, HINT FROM DBGMSG_TBL ORDER BY ROWID;",
                              [](const QSqlQuery& q) {
                                  return DebugRow{q.value(0).toInt(), q.value(1).toString(), q.value(2).toString()};
                              });
}

int loadRows(const ClientUnderTest& client)
{
    return readRows<int>(client.workFile("sysinfo2.sqlite"),
                         "SELECT COUNT(*) FROM SENSOR_TBL WHERE TYPE_ID = 10 AND ERR = 0;",
                         [](const QSqlQuery& q) { return q.value(0).toInt(); })
        .value(0);
}

QStringList tables(const ClientUnderTest& client)
{
    return readRows<QString>(client.workFile("sysinfo2.sqlite"),
                             "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                             "ORDER BY name;",
                             [](const QSqlQuery& q) { return q.value(0).toString(); })
        .toList();
}

bool contains(const QVector<DebugRow>& rows, int type, const QString& text)
{
    return std::any_of(rows.begin(), rows.end(), [&](const DebugRow& r) { return r.type == type && r.text == text; });
}

// One run's rows: from its "Starting" row through its "Ending" row.
QVector<QVector<DebugRow>> runsOf(const QVector<DebugRow>& rows)
{
    QVector<QVector<DebugRow>> runs;
    for (const DebugRow& row : rows) {
        if (row.type == 0)
            runs.append(QVector<DebugRow>());
        if (!runs.isEmpty())
            runs.last().append(row);
    }
    return runs;
}

TEST(ClientStoreIntegration, FirstRunCreatesTheDatabaseAndEachRunIsFramedInTheDebugLog)
{
    monitortest::ensureApplication();
    ClientOptions options;
    options.enable = false;
    options.debug = true;
    ClientUnderTest client(options);

    ASSERT_TRUE(client.start()) << client.errors();
    EXPECT_EQ(tables(client), QStringList({"DMI_TBL", "NOTIFY_TBL", "SENSOR_HOUR_TBL", "SENSOR_MINUTE_TBL",
                                           "SENSOR_SUMMARY_STATE", "SENSOR_TBL"}));
    const QUuid identity = client.storedIdentity();
    ASSERT_FALSE(identity.isNull());
    const QString stored = readRows<QString>(client.workFile("sysinfo2.sqlite"),
                                             "SELECT HOST_GUID FROM DMI_TBL WHERE ID = 1;",
                                             [](const QSqlQuery& q) { return q.value(0).toString(); })
                               .value(0);
    EXPECT_EQ(stored, identity.toString().toUpper());
    // The logging thread writes into the same file: the load row of its first pass (every 10 s).
    EXPECT_TRUE(vrdtest::waitUntil([&] { return loadRows(client) > 0; }, 12000)) << client.errors();
    ASSERT_TRUE(client.stop()) << client.errors();

    ASSERT_TRUE(client.start()) << client.errors();
    EXPECT_EQ(client.storedIdentity(), identity);
    ASSERT_TRUE(client.stop()) << client.errors();

    const QVector<QVector<DebugRow>> runs = runsOf(debugRows(client));
    ASSERT_EQ(runs.size(), 2);
    for (const QVector<DebugRow>& run : runs) {
        ASSERT_GE(run.size(), 2);
        EXPECT_EQ(run.first().text, "Starting");
        EXPECT_EQ(run.last().type, 3);
        EXPECT_EQ(run.last().text, "Ending");
    }
    const QVector<DebugRow>& first = runs[0];
    EXPECT_TRUE(contains(first, 1, "creating the sysinfo.sqlite file"));
    EXPECT_TRUE(contains(first, 1, "done [creating the sysinfo.sqlite file]"));
    EXPECT_TRUE(contains(first, 2, "illegal host uuid. createing the new one"));
    EXPECT_FALSE(contains(first, 1, "deleting old data"));

    const QVector<DebugRow>& second = runs[1];
    EXPECT_TRUE(contains(second, 1, "opening the sysinfo.sqlite file."));
    EXPECT_TRUE(contains(second, 1, "deleting old data"));
    EXPECT_FALSE(contains(second, 1, "trim the database")); // nothing was purged
    EXPECT_FALSE(contains(second, 2, "illegal host uuid. createing the new one"));
    // The machine did not change between the runs: no inventory column was rewritten.
    for (const DebugRow& row : second)
        EXPECT_NE(row.location, "Mainform::DMIChecker") << row.text.toStdString();
    for (const DebugRow& row : first)
        EXPECT_EQ(row.location.isEmpty(), row.type == 0 || row.type == 3) << row.text.toStdString();
}

TEST(ClientStoreIntegration, DebugSwitchOffKeepsNoDebugFile)
{
    monitortest::ensureApplication();
    ClientOptions options;
    options.enable = false;
    ClientUnderTest client(options);
    ASSERT_TRUE(client.start()) << client.errors();
    ASSERT_TRUE(client.stop()) << client.errors();
    EXPECT_FALSE(QFile::exists(client.workFile("DbgMainThread.sqlite")));
    EXPECT_NE(client.errors().find("+---> creating the sysinfo.sqlite file\r\n"), std::string::npos) << client.errors();
}

TEST(ClientStoreIntegration, AlarmEpisodeShowsOnStandardError)
{
    monitortest::ensureApplication();
    ClientOptions options;
    options.enable = false;
    options.board = kHotBoard;
    options.general = "CBCPUTemp=1\r\nCPUTemp_Hi=70\r\n";
    ClientUnderTest client(options);
    ASSERT_TRUE(client.start()) << client.errors();
    EXPECT_TRUE(client.waitForErrorText("alarm: fault", 3000)) << client.errors();
    ASSERT_TRUE(client.stop());
}

} // namespace
