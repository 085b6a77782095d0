// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_database.h"
#include "database_faults.h"
#include "debug_log.h"
#include "sensor_purge.h"
#include "sensor_schema.h"
#include "sensor_time.h"
#include "scoped_time_zone.h"
#include "store_test_support.h"

#include <QFile>
#include <QSqlQuery>
#include <cstring>
#include <set>

using storetest::query;
using storetest::Row;
using storetest::scalar;

namespace {

class ClientDatabaseTest : public storetest::TempFiles {
protected:
    QString path() const { return file(ClientDatabase::kFileName); }

    // A file as an earlier version left it: the tables, no fault index.
    void createOldFile()
    {
        for (const char* statement : kCreateStatements)
            storetest::execute(path(), statement);
    }
    void insertRows(const std::vector<std::pair<std::string, int>>& stampsAndErr, int type = 8)
    {
        std::string sql = "BEGIN;";
        for (const auto& [stamp, err] : stampsAndErr)
            sql += "INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES ('" + stamp + "', "
                + std::to_string(type) + ", 50, " + std::to_string(err) + ");";
        sql += "COMMIT;";
        sqlite3* db = nullptr;
        sqlite3_open(path().toUtf8().constData(), &db);
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    std::vector<std::string> stamps() const
    {
        std::vector<std::string> out;
        for (const Row& row : query(path(), "SELECT DATE_TIME FROM SENSOR_TBL ORDER BY ID;"))
            out.push_back(row[0]);
        return out;
    }
    static std::vector<std::string> stampsOf(const SensorLogRows& rows)
    {
        std::vector<std::string> out;
        for (const SensorLogRow& row : rows)
            out.push_back(row.dateTime.toStdString());
        return out;
    }
    bool open(const QDate& today)
    {
        return database.openWithMaintenance(log, today);
    }

    std::vector<std::string> logLines;
    DebugLog log{[this](const std::string& line) { logLines.push_back(line); }};
    ClientDatabase database{file(ClientDatabase::kFileName), uniqueName()};
};

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(ClientDatabaseTest, FirstRunCreatesTheThreeTablesAndRowOne)
{
    ASSERT_TRUE(open(QDate(2024, 3, 5)));

    const std::vector<Row> tables =
        query(path(), "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                      "AND name NOT IN ('SENSOR_MINUTE_TBL', 'SENSOR_HOUR_TBL', 'SENSOR_SUMMARY_STATE') ORDER BY name;");
    ASSERT_EQ(3u, tables.size());
    EXPECT_EQ("DMI_TBL", tables[0][0]);
    EXPECT_EQ("NOTIFY_TBL", tables[1][0]);
    EXPECT_EQ("CREATE TABLE NOTIFY_TBL(ID INTEGER PRIMARY KEY AUTOINCREMENT,DATE_TIME DATETIME,ERR_ID INT,HINT TEXT)",
              tables[1][1]);
    EXPECT_EQ("SENSOR_TBL", tables[2][0]);
    EXPECT_EQ("CREATE TABLE SENSOR_TBL(ID INTEGER PRIMARY KEY AUTOINCREMENT,DATE_TIME DATETIME,TYPE_ID INT,"
              "DATA INT,ERR INT NOT NULL)",
              tables[2][1]);
    const std::vector<Row> dmiColumns = query(path(), "SELECT name FROM pragma_table_info('DMI_TBL');");
    const std::vector<std::string> expectedColumns = {
        "ID", "HOST_GUID", "PROC_NAME", "PROC_CAPTION", "PROC_ID", "PROC_CORES", "PROC_LOGIPROC", "SYS_MANUF",
        "SYS_MODEL", "SYS_VER", "SYS_SERIAL", "SYS_MEMSIZE", "SYS_USER", "BRD_MANUF", "BRD_PROD", "BRD_VER",
        "BRD_SERIAL"};
    ASSERT_EQ(expectedColumns.size(), dmiColumns.size());
    for (size_t i = 0; i < expectedColumns.size(); ++i)
        EXPECT_EQ(expectedColumns[i], dmiColumns[i][0]);
    EXPECT_EQ((std::vector<Row>{{"1", "<null>"}}), query(path(), "SELECT ID, HOST_GUID FROM DMI_TBL;"));
    EXPECT_EQ("1", scalar(path(), "SELECT COUNT(*) FROM sqlite_master WHERE name = 'SENSOR_FAULT_IDX';"));
    EXPECT_EQ("3", scalar(path(), "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('SENSOR_MINUTE_TBL', "
                                  "'SENSOR_HOUR_TBL', 'SENSOR_SUMMARY_STATE');"));

    ASSERT_EQ(2u, logLines.size());
    EXPECT_TRUE(endsWith(logLines[0], "] +---> creating the sysinfo.sqlite file\r\n")) << logLines[0];
    EXPECT_TRUE(endsWith(logLines[1], "] +---> done [creating the sysinfo.sqlite file]\r\n")) << logLines[1];
    EXPECT_EQ(0u, logLines[0].rfind("[Mainform::Mainform,line_", 0));
}

TEST_F(ClientDatabaseTest, StartPurgesDaysBeforeTheCutoffAsCalendarDates)
{
    createOldFile();
    insertRows({{"2024-9-30 23:59:50", 1}, // sorts after "2024-10-15" as text
                {"2024-10-2 8:0:0", 0},    // sorts after "2024-10-15" as text
                {"2024-10-14 23:59:50", 1},
                {"2024-10-15 0:0:0", 1},
                {"2024-10-15 0:0:10", 0},
                {"2024-11-2 12:30:0", 0},
                {"2024-12-14 0:0:0", 1}});

    ASSERT_TRUE(open(QDate(2024, 12, 14))); // cut-off 2024-10-15

    EXPECT_EQ((std::vector<std::string>{"2024-10-15 0:0:0", "2024-10-15 0:0:10", "2024-11-2 12:30:0",
                                        "2024-12-14 0:0:0"}),
              stamps());
    // Three rows freed no page: the file is not rewritten.
    ASSERT_EQ(2u, logLines.size());
    EXPECT_TRUE(endsWith(logLines[0], "] +---> opening the sysinfo.sqlite file.\r\n"));
    EXPECT_TRUE(endsWith(logLines[1], "] +---> deleting old data\r\n"));
}

// Compacted when the free pages exceed a quarter of the file, else left for the inserts to reuse.
TEST_F(ClientDatabaseTest, PurgeCompactsOnlyAFileThatIsMostlyFree)
{
    struct Case {
        int oldRows;
        int newRows;
        bool compacted;
    };
    for (const Case& c : {Case{20000, 1, true}, Case{2000, 20000, false}}) {
        SCOPED_TRACE(c.oldRows);
        database.close();
        QFile::remove(path());
        logLines.clear();
        createOldFile();
        std::vector<std::pair<std::string, int>> rows(size_t(c.oldRows), {"2024-1-1 0:0:0", 0});
        rows.insert(rows.end(), size_t(c.newRows), {"2024-6-1 0:0:0", 0});
        insertRows(rows);
        ASSERT_TRUE(open(QDate(2024, 6, 1)));
        database.close();
        EXPECT_EQ(std::to_string(c.newRows), scalar(path(), "SELECT COUNT(*) FROM SENSOR_TBL;"));
        EXPECT_EQ(c.compacted, scalar(path(), "PRAGMA freelist_count;") == "0");
        ASSERT_EQ(c.compacted ? 3u : 2u, logLines.size());
        if (c.compacted) {
            EXPECT_TRUE(endsWith(logLines[2], "] +---> trim the database\r\n"));
        }
    }
}

TEST_F(ClientDatabaseTest, PurgeKeepsRowsWithoutADateAndNewerRowsBelowTheBoundary)
{
    createOldFile();
    // The clock ran two days ahead for one pass, then was put back.
    insertRows({{"2024-1-1 0:0:0", 0}, {"2024-1-3 0:0:0", 0}, {"2024-1-1 0:0:10", 0}, {"2024-1-1 0:0:20", 0},
                {"2024-1-1 0:0:30", 0}, {"2024-1-2 0:0:0", 0}, {"garbage", 0}});
    ASSERT_TRUE(open(QDate(2024, 3, 2))); // cut-off 2024-1-2
    EXPECT_EQ((std::vector<std::string>{"2024-1-3 0:0:0", "2024-1-2 0:0:0", "garbage"}), stamps());
}

// A day the calendar lacks is no date: its row is kept like any row without one, where it was
// once deleted as an old row.
TEST_F(ClientDatabaseTest, PurgeKeepsRowsDatedOnADayTheCalendarLacks)
{
    createOldFile();
    insertRows({{"2023-2-29 0:0:0", 0}, {"0-1-1 0:0:0", 0}, {"2024-1-1 0:0:0", 0}, {"2024-4-31 0:0:0", 0},
                {"2024-6-1 0:0:0", 0}});
    ASSERT_TRUE(open(QDate(2024, 7, 31))); // cut-off 2024-6-1
    EXPECT_EQ((std::vector<std::string>{"2023-2-29 0:0:0", "0-1-1 0:0:0", "2024-4-31 0:0:0", "2024-6-1 0:0:0"}),
              stamps());
}

// The fault replies take their rows newest first, each stored local time as Unix seconds; a text
// that is no time goes out as 0 rather than holding the reply back.
TEST_F(ClientDatabaseTest, FaultSourceGivesStoredTimesAsNumbers)
{
    const vrdtest::ScopedTimeZone zone(vrdtest::kUtcPlusEight);
    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    insertRows({{"2024-3-5 7:4:0", 1}, {"2024-3-5 7:4:10", 0}, {"not a time", 1}});
    DatabaseFaults faults(database);
    const std::optional<QVector<msg::FaultRecord>> records = faults.lastFaults();
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 2);
    EXPECT_EQ((*records)[0].utcSeconds, 0);
    EXPECT_EQ((*records)[1].utcSeconds, 1709593440);
    EXPECT_EQ((*records)[1].type, 8);
    EXPECT_EQ((*records)[1].data, 50);

    database.close();
    EXPECT_FALSE(faults.lastFaults().has_value()); // a closed database: the reply says no faults
}

TEST_F(ClientDatabaseTest, ExistingFileGainsTheFaultIndexAndKeepsItsRows)
{
    createOldFile();
    insertRows({{"2024-3-1 0:0:0", 1}, {"2024-3-1 0:0:10", 0}});
    const std::string tablesSql = "SELECT group_concat(sql, ';') FROM sqlite_master WHERE type = 'table' "
                                  "AND name IN ('DMI_TBL', 'NOTIFY_TBL', 'SENSOR_TBL');";
    const std::string schemaBefore = scalar(path(), tablesSql);

    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    database.close();
    EXPECT_EQ(schemaBefore, scalar(path(), tablesSql));
    EXPECT_EQ("CREATE INDEX SENSOR_FAULT_IDX ON SENSOR_TBL(ID, TYPE_ID) WHERE ERR = 1",
              scalar(path(), "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = 'SENSOR_FAULT_IDX';"));
    EXPECT_EQ((std::vector<std::string>{"2024-3-1 0:0:0", "2024-3-1 0:0:10"}), stamps());
}

TEST_F(ClientDatabaseTest, FaultLogShowsTheFiftyNewestFaultsOfTheCategory)
{
    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    for (int type : {8, 2, 0, 10}) {
        std::vector<std::pair<std::string, int>> rows;
        for (int i = 0; i < 35; ++i)
            rows.push_back({"2024-3-5 1:" + std::to_string(type) + ":" + std::to_string(i), type == 10 ? 0 : 1});
        rows.push_back({"2024-3-5 2:0:0", 0}); // a healthy row is never listed
        insertRows(rows, type);
    }

    const auto all = database.faultLog(faultFilterForIndex(0));
    ASSERT_TRUE(all);
    ASSERT_EQ(50u, all->size());
    EXPECT_EQ("2024-3-5 1:0:34", all->front().dateTime.toStdString()); // the newest first
    EXPECT_EQ(0, all->front().typeId);
    EXPECT_EQ(50, all->front().data);
    EXPECT_EQ("2024-3-5 1:2:20", all->back().dateTime.toStdString());

    struct Case {
        int comboIndex;
        std::set<int> types;
        size_t count;
    };
    for (const Case& c : {Case{1, {8}, 35}, Case{2, {0}, 35}, Case{3, {2}, 35}, Case{-1, {0, 2}, 50},
                          Case{4, {0, 2}, 50}}) {
        const auto rows = database.faultLog(faultFilterForIndex(c.comboIndex));
        ASSERT_TRUE(rows);
        EXPECT_EQ(c.count, rows->size()) << c.comboIndex;
        for (const SensorLogRow& row : *rows)
            EXPECT_TRUE(c.types.count(row.typeId)) << c.comboIndex << " " << row.typeId;
    }
    EXPECT_EQ(database.faultLog(FaultFilter::All)->size(), database.lastFaults()->size());
}

TEST_F(ClientDatabaseTest, EmptyTableGivesNoRowsAndAMissingTableAFailure)
{
    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    ASSERT_TRUE(database.lastFaults());
    EXPECT_TRUE(database.lastFaults()->empty());
    ASSERT_TRUE(database.todaysFaults(QDate(2024, 3, 5)));
    EXPECT_TRUE(database.todaysFaults(QDate(2024, 3, 5))->empty());

    QSqlQuery(database.connection()).exec("DROP TABLE SENSOR_TBL;");
    EXPECT_FALSE(database.lastFaults());
    EXPECT_FALSE(database.todaysFaults(QDate(2024, 3, 5)));
}

TEST_F(ClientDatabaseTest, TodaysFaultsStartAtMidnight)
{
    ASSERT_TRUE(open(QDate(2024, 10, 1)));
    insertRows({{"2024-9-30 23:59:50", 1},
                {"2024-10-1 0:0:0", 1},
                {"2024-10-1 0:0:0", 0},
                {"2024-10-1 12:0:0", 1},
                {"2024-10-2 0:0:0", 1}});

    const auto today = database.todaysFaults(QDate(2024, 10, 1));
    ASSERT_TRUE(today);
    EXPECT_EQ((std::vector<std::string>{"2024-10-2 0:0:0", "2024-10-1 12:0:0", "2024-10-1 0:0:0"}), stampsOf(*today));
    EXPECT_EQ(1u, database.todaysFaults(QDate(2024, 10, 2))->size());
    EXPECT_TRUE(database.todaysFaults(QDate(2024, 10, 3))->empty());
    EXPECT_EQ(4u, database.todaysFaults(QDate(2024, 9, 30))->size());
}

TEST_F(ClientDatabaseTest, TodaysFaultsAreLimitedToFifty)
{
    ASSERT_TRUE(open(QDate(2024, 10, 1)));
    insertRows(std::vector<std::pair<std::string, int>>(70, {"2024-10-1 8:0:0", 1}));
    EXPECT_EQ(50u, database.todaysFaults(QDate(2024, 10, 1))->size());
}

TEST_F(ClientDatabaseTest, FaultQueriesUseTheFaultIndex)
{
    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    const QStringList statements = {
        "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE ERR = 1 ORDER BY ID DESC LIMIT 50;",
        "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE (ERR = 1) AND (TYPE_ID IN (2, 3)) ORDER BY ID DESC "
        "LIMIT 50;",
        "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE ERR = 1 AND ID >= 7 AND DATE_KEY(DATE_TIME) >= "
        "20240305 ORDER BY ID DESC LIMIT 50;",
    };
    for (const QString& statement : statements) {
        QSqlQuery plan(database.connection());
        ASSERT_TRUE(plan.exec("EXPLAIN QUERY PLAN " + statement)) << statement.toStdString();
        QString details;
        while (plan.next())
            details += plan.value(3).toString() + "\n";
        EXPECT_TRUE(details.contains("SENSOR_FAULT_IDX")) << details.toStdString();
    }
}

TEST_F(ClientDatabaseTest, BoundarySearchCopesWithGapsInTheIds)
{
    ASSERT_TRUE(open(QDate(2024, 3, 5)));
    std::vector<std::pair<std::string, int>> rows;
    for (int day = 1; day <= 9; ++day)
        for (int i = 0; i < 3; ++i)
            rows.push_back({"2024-3-" + std::to_string(day) + " 0:0:" + std::to_string(i), 0});
    insertRows(rows); // IDs 1 to 27, three per day
    storetest::execute(path(), "DELETE FROM SENSOR_TBL WHERE ID IN (7, 8, 9, 10, 11, 12, 13);");

    const std::vector<Row> stored = query(path(), "SELECT ID, DATE_TIME FROM SENSOR_TBL;");
    for (int key : {20240228, 20240301, 20240302, 20240303, 20240305, 20240306, 20240309, 20240310}) {
        const auto first = firstSensorRowOnOrAfter(database.connection(), key);
        ASSERT_TRUE(first);
        // Every row below the boundary is older than the key, every row from it on is not.
        for (const Row& row : stored) {
            const int day = std::stoi(row[1].substr(7, 1));
            EXPECT_EQ(20240300 + day < key, std::stoll(row[0]) < *first) << key << " " << row[0];
        }
    }
    EXPECT_EQ(28, *firstSensorRowOnOrAfter(database.connection(), 20240310));
}

} // namespace
