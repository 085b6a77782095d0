// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Query, start-up maintenance and insert times of the client database after 60 days of
// logging with every sensor switched on: 60 x 8640 passes x 11 rows = 5 702 400 rows, about
// 1 in 100 of them a fault. The fans never fault, so the log page's fan category shows the
// cost of a category with nothing to list. The reading histories of 24 hours, 7 days and 60
// days read the summaries, which the cache gets once (the time is printed: it is what an agent
// spends in its logging thread after its first start with a file of an older version).

#include "bench_support.h"
#include "client_database.h"
#include "client_history.h"
#include "sensor_purge.h"
#include "sensor_summary.h"
#include "tsql_thread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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

void ensureSummaries()
{
    ClientDatabase db(cachePath(), QStringLiteral("bench_summaries"));
    db.open();
    if (!ensureSummaryTables(db.connection()) || !registerSummaryFunctions(db.connection())) {
        std::fprintf(stderr, "could not add the summaries\n");
        std::exit(1);
    }
    QElapsedTimer timer;
    timer.start();
    int chunks = 0;
    std::optional<bool> done;
    while ((done = foldSensorRows(db.connection(), kFoldChunkRows)) == std::optional<bool>(false))
        ++chunks;
    if (!done) {
        std::fprintf(stderr, "could not fold the rows\n");
        std::exit(1);
    }
    if (chunks > 0)
        std::fprintf(stderr, "summaries of the 60-day file: %d chunks of %d rows folded in %.1f s\n", chunks + 1,
                     kFoldChunkRows, timer.elapsed() / 1000.0);
}

void ensureCache()
{
    if (!benchhistory::isCompleteHistory(cachePath())) {
        QDir().mkpath(cacheDir());
        if (!benchhistory::buildHistory(cachePath(), kLastDay)) {
            std::fprintf(stderr, "could not build the benchmark database\n");
            std::exit(1);
        }
    }
    ensureSummaries();
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

// The station's ranges, 500 buckets each, ending at the end of the last logged day.
void BM_HistoryQuery(benchmark::State& state)
{
    ClientDatabase db(cachePath(), QStringLiteral("bench_history"));
    db.open();
    const qint64 to = QDateTime(kLastDay.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    const HistoryQuery query{SensorCpuTemp, to - state.range(0) * 3600, to, kHistoryMaxPoints};
    std::vector<double> micros;
    size_t buckets = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<HistorySeries> series = db.history(query);
        micros.push_back(timer.nsecsElapsed() / 1000.0);
        if (!series) {
            state.SkipWithError("history query failed");
            return;
        }
        buckets = series->buckets.size();
    }
    benchsupport::reportMedianAndTail(state, micros);
    state.counters["buckets"] = double(buckets);
}
BENCHMARK(BM_HistoryQuery)->ArgName("hours")->Arg(24)->Arg(7 * 24)->Arg(60 * 24)->Iterations(200)
    ->Unit(benchmark::kMillisecond);

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

// The pass as the thread runs it now: the rows, then their fold into the summaries.
void BM_OneLoggingPassWithSummaries(benchmark::State& state)
{
    const QString copy = freshCopy();
    ClientDatabase db(copy, QStringLiteral("bench_pass_summaries"));
    db.open();
    registerSummaryFunctions(db.connection());
    PassProbe probe;
    probe.setLoadSampler([](int16_t* load) {
        *load = 12;
        return 0;
    });
    SensorSnapshot all;
    all.CBN5V = all.CBN12V = all.CBCPUFan = all.CBSYSFan = 1;
    all.CpuTemp = 45;
    QDateTime when(kLastDay.addDays(1), QTime(0, 0));
    std::vector<double> micros;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        probe.SensorChecker(db.connection(), all, when);
        foldSensorRows(db.connection(), kFoldChunkRows);
        micros.push_back(timer.nsecsElapsed() / 1000.0);
        when = when.addSecs(10);
    }
    benchsupport::reportMedianAndTail(state, micros);
}
BENCHMARK(BM_OneLoggingPassWithSummaries)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return benchsupport::runUnderApplication<QCoreApplication>(
        argc, argv, ensureCache, [] { QFile::remove(workCopyPath()); });
}
