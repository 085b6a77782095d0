// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The reading history over a small file of hand-placed rows: buckets checked against a plain
// scan of the rows, exact buckets written out, a gap, the range's ends, the purge taking the
// summaries with the rows, summaries rebuilt after they were lost, and the fold in chunks.

#include "client_database.h"
#include "debug_log.h"
#include "sensor_summary.h"
#include "store_test_support.h"

#include <QDateTime>

#include <cmath>
#include <cstdio>
#include <map>

using storetest::scalar;

namespace {

constexpr int kType = 8;      // processor temperature
constexpr int kOtherType = 2; // processor fan, interleaved as the logging thread writes it

struct PlacedRow {
    std::string stamp; // as the logging thread writes it
    int type;
    int data;
    qint64 epoch = 0; // filled when placed
};

qint64 epochOf(const std::string& stamp)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    EXPECT_EQ(6, std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se)) << stamp;
    return QDateTime(QDate(y, mo, d), QTime(h, mi, se)).toSecsSinceEpoch();
}

std::string stampOf(const QDateTime& local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    return std::to_string(d.year()) + "-" + std::to_string(d.month()) + "-" + std::to_string(d.day()) + " "
        + std::to_string(t.hour()) + ":" + std::to_string(t.minute()) + ":" + std::to_string(t.second());
}

// The buckets as a plain scan over the rows computes them, without summaries.
std::vector<HistoryBucket> scanned(const std::vector<PlacedRow>& rows, const HistoryQuery& q)
{
    const qint64 step = historyStep(q);
    struct Sum {
        qint64 n = 0, total = 0;
        int lo = 0, hi = 0;
    };
    std::map<qint64, Sum> sums;
    for (const PlacedRow& row : rows) {
        const qint64 t = row.epoch;
        if (row.type != q.type || t < q.from || t >= q.to)
            continue;
        Sum& s = sums[(t - q.from) / step];
        s.lo = s.n == 0 ? row.data : std::min(s.lo, row.data);
        s.hi = s.n == 0 ? row.data : std::max(s.hi, row.data);
        ++s.n;
        s.total += row.data;
    }
    std::vector<HistoryBucket> out;
    for (const auto& [k, s] : sums)
        out.push_back({q.from + k * step, s.lo, int(std::llround(double(s.total) / double(s.n))), s.hi});
    return out;
}

std::string text(const std::vector<HistoryBucket>& buckets)
{
    std::string out;
    for (const HistoryBucket& b : buckets)
        out += "[" + std::to_string(b.start) + "," + std::to_string(b.min) + "," + std::to_string(b.avg) + ","
            + std::to_string(b.max) + "]";
    return out;
}

class SensorHistoryTest : public storetest::TempFiles {
protected:
    QString path() const { return file(ClientDatabase::kFileName); }

    void SetUp() override
    {
        storetest::TempFiles::SetUp();
        ASSERT_TRUE(database.openWithMaintenance(log, QDate(2024, 3, 5)));
        ASSERT_TRUE(registerSummaryFunctions(database.connection()));
    }

    void place(const std::vector<PlacedRow>& rows)
    {
        std::string sql = "BEGIN;";
        for (const PlacedRow& row : rows)
            sql += "INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES ('" + row.stamp + "', "
                + std::to_string(row.type) + ", " + std::to_string(row.data) + ", 0);";
        sql += "COMMIT;";
        sqlite3* db = nullptr;
        sqlite3_open(path().toUtf8().constData(), &db);
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
        sqlite3_close(db);
        for (PlacedRow row : rows) {
            row.epoch = epochOf(row.stamp);
            placed.push_back(row);
        }
    }

    // A pass every ten seconds from `first` for `passes` passes: a temperature that climbs and
    // falls by the minute, and the fan beside it.
    void placePasses(const QDateTime& first, int passes)
    {
        std::vector<PlacedRow> rows;
        for (int i = 0; i < passes; ++i) {
            const std::string stamp = stampOf(first.addSecs(10 * i));
            rows.push_back({stamp, kType, 40 + (i * 7) % 23 - (i % 6 == 5 ? 30 : 0)});
            rows.push_back({stamp, kOtherType, 2900 + i % 13});
        }
        place(rows);
    }

    void foldAll()
    {
        const std::optional<bool> done = foldSensorRows(database.connection(), 1 << 30);
        ASSERT_TRUE(done.has_value());
        ASSERT_TRUE(*done);
    }

