// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_database.h"
#include "debug_log.h"
#include "sensor_time.h"
#include "store_test_support.h"
#include "tsql_thread.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSqlQuery>

using storetest::query;
using storetest::Row;
using storetest::scalar;

namespace {

const QDateTime kMarch5 = QDateTime(QDate(2024, 3, 5), QTime(7, 4, 0));

// Gives the tests the thread's pass and insert without a running thread.
class PassProbe : public TSQLThread {
public:
    using TSQLThread::SensorChecker;
};

SensorSnapshot allSwitchesOff()
{
    SensorSnapshot s;
    s.CBVcore = s.CBVio = s.CB5V = s.CB12V = s.CBN5V = s.CBN12V = 0;
    s.CBCPUFan = s.CBSYSFan = s.CBCPUTemp = s.CBSYSTemp = 0;
    return s;
}

SensorSnapshot allSwitchesOnAndHealthy()
{
    SensorSnapshot s;
    s.CBVcore = s.CBVio = s.CB5V = s.CB12V = s.CBN5V = s.CBN12V = 1;
    s.CBCPUFan = s.CBSYSFan = s.CBCPUTemp = s.CBSYSTemp = 1;
    s.Vcore = 1200;
    s.Vio = 3300;
    s.P5V = 5000;
    s.P12V = 12000;
    s.N5V = 5000;
    s.N12V = 12000;
    s.Fan1 = 2950;
    s.Fan2 = 1800;
    s.CpuTemp = 45;
    s.SysTemp = 38;
    return s;
}

// Collects the toolkit's debug output while alive.
class TraceCapture {
public:
    TraceCapture()
    {
        QMutexLocker lock(&mutex());
        lines().clear();
        m_previous = qInstallMessageHandler(handler);
    }
    ~TraceCapture() { qInstallMessageHandler(m_previous); }
    QStringList taken()
    {
        QMutexLocker lock(&mutex());
        return lines();
    }

private:
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }
    static void handler(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        QMutexLocker lock(&mutex());
        lines().append(text);
    }
    QtMessageHandler m_previous;
};

class LoggingTest : public storetest::TempFiles {
protected:
    void SetUp() override
    {
        storetest::TempFiles::SetUp();
        database = std::make_unique<ClientDatabase>(path(), uniqueName());
        DebugLog quiet([](const std::string&) {});
        ASSERT_TRUE(database->openWithMaintenance(quiet, QDate(2024, 3, 5)));
        probe.setLoadSampler([this](int16_t* load) {
            *load = sampledLoad;
            return 0;
        });
    }
    QString path() const { return file(ClientDatabase::kFileName); }
    std::vector<Row> sensorRows() const
    {
        return query(path(), "SELECT DATE_TIME, TYPE_ID, DATA, ERR FROM SENSOR_TBL ORDER BY ID;");
    }
    std::vector<int> typesWritten() const
    {
        std::vector<int> types;
        for (const Row& row : sensorRows())
            types.push_back(std::stoi(row[1]));
        return types;
    }
    void pass(const SensorSnapshot& snapshot, const QDateTime& when = kMarch5)
    {
        probe.SensorChecker(database->connection(), snapshot, when);
    }

    std::unique_ptr<ClientDatabase> database;
    PassProbe probe;
    int16_t sampledLoad = 37;
};

TEST_F(LoggingTest, PassWritesSwitchedSensorsInLoggingOrderThenTheLoad)
{
    pass(allSwitchesOnAndHealthy());
    const std::vector<Row> expected = {
        {"2024-3-5 7:4:0", "8", "45", "0"},    {"2024-3-5 7:4:0", "9", "38", "0"},
        {"2024-3-5 7:4:0", "2", "2950", "0"},  {"2024-3-5 7:4:0", "3", "1800", "0"},
        {"2024-3-5 7:4:0", "0", "1200", "0"},  {"2024-3-5 7:4:0", "1", "3300", "0"},
        {"2024-3-5 7:4:0", "4", "5000", "0"},  {"2024-3-5 7:4:0", "5", "12000", "0"},
        {"2024-3-5 7:4:0", "6", "5000", "0"},  {"2024-3-5 7:4:0", "7", "12000", "0"},
        {"2024-3-5 7:4:0", "10", "37", "0"},
    };
    EXPECT_EQ(expected, sensorRows());
    EXPECT_EQ(37, probe.GetCpuLoad());
}

TEST_F(LoggingTest, WithEverySwitchOffAPassWritesOnlyTheLoad)
{
    pass(allSwitchesOff());
    EXPECT_EQ((std::vector<Row>{{"2024-3-5 7:4:0", "10", "37", "0"}}), sensorRows());
}

TEST_F(LoggingTest, DefaultSwitchesLogTheirSensors)
{
    pass(SensorSnapshot{});
    EXPECT_EQ((std::vector<int>{8, 9, 0, 1, 4, 5, 10}), typesWritten());
}

