// Query, start-up maintenance and insert times of the client database after 60 days of
// logging with every sensor switched on: 60 x 8640 passes x 11 rows = 5 702 400 rows, about
// 1 in 100 of them a fault. The fans never fault, so the log page's fan category shows the
// cost of a category with nothing to list.

#include "client_database.h"
#include "sensor_purge.h"
#include "sensor_schema.h"
#include "sensor_time.h"
#include "tsql_thread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <random>

namespace {

constexpr int kDays = 60;
constexpr int kPassesPerDay = 8640;
constexpr int kSchemaVersion = 2; // marks a finished cache file of this layout
const QDate kFirstDay(2024, 1, 1);
const QDate kLastDay = kFirstDay.addDays(kDays - 1);
// The start two days after the last logged day removes the first day (95 040 rows).
const QDate kPurgeCutoff = kLastDay.addDays(2).addDays(-kKeepDays);

QString cacheDir()
{
    return QStringLiteral(VRD_BENCH_CACHE);
}

QString cachePath()
{
    return cacheDir() + "/sysinfo2-60days.sqlite";
}

bool exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    const bool done = sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (!done)
        std::fprintf(stderr, "%s: %s\n", sql, error ? error : "?");
    sqlite3_free(error);
    return done;
}

int readingOf(int type, std::mt19937& random)
{
    static const int kTypical[] = {1200, 3300, 2950, 1800, 5000, 12000, 5000, 12000, 45, 38};
    return kTypical[type] + int(random() % 50);
}

// One transaction and one prepared statement: the rows go in at full speed.
bool buildCache(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    bool ok = exec(db, "PRAGMA journal_mode = OFF;") && exec(db, "PRAGMA synchronous = OFF;");
    for (const char* statement : kCreateStatements)
        ok = ok && exec(db, statement);
    ok = ok && exec(db, "BEGIN;");
    sqlite3_stmt* insert = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db, "INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, ?, ?, ?);", -1,
                              &insert, nullptr)
            == SQLITE_OK;
    std::mt19937 random(20240101);
    std::bernoulli_distribution fault(0.01375); // 8 of 11 rows can fault: 1 % of all rows
    for (int day = 0; ok && day < kDays; ++day) {
        for (int pass = 0; ok && pass < kPassesPerDay; ++pass) {
            const QDateTime when(kFirstDay.addDays(day), QTime(0, 0).addSecs(pass * 10));
            const QByteArray stamp = sensorTimeText(when).toLatin1();
            for (int type : {8, 9, 2, 3, 0, 1, 4, 5, 6, 7, 10}) {
                const bool isLoad = type == SensorCpuLoad;
                const bool canFault = !isLoad && type != SensorCpuFan && type != SensorSysFan;
                sqlite3_bind_text(insert, 1, stamp.constData(), stamp.size(), SQLITE_TRANSIENT);
                sqlite3_bind_int(insert, 2, type);
                sqlite3_bind_int(insert, 3, isLoad ? int(random() % 100) : readingOf(type, random));
                sqlite3_bind_int(insert, 4, canFault && fault(random) ? 1 : 0);
                ok = sqlite3_step(insert) == SQLITE_DONE;
                sqlite3_reset(insert);
            }
        }
    }
    sqlite3_finalize(insert);
    ok = ok && exec(db, "COMMIT;") && exec(db, kFaultIndexStatement);
    ok = ok && exec(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";").c_str());
    sqlite3_close(db);
    return ok;
}

