// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The cost of one polling tick of the client window (ten readings through the sensor library
// and its driver stand-in, the labels, the alarm, the hand-over to the logging thread) on several
// simulated boards, and how many driver requests one tick makes, counted in the library's trace.
// Reported per tick: median and 99th percentile in microseconds.

#include "bench_support.h"
#include "mainform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kBoards[] = {
    "fintek-f81866.json",         "fintek-f71889.json", "winbond-w83627hf-290.json",
    "winbond-w83627ehf.json",     "chipid-c452.json",   "winbond-w83781d-295.json",
};
constexpr int kTracedTicks = 20;

QString boardPath(int index)
{
    return QStringLiteral(VRD_SOURCE_DIR "/boards/") + QString::fromLatin1(kBoards[index]);
}

// A window bound to the real library on `board`, its files in `dir`. The library picks up the
// board and the trace file from the environment when it is initialised.
std::unique_ptr<Mainform> windowOn(const QString& board, const QTemporaryDir& dir, const QString& trace)
{
    qputenv("GAUGE64_BOARD", board.toLocal8Bit());
    if (trace.isEmpty())
        qunsetenv("GAUGE64_TRACE");
    else
        qputenv("GAUGE64_TRACE", trace.toLocal8Bit());
    AgentSetup setup;
    setup.settingsPath = QDir(dir.path()).filePath("VRD.INI");
    setup.dataDirectory = dir.path();
    return std::make_unique<Mainform>(setup);
}

QByteArray traceText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isDriverRequest(const QByteArray& line)
{
    for (const char* verb : {"in ", "out ", "indexed ", "memory "})
        if (line.startsWith(verb))
            return true;
    return false;
}

struct PerTick {
    double requests = 0;
    double lines = 0;
};

// Counted on a window of its own: writing the trace costs more than the tick itself.
PerTick tracedTick(const QString& board)
{
    QTemporaryDir dir;
    const QString trace = QDir(dir.path()).filePath("trace.log");
    auto window = windowOn(board, dir, trace);
    const int start = traceText(trace).size();
    for (int i = 0; i < kTracedTicks; ++i)
        window->agent().tick();
    const QByteArray ticks = traceText(trace).mid(start);
    window.reset();
    const QList<QByteArray> lines = ticks.split('\n');
    PerTick perTick;
    perTick.lines = double(ticks.count('\n')) / kTracedTicks;
    perTick.requests = double(std::count_if(lines.begin(), lines.end(), isDriverRequest)) / kTracedTicks;
    return perTick;
}

void BM_Tick(benchmark::State& state)
{
    const QString board = boardPath(int(state.range(0)));
    state.SetLabel(kBoards[state.range(0)]);
    const PerTick perTick = tracedTick(board);

    QTemporaryDir dir;
    auto window = windowOn(board, dir, QString());
    if (window->quitRequested()) {
        state.SkipWithError("the sensor library did not start on this board");
        return;
    }
    std::vector<double> micros;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        window->agent().tick();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
    }
    benchsupport::reportMedianAndTail(state, micros);
    state.counters["requests_per_tick"] = perTick.requests;
    state.counters["trace_lines_per_tick"] = perTick.lines;
}
BENCHMARK(BM_Tick)
    ->ArgName("board")
    ->DenseRange(0, int(std::size(kBoards)) - 1)
    ->Iterations(2000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's debug lines would swamp the report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return benchsupport::runUnderApplication<QApplication>(argc, argv);
}
