// Query, start-up maintenance and insert times of the client database after 60 days of
// logging with every sensor switched on: 60 x 8640 passes x 11 rows = 5 702 400 rows, about
// 1 in 100 of them a fault. The fans never fault, so the log page's fan category shows the
// cost of a category with nothing to list.

#include "bench_support.h"
#include "client_database.h"
#include "client_history.h"
#include "sensor_purge.h"
#include "tsql_thread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <cstdio>

namespace {

const QDate kFirstDay(2024, 1, 1);
const QDate kLastDay = kFirstDay.addDays(benchhistory::kDays - 1);
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

QString workCopyPath()
{
    return cacheDir() + "/sysinfo2-work.sqlite";
}

void ensureCache()
{
    if (benchhistory::isCompleteHistory(cachePath()))
        return;
    QDir().mkpath(cacheDir());
    if (!benchhistory::buildHistory(cachePath(), kLastDay)) {
        std::fprintf(stderr, "could not build the benchmark database\n");
        std::exit(1);
    }
}

// A private copy for the measurements that change the file.
QString freshCopy()
{
    const QString copy = workCopyPath();
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
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return benchsupport::runUnderApplication<QCoreApplication>(
        argc, argv, ensureCache, [] { QFile::remove(workCopyPath()); });
}
