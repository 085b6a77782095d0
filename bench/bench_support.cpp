// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "bench_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace benchsupport {

namespace {

using Clock = std::chrono::steady_clock;

// Runs the event loop until counter passes target; false when the message was lost. The counter
// only moves in a message handler, so nothing but the guard needs to wake the loop.
bool waitPast(const int& counter, int target, int lostAfterMs)
{
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(lostAfterMs);
    while (counter < target && guard.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return counter >= target;
}

} // namespace

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

void reportMedianAndTail(benchmark::State& state, const std::vector<double>& micros)
{
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
}

void measureRoundTrips(benchmark::State& state, const std::function<void()>& publish, const int& arrivals,
                       int lostAfterMs)
{
    std::vector<double> micros;
    micros.reserve(size_t(state.max_iterations));
    int lost = 0;
    for (auto _ : state) {
        const int target = arrivals + 1;
        const Clock::time_point start = Clock::now();
        publish();
        const bool arrived = waitPast(arrivals, target, lostAfterMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (arrived)
            micros.push_back(seconds * 1e6);
        else
            ++lost;
    }
    if (micros.empty()) {
        state.SkipWithError("every message was lost");
        return;
    }
    reportMedianAndTail(state, micros);
    state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
    state.counters["lost"] = lost;
}

double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return fields.size() > 13 ? (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : -1;
}

void raiseOpenFilesLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace benchsupport