    std::vector<HistoryBucket> history(const HistoryQuery& q)
    {
        const std::optional<HistorySeries> series = database.history(q);
        EXPECT_TRUE(series.has_value());
        if (!series)
            return {};
        EXPECT_EQ(historyStep(q), series->step);
        EXPECT_EQ(q.type, series->type);
        return series->buckets;
    }

    std::vector<PlacedRow> placed;
    std::vector<std::string> logLines;
    DebugLog log{[this](const std::string& line) { logLines.push_back(line); }};
    ClientDatabase database{file(ClientDatabase::kFileName), uniqueName()};
};

const QDateTime kMorning(QDate(2024, 3, 5), QTime(6, 0, 0));

TEST_F(SensorHistoryTest, BucketsHoldExactlyTheRowsLoggedWithinThem)
{
    placePasses(kMorning, 3 * 360);                      // 06:00 to 09:00
    placePasses(kMorning.addSecs(4 * 3600 + 20), 2 * 360); // 10:00:20 to 12:00:20, after a gap
    foldAll();

    const qint64 t0 = kMorning.toSecsSinceEpoch();
    const HistoryQuery queries[] = {
        {kType, t0, t0 + 6 * 3600, 6},              // hours whole
        {kType, t0, t0 + 6 * 3600, 500},            // 44 s buckets: every minute cut open
        {kType, t0 - 3600, t0 + 7 * 3600, 7},       // beyond both ends
        {kType, t0 + 1234, t0 + 5 * 3600 + 17, 13}, // edges on no minute
        {kType, t0 + 59, t0 + 3 * 3600 + 1, 500},   // seconds-long buckets
        {kType, t0 + 3 * 3600 - 1, t0 + 4 * 3600 + 21, 1}, // across the gap
        {kOtherType, t0 + 900, t0 + 6 * 3600, 37},
        {kType, t0 + 20, t0 + 30, 1},                // one row at From, the next at To left out
    };
    for (const HistoryQuery& q : queries) {
        const std::vector<HistoryBucket> expected = scanned(placed, q);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(text(expected), text(history(q))) << q.from - t0 << ".." << q.to - t0 << " / " << q.points;
    }
}

TEST_F(SensorHistoryTest, GapIsLeftOutAndEndsAreExact)
{
    place({{"2024-3-5 6:0:0", kType, 40},
           {"2024-3-5 6:0:10", kType, 50},
           {"2024-3-5 6:0:20", kType, 61}, // mean 50.33
           {"2024-3-5 6:0:30", kOtherType, 9999},
           {"2024-3-5 6:2:0", kType, -5},
           {"2024-3-5 6:2:10", kType, -6}, // mean -5.5: rounded away from zero
           {"2024-3-5 6:3:0", kType, 70}}); // at To: left out
    foldAll();

    const qint64 t0 = epochOf("2024-3-5 6:0:0");
    EXPECT_EQ(text({{t0, 40, 50, 61}, {t0 + 120, -6, -6, -5}}), text(history({kType, t0, t0 + 180, 3})));
    // One bucket over everything before To.
    EXPECT_EQ(text({{t0 + 10, -6, 25, 61}}), text(history({kType, t0 + 10, t0 + 180, 1})));
    // Nothing logged in the range: no bucket at all.
    EXPECT_EQ("", text(history({kType, t0 + 30, t0 + 120, 500})));
    EXPECT_EQ("", text(history({5, t0, t0 + 180, 3})));
}

TEST_F(SensorHistoryTest, UnanswerableQueriesGiveNothing)
{
    const qint64 t0 = kMorning.toSecsSinceEpoch();
    const HistoryQuery bad[] = {
        {kType, t0, t0, 10},          {kType, t0, t0 - 1, 10},       {kType, t0, t0 + 61 * 86400 + 1, 10},
        {kType, t0, t0 + 3600, 0},    {kType, t0, t0 + 3600, 501},   {kType, t0, t0 + 3600, -1},
    };
    for (const HistoryQuery& q : bad)
        EXPECT_FALSE(database.history(q).has_value()) << q.from << ".." << q.to << " / " << q.points;
    EXPECT_TRUE(database.history({kType, t0, t0 + 61 * 86400, 500}).has_value());
}