bool cacheIsComplete()
{
    sqlite3* db = nullptr;
    int version = 0;
    if (sqlite3_open_v2(cachePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA user_version;", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            version = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return version == kSchemaVersion;
}

void ensureCache()
{
    if (cacheIsComplete())
        return;
    QDir().mkpath(cacheDir());
    const QString building = cachePath() + ".building";
    QFile::remove(building);
    std::fprintf(stderr, "building %s ...\n", qPrintable(cachePath()));
    QFile::remove(cachePath());
    if (!buildCache(building) || !QFile::rename(building, cachePath())) {
        std::fprintf(stderr, "could not build the benchmark database\n");
        std::exit(1);
    }
}

// A private copy for the measurements that change the file.
QString freshCopy()
{
    const QString copy = cacheDir() + "/sysinfo2-work.sqlite";
    QFile::remove(copy);
    QFile::remove(copy + "-journal");
    if (!QFile::copy(cachePath(), copy)) {
        std::fprintf(stderr, "could not copy the benchmark database\n");
        std::exit(1);
    }
    return copy;
}

void reportRows(benchmark::State& state, size_t rows)
{
    state.counters["rows"] = double(rows);
}

void BM_LogPageQuery(benchmark::State& state)
{
    ClientDatabase db(cachePath(), QStringLiteral("bench_log_page"));
    db.open();
    const FaultFilter filter = faultFilterForIndex(int(state.range(0)));
    size_t rows = 0;
    for (auto _ : state)
        rows = db.faultLog(filter).value_or(SensorLogRows{}).size();
    reportRows(state, rows);
}
BENCHMARK(BM_LogPageQuery)->ArgName("category")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)
    ->Repetitions(9)->ReportAggregatesOnly(true);

void BM_LastFaultsReply(benchmark::State& state)
{
    ClientDatabase db(cachePath(), QStringLiteral("bench_last"));
    db.open();
    size_t rows = 0;
    for (auto _ : state)
        rows = db.lastFaults().value_or(SensorLogRows{}).size();
    reportRows(state, rows);
}
BENCHMARK(BM_LastFaultsReply)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// On the last logged day, a full day of rows lies above the day's first ID.
void BM_TodaysFaultsReply(benchmark::State& state)
{
    ClientDatabase db(cachePath(), QStringLiteral("bench_today"));
    db.open();
    size_t rows = 0;
    for (auto _ : state)
        rows = db.todaysFaults(kLastDay).value_or(SensorLogRows{}).size();
    reportRows(state, rows);
}
BENCHMARK(BM_TodaysFaultsReply)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_StartupPurge(benchmark::State& state)
{
    int deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ClientDatabase db(freshCopy(), QStringLiteral("bench_purge"));
        db.open();
        state.ResumeTiming();
        deleted = purgeSensorRowsBefore(db.connection(), kPurgeCutoff);
    }
    state.counters["deleted"] = deleted;
}
BENCHMARK(BM_StartupPurge)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

void BM_StartupVacuum(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ClientDatabase db(freshCopy(), QStringLiteral("bench_vacuum"));
        db.open();
        purgeSensorRowsBefore(db.connection(), kPurgeCutoff);
        state.ResumeTiming();
        QSqlQuery(db.connection()).exec(QStringLiteral("VACUUM;"));
    }
}
BENCHMARK(BM_StartupVacuum)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

class PassProbe : public TSQLThread {
public:
    using TSQLThread::SensorChecker;
};

// Eleven single-row statements, each its own transaction, as the thread writes them.
void BM_OneLoggingPass(benchmark::State& state)
{
    const QString copy = freshCopy();
    ClientDatabase db(copy, QStringLiteral("bench_pass"));
    db.open();
    PassProbe probe;
    probe.setLoadSampler([](int16_t* load) {
        *load = 12;
        return 0;
    });
    SensorSnapshot all;
    all.CBN5V = all.CBN12V = all.CBCPUFan = all.CBSYSFan = 1;
    all.Vcore = 1200;
    all.Vio = 3300;
    all.P5V = all.N5V = 5000;
    all.P12V = all.N12V = 12000;
    all.Fan1 = 2950;
    all.Fan2 = 1800;
    all.CpuTemp = 45;
    all.SysTemp = 38;
    QDateTime when(kLastDay.addDays(1), QTime(0, 0));
    for (auto _ : state) {
        probe.SensorChecker(db.connection(), all, when);
        when = when.addSecs(10);
    }
}
BENCHMARK(BM_OneLoggingPass)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    benchmark::Initialize(&argc, argv);
    ensureCache();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QFile::remove(cacheDir() + "/sysinfo2-work.sqlite");
    return 0;
}
