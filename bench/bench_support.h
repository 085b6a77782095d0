// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What the benchmarks share: per-iteration timings turned into percentiles, the timed round trip
// of one message through the event loop, and the main() that runs them under a Qt application.

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <functional>
#include <vector>

namespace benchsupport {

// The value below which `fraction` of `values` lie (0.5 gives the median); values is not empty.
double percentile(std::vector<double> values, double fraction);

// The median and the 99th percentile of per-iteration microseconds as p50_us and p99_us.
void reportMedianAndTail(benchmark::State& state, const std::vector<double>& micros);

// One message per iteration: publish() sends it, then the event loop runs until `arrivals` has
// grown by one or lostAfterMs has passed. The iteration time is the time to the arrival; reported
// are p50_us, p99_us, max_us and the count of messages lost.
void measureRoundTrips(benchmark::State& state, const std::function<void()>& publish, const int& arrivals,
                       int lostAfterMs);

// User and system CPU seconds the process has used so far, from /proc; -1 when it cannot be read.
double processCpuSeconds(qint64 pid);

// Raises this process's open-files limit to its hard limit: a fleet takes a descriptor per link.
void raiseOpenFilesLimit();

// Runs the benchmarks the command line names while an Application (QCoreApplication or
// QApplication) exists: setUp before the first, tearDown after the last. Returns the exit code.
template <class Application>
int runUnderApplication(int argc, char** argv, const std::function<void()>& setUp = {},
                        const std::function<void()>& tearDown = {})
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Application app(argc, argv);
    if (setUp)
        setUp();
    benchmark::RunSpecifiedBenchmarks();
    if (tearDown)
        tearDown();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport
