// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The sensor library's own cost on whichever source the environment selects: one DLLInitial,
// and one tick's thirteen reading exports. Run it on a captured hwmon machine inside its
// namespace, and on a simulated board, to set the two side by side:
//   tests/gauge/hwmon_namespace.sh tests/gauge/fixtures/hwmon/nct6779-k10temp build/bin/bench_gauge_source
//   GAUGE64_BOARD=boards/winbond-w83627ehf.json build/bin/bench_gauge_source
// Reported per iteration: median and 99th percentile in microseconds, and the source line.

#include "bench_support.h"

#include <QCoreApplication>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Export = int32_t (*)();

const char* const kReadings[] = {"Vcore", "Vio",     "P5V",    "P12V",    "N12V",  "N5V", "Fan1",
                                 "Fan2",  "SysTemp", "CpuTemp", "P5VAmp", "P12VAmp", "PVbat"};

struct Library {
    void* handle = nullptr;
    Export initial = nullptr;
    Export release = nullptr;
    std::vector<Export> readings;
    std::string source;
};

Library& library()
{
    static Library loaded;
    return loaded;
}

void load()
{
    Library& l = library();
    l.handle = dlopen(VRD_BIN_DIR "/libGauge64.so", RTLD_NOW);
    if (!l.handle)
        return;
    l.initial = reinterpret_cast<Export>(dlsym(l.handle, "DLLInitial"));
    l.release = reinterpret_cast<Export>(dlsym(l.handle, "DLLRelease"));
    for (const char* name : kReadings)
        l.readings.push_back(reinterpret_cast<Export>(dlsym(l.handle, name)));
}

double microsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void BM_DLLInitial(benchmark::State& state)
{
    Library& l = library();
    if (!l.initial)
        return state.SkipWithError("libGauge64.so not loaded");
    std::vector<double> micros;
    int32_t status = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        status = l.initial();
        micros.push_back(microsSince(start));
    }
    benchsupport::reportMedianAndTail(state, micros);
    state.counters["status"] = status;
    char line[256] = {};
    if (auto source = reinterpret_cast<int32_t (*)(char*, uint32_t)>(dlsym(l.handle, "DLLSource")))
        source(line, sizeof line);
    state.SetLabel(line);
}
BENCHMARK(BM_DLLInitial)->Iterations(200)->Unit(benchmark::kMicrosecond);

void BM_ThirteenReads(benchmark::State& state)
{
    Library& l = library();
    if (!l.initial || l.initial() >= 256)
        return state.SkipWithError("DLLInitial found nothing to read");
    std::vector<double> micros;
    int64_t sum = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        for (Export reading : l.readings)
            sum += reading ? reading() : 0;
        micros.push_back(microsSince(start));
    }
    benchmark::DoNotOptimize(sum);
    benchsupport::reportMedianAndTail(state, micros);
}
BENCHMARK(BM_ThirteenReads)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return benchsupport::runUnderApplication<QCoreApplication>(argc, argv, load, [] {
        if (library().release)
            library().release();
    });
}