TEST_F(LoggingTest, ReadingsEqualToALimitAreHealthy)
{
    struct Case {
        const char* what;
        int type;
        int16_t SensorSnapshot::*reading;
        int16_t value;
        const char* err;
    };
    using S = SensorSnapshot;
    const Case cases[] = {
        {"temperature at its limit", 8, &S::CpuTemp, 70, "0"},
        {"temperature above", 8, &S::CpuTemp, 71, "1"},
        {"negative temperature", 9, &S::SysTemp, -12, "0"},
        {"fan at its limit", 2, &S::Fan1, 1000, "0"},
        {"fan below", 2, &S::Fan1, 999, "1"},
        {"stalled fan", 3, &S::Fan2, 0, "1"},
        {"voltage at high", 0, &S::Vcore, 3600, "0"},
        {"voltage above", 0, &S::Vcore, 3601, "1"},
        {"voltage at low", 1, &S::Vio, 500, "0"},
        {"voltage below", 1, &S::Vio, 499, "1"},
        {"negative rail as reported", 6, &S::N5V, -5000, "1"},
    };
    for (const Case& c : cases) {
        QSqlQuery(database->connection()).exec("DELETE FROM SENSOR_TBL;");
        SensorSnapshot s = allSwitchesOff();
        s.*(sensorFields(c.type)->enabled) = 1;
        s.*c.reading = c.value;
        pass(s);
        const std::vector<Row> rows = sensorRows();
        ASSERT_EQ(2u, rows.size()) << c.what;
        EXPECT_EQ((Row{"2024-3-5 7:4:0", std::to_string(c.type), std::to_string(c.value), c.err}), rows[0]) << c.what;
    }
}

// The thread's stop request arrives while an insert of the pass runs.
void requestStopFromSql(sqlite3_context* context, int, sqlite3_value**)
{
    static_cast<TSQLThread*>(sqlite3_user_data(context))->RequestStop();
    sqlite3_result_null(context);
}

TEST_F(LoggingTest, StopDuringAPassEndsItAfterTheCurrentInsert)
{
    sqlite3* handle = storetest::handleOf(database->connection());
    ASSERT_EQ(SQLITE_OK, sqlite3_create_function_v2(handle, "REQUEST_STOP", 0, SQLITE_UTF8, &probe,
                                                    requestStopFromSql, nullptr, nullptr, nullptr));
    ASSERT_TRUE(QSqlQuery(database->connection())
                    .exec("CREATE TEMP TRIGGER STOP_AT_FAN AFTER INSERT ON SENSOR_TBL WHEN NEW.TYPE_ID = 2 "
                          "BEGIN SELECT REQUEST_STOP(); END;"));
    pass(allSwitchesOnAndHealthy());
    EXPECT_EQ((std::vector<int>{8, 9, 2}), typesWritten());
}

TEST_F(LoggingTest, StopDuringTheLoadSampleWritesNoLoadRow)
{
    probe.setLoadSampler([this](int16_t* load) {
        *load = 55;
        probe.RequestStop();
        return 0;
    });
    pass(allSwitchesOff());
    EXPECT_TRUE(sensorRows().empty());
    EXPECT_EQ(55, probe.GetCpuLoad());
}

TEST_F(LoggingTest, FailedLoadSampleKeepsThePreviousValue)
{
    bool fail = true;
    probe.setLoadSampler([&fail](int16_t* load) {
        if (fail)
            return 1;
        *load = 12;
        return 0;
    });
    pass(allSwitchesOff(), kMarch5);
    fail = false;
    pass(allSwitchesOff(), kMarch5.addSecs(10));
    fail = true;
    pass(allSwitchesOff(), kMarch5.addSecs(20));
    const std::vector<Row> expected = {
        {"2024-3-5 7:4:0", "10", "0", "0"}, {"2024-3-5 7:4:10", "10", "12", "0"}, {"2024-3-5 7:4:20", "10", "12", "0"}};
    EXPECT_EQ(expected, sensorRows());
}

TEST_F(LoggingTest, FaultRowsAndFailedInsertsAreTraced)
{
    SensorSnapshot hot = allSwitchesOff();
    hot.CBCPUTemp = 1;
    hot.CpuTemp = 71;
    {
        TraceCapture trace;
        pass(hot);
        const QStringList lines = trace.taken();
        ASSERT_EQ(1, lines.size());
        EXPECT_TRUE(lines[0].startsWith("TSQLThread::SensorChecker "));
        EXPECT_TRUE(lines[0].endsWith(
            " INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (\"2024-3-5 7:4:0\", 8, 71, 1);"))
            << lines[0].toStdString();
    }
    QSqlQuery(database->connection()).exec("DROP TABLE SENSOR_TBL;");
    {
        TraceCapture trace;
        pass(allSwitchesOff());
        const QStringList lines = trace.taken();
        ASSERT_EQ(2, lines.size());
        EXPECT_TRUE(lines[0].startsWith("TSQLThread::SensorChecker ") && lines[0].endsWith(" SqlQueryCmd execute fail!"));
        EXPECT_EQ("SqlQueryCmd INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (\"2024-3-5 7:4:0\", 10, 37, 0);",
                  lines[1]);
    }
}

// A running thread with a clock the test sets.
class RunningThreadTest : public LoggingTest {
protected:
    void SetUp() override
    {
        LoggingTest::SetUp();
        thread.setDatabasePath(path());
        thread.setClock([this] {
            QMutexLocker lock(&clockMutex);
            return now;
        });
        thread.setLoadSampler([](int16_t* load) {
            *load = 21;
            return 0;
        });
    }
    void TearDown() override
    {
        thread.RequestStop();
        EXPECT_TRUE(thread.wait(2000));
    }
    void setNow(const QDateTime& when)
    {
        QMutexLocker lock(&clockMutex);
        now = when;
    }
    bool waitForRows(int count, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (std::stoi(scalar(path(), "SELECT COUNT(*) FROM SENSOR_TBL;")) >= count)
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    QMutex clockMutex;
    QDateTime now = kMarch5;
    TSQLThread thread;
};

TEST_F(RunningThreadTest, WritesOnePassInEachTenthSecond)
{
    SensorSnapshot s = allSwitchesOff();
    s.CBCPUTemp = 1;
    s.CpuTemp = 44;
    thread.SetSnapshot(s);
    thread.start();
    ASSERT_TRUE(waitForRows(2));

    setNow(kMarch5.addSecs(5)); // not a tenth second: nothing
    QThread::msleep(300);
    s.CpuTemp = 46;
    thread.SetSnapshot(s);
    setNow(kMarch5.addSecs(10));
    ASSERT_TRUE(waitForRows(4));
    QThread::msleep(300); // the same second is not written twice

    const std::vector<Row> expected = {
        {"2024-3-5 7:4:0", "8", "44", "0"},
        {"2024-3-5 7:4:0", "10", "21", "0"},
        {"2024-3-5 7:4:10", "8", "46", "0"},
        {"2024-3-5 7:4:10", "10", "21", "0"},
    };
    EXPECT_EQ(expected, sensorRows());
    EXPECT_EQ(21, thread.GetCpuLoad());
    // Each pass is folded into the minute and hour summaries after it is written.
    QElapsedTimer timer;
    timer.start();
    while (scalar(path(), "SELECT LAST_ID FROM SENSOR_SUMMARY_STATE;") != "4" && timer.elapsed() < 2000)
        QThread::msleep(20);
    for (const char* table : {"SENSOR_MINUTE_TBL", "SENSOR_HOUR_TBL"})
        EXPECT_EQ((std::vector<Row>{{"8", "2", "90", "44", "46"}, {"10", "2", "42", "21", "21"}}),
                  query(path(), std::string("SELECT TYPE_ID, N, TOTAL, LO, HI FROM ") + table + " ORDER BY TYPE_ID;"))
            << table;
}

TEST_F(RunningThreadTest, StopsWithinTheLoopPeriod)
{
    thread.start();
    ASSERT_TRUE(waitForRows(1));
    QElapsedTimer timer;
    timer.start();
    thread.RequestStop();
    EXPECT_TRUE(thread.wait(1000));
    EXPECT_LT(timer.elapsed(), 500);
}

TEST_F(RunningThreadTest, WindowQueriesSucceedWhileTheThreadWrites)
{
    // Every loop iteration sees a new tenth second, so the thread writes all the time.
    thread.setClock([this] {
        QMutexLocker lock(&clockMutex);
        now = now.addSecs(10);
        return now;
    });
    SensorSnapshot faulty = allSwitchesOnAndHealthy();
    faulty.CpuTemp = 90;
    thread.SetSnapshot(faulty);

    TraceCapture trace;
    thread.start();
    int queries = 0;
    const auto rowsWritten = [this] { return std::stoi(scalar(path(), "SELECT COUNT(*) FROM SENSOR_TBL;")); };
    QElapsedTimer timer;
    timer.start();
    // At least 1.5 s and at least five passes: a loaded machine takes longer, never fewer writes.
    while (timer.elapsed() < 1500 || (rowsWritten() < 11 * 5 && timer.elapsed() < 20000)) {
        const auto rows = database->lastFaults();
        ASSERT_TRUE(rows);
        ASSERT_TRUE(database->faultLog(FaultFilter::Temperature));
        ++queries;
    }
    thread.RequestStop();
    ASSERT_TRUE(thread.wait(2000));

    EXPECT_GT(queries, 10);
    EXPECT_GE(rowsWritten(), 11 * 5);
    EXPECT_FALSE(trace.taken().join('\n').contains("execute fail")) << trace.taken().join('\n').toStdString();
    const int faults = std::stoi(scalar(path(), "SELECT COUNT(*) FROM SENSOR_TBL WHERE ERR = 1;"));
    EXPECT_EQ(size_t(std::min(faults, 50)), database->lastFaults()->size());
}

} // namespace