TEST_F(SensorHistoryTest, PurgeTakesTheSummariesWithTheRows)
{
    placePasses(QDateTime(QDate(2024, 3, 3), QTime(23, 0)), 2 * 360); // 3 March 23:00 to 4 March 01:00
    foldAll();
    database.close();

    ClientDatabase reopened(path(), uniqueName());
    ASSERT_TRUE(reopened.openWithMaintenance(log, QDate(2024, 3, 4).addDays(kKeepDays))); // cut-off 4 March
    const qint64 midnight = QDateTime(QDate(2024, 3, 4), QTime(0, 0)).toSecsSinceEpoch();
    for (const char* table : {"SENSOR_MINUTE_TBL", "SENSOR_HOUR_TBL"}) {
        EXPECT_EQ("0", scalar(path(), std::string("SELECT COUNT(*) FROM ") + table + " WHERE START < "
                                          + std::to_string(midnight) + ";"));
        EXPECT_NE("0", scalar(path(), std::string("SELECT COUNT(*) FROM ") + table + ";"));
    }
    const HistoryQuery q{kType, midnight - 3600, midnight + 3600, 2};
    std::vector<PlacedRow> kept;
    for (const PlacedRow& row : placed)
        if (row.epoch >= midnight)
            kept.push_back(row);
    const std::optional<HistorySeries> series = reopened.history(q);
    ASSERT_TRUE(series);
    EXPECT_EQ(text(scanned(kept, q)), text(series->buckets));
    EXPECT_EQ(1u, series->buckets.size());
}

TEST_F(SensorHistoryTest, LostSummariesAreRebuiltFromTheRows)
{
    placePasses(kMorning, 2 * 360);
    foldAll();
    const HistoryQuery q{kType, kMorning.toSecsSinceEpoch(), kMorning.toSecsSinceEpoch() + 7200, 9};
    const std::string before = text(history(q));
    ASSERT_EQ(text(scanned(placed, q)), before);
    database.close();

    const char* const losses[] = {
        "DROP TABLE SENSOR_MINUTE_TBL;",
        "DROP TABLE SENSOR_SUMMARY_STATE;",
        "UPDATE SENSOR_SUMMARY_STATE SET LAST_ID = 999999;", // a file put back underneath
    };
    for (const char* loss : losses) {
        storetest::execute(path(), loss);
        ClientDatabase reopened(path(), uniqueName());
        ASSERT_TRUE(reopened.openWithMaintenance(log, QDate(2024, 3, 5)));
        ASSERT_TRUE(registerSummaryFunctions(reopened.connection()));
        ASSERT_EQ(std::optional<bool>(true), foldSensorRows(reopened.connection(), 1 << 30)) << loss;
        const std::optional<HistorySeries> series = reopened.history(q);
        ASSERT_TRUE(series) << loss;
        EXPECT_EQ(before, text(series->buckets)) << loss;
    }
}

// A history with holes is worse than none: while the summaries are rebuilt there is no answer.
TEST_F(SensorHistoryTest, NoHistoryWhileTheSummariesAreRebuilt)
{
    placePasses(kMorning, kFoldChunkRows / 2 + 1); // two rows a pass: one chunk and two rows
    const HistoryQuery q{kType, kMorning.toSecsSinceEpoch(), kMorning.toSecsSinceEpoch() + 86400, 24};
    EXPECT_FALSE(database.history(q).has_value());
    ASSERT_EQ(std::optional<bool>(false), foldSensorRows(database.connection(), 2));
    EXPECT_TRUE(database.history(q).has_value()); // the rows of a pass or two may wait for their fold
    foldAll();
    EXPECT_EQ(text(scanned(placed, q)), text(history(q)));
}

TEST_F(SensorHistoryTest, FoldInChunksEqualsOneFold)
{
    placePasses(kMorning, 100);
    int chunks = 0;
    for (std::optional<bool> done = false; done == std::optional<bool>(false); ++chunks) {
        done = foldSensorRows(database.connection(), 7);
        ASSERT_TRUE(done.has_value());
    }
    EXPECT_EQ(200 / 7 + 1, chunks);
    // Rows written after the fold join the summaries of their minute.
    placePasses(kMorning.addSecs(1000), 5);
    foldAll();
    const HistoryQuery q{kType, kMorning.toSecsSinceEpoch(), kMorning.toSecsSinceEpoch() + 3600, 1};
    EXPECT_EQ(text(scanned(placed, q)), text(history(q)));
    EXPECT_EQ("105", scalar(path(), "SELECT SUM(N) FROM SENSOR_HOUR_TBL WHERE TYPE_ID = 8;"));
}

} // namespace
