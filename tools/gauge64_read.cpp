// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// gauge64-read: the first thing to run on a machine. Loads the sensor library the way the
// client does, initialises it and prints the status, the source it chose with the devices it
// reads there, and the thirteen readings; when it found no sensor, what it looked for and what
// to try instead.

#include "gauge64.h"
#include "gauge_lookup.h"
#include "sensor_search.h"
#include "shared_library.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Reading = int32_t(GAUGE64_CALL*)();

enum class Unit { Millivolts, Rpm, Celsius };

struct ReadingRow {
    const char* name;
    Unit unit;
    const char* meaning;
};

const ReadingRow kReadings[] = {
    {"Vcore", Unit::Millivolts, "processor core"},   {"Vio", Unit::Millivolts, "I/O rail"},
    {"P5V", Unit::Millivolts, "+5 V rail"},          {"P12V", Unit::Millivolts, "+12 V rail"},
    {"N12V", Unit::Millivolts, "-12 V rail"},        {"N5V", Unit::Millivolts, "-5 V rail"},
    {"Fan1", Unit::Rpm, "processor fan"},            {"Fan2", Unit::Rpm, "system fan"},
    {"SysTemp", Unit::Celsius, "system"},            {"CpuTemp", Unit::Celsius, "processor"},
    {"P5VAmp", Unit::Millivolts, "+5 V current"},    {"P12VAmp", Unit::Millivolts, "+12 V current"},
    {"PVbat", Unit::Millivolts, "backup battery"},
};
constexpr int kReadingCount = int(sizeof kReadings / sizeof kReadings[0]);

const char* statusMeaning(int32_t status)
{
    switch (status) {
    case GAUGE64_FOUND:
        return "chip found";
    case GAUGE64_FOUND_ALT:
        return "chip found (Winbond monitor at 0x295)";
    case GAUGE64_NO_CHIP:
        return "driver open, no supported chip";
    case GAUGE64_NO_DRIVER:
        return "port-I/O driver could not be opened";
    default:
        return GAUGE64_FAILED(status) ? "failure" : "chip found";
    }
}

// Where every program looks for it (gauge_lookup.h).
void* loadLibrary()
{
    for (const std::string& path : gaugeLibraryFiles(loader::programDirectory()))
        if (void* handle = loader::open(path))
            return handle;
    return nullptr;
}

// The library's own line naming its source ("hwmon: nct6775-isa-0290, k10temp-pci-00c3");
// empty from a library that does not say.
using SourceExport = int32_t (*)(char*, uint32_t);

std::string sourceLine(void* library)
{
    auto source = reinterpret_cast<SourceExport>(loader::symbol(library, "DLLSource"));
    if (!source)
        return {};
    const int32_t length = source(nullptr, 0);
    if (length <= 0)
        return {};
    std::string line(std::size_t(length) + 1, '\0');
    source(line.data(), uint32_t(line.size()));
    line.resize(std::size_t(length));
    return line;
}

struct SourceKind {
    const char* prefix; // as the line starts
    const char* json;
    bool listsDevices;  // hwmon names several devices; the others name one thing
};
const SourceKind kSourceKinds[] = {
    {"hwmon: ", "hwmon", true},
    {"port: ", "port", false},
    {"simulated board: ", "board", false},
};

struct Source {
    const char* kind = "";
    std::vector<std::string> devices;
};

Source parseSource(const std::string& line)
{
    Source source;
    for (const SourceKind& kind : kSourceKinds) {
        const std::string prefix = kind.prefix;
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        source.kind = kind.json;
        std::string rest = line.substr(prefix.size());
        if (rest == "none")
            return source;
        for (std::size_t comma; kind.listsDevices && (comma = rest.find(", ")) != std::string::npos;) {
            source.devices.push_back(rest.substr(0, comma));
            rest.erase(0, comma + 2);
        }
        source.devices.push_back(rest);
        return source;
    }
    return source;
}

// Printed instead of a table of zeros when the library found no sensor: where it looked, what
// it found there, and what to try.
void printNoSensor(int32_t status, const Source& source)
{
    std::printf("status %d: no sensor found\n", status);
    if (std::strcmp(source.kind, "board") == 0) {
        std::printf("  the simulated board %s could not be read (GAUGE64_BOARD)\n",
                    source.devices.empty() ? "" : source.devices.front().c_str());
        return;
    }
    printSensorSearch(status, source.kind);
}

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void printText(int32_t status, const std::string& source, const int32_t* values)
{
    std::printf("status %d: %s\n", status, statusMeaning(status));
    if (!source.empty())
        std::printf("%s\n", source.c_str());
    for (int i = 0; i < kReadingCount; ++i) {
        const ReadingRow& row = kReadings[i];
        switch (row.unit) {
        case Unit::Millivolts:
            std::printf("  %-8s %9.3f V     %s\n", row.name, values[i] / 1000.0, row.meaning);
            break;
        case Unit::Rpm:
            std::printf("  %-8s %9d RPM   %s\n", row.name, values[i], row.meaning);
            break;
        case Unit::Celsius:
            std::printf("  %-8s %9d 'C    %s\n", row.name, values[i], row.meaning);
            break;
        }
    }
}

void printJson(int32_t status, const std::string& line, const int32_t* values)
{
    std::printf("{\"status\":%d,\"meaning\":\"%s\"", status, statusMeaning(status));
    if (!line.empty()) {
        const Source source = parseSource(line);
        std::printf(",\"source\":\"%s\",\"devices\":[", source.kind);
        for (std::size_t i = 0; i < source.devices.size(); ++i)
            std::printf("%s%s", i ? "," : "", jsonString(source.devices[i]).c_str());
        std::printf("]");
    }
    for (int i = 0; i < kReadingCount; ++i)
        std::printf(",\"%s\":%d", kReadings[i].name, values[i]);
    std::printf("}\n");
}

int usage(std::FILE* stream, int exitStatus)
{
    std::fprintf(stream, "usage: gauge64-read [--watch] [--json] | --help\n"
                         "  Reads the board's hardware monitor through the sensor library (%s).\n"
                         "  GAUGE64_SOURCE=hwmon|port forces the kernel's hwmon drivers or the port path;\n"
                         "  GAUGE64_BOARD=<file> simulates a board; GAUGE64_TRACE=<file> logs every driver call.\n",
                 loader::kGaugeFileName);
    return std::ferror(stream) ? 1 : exitStatus;
}

} // namespace

int main(int argc, char** argv)
{
    bool watch = false;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--watch") == 0)
            watch = true;
        else if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return usage(stdout, 0);
        else
            return usage(stderr, 2);
    }
    void* library = loadLibrary();
    if (!library) {
        std::fprintf(stderr, "gauge64-read: cannot load %s: %s\n", loader::kGaugeFileName, loader::lastError().c_str());
        return 1;
    }
    auto initial = reinterpret_cast<Reading>(loader::symbol(library, "DLLInitial"));
    auto release = reinterpret_cast<Reading>(loader::symbol(library, "DLLRelease"));
    Reading readers[kReadingCount] = {};
    for (int i = 0; i < kReadingCount; ++i)
        readers[i] = reinterpret_cast<Reading>(loader::symbol(library, kReadings[i].name));
    if (!initial || !release) {
        std::fprintf(stderr, "gauge64-read: %s lacks DLLInitial or DLLRelease\n", loader::kGaugeFileName);
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    const int32_t status = initial();
    const std::string source = sourceLine(library);
    if (GAUGE64_FAILED(status) && !json) {
        printNoSensor(status, parseSource(source));
        release();
        loader::close(library);
        return 1;
    }
    do {
        int32_t values[kReadingCount] = {};
        for (int i = 0; i < kReadingCount; ++i)
            values[i] = readers[i] ? readers[i]() : 0;
        json ? printJson(status, source, values) : printText(status, source, values);
        std::fflush(stdout);
        for (int tick = 0; watch && !g_stop && tick < 10; ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (watch && !g_stop);
    release();
    loader::close(library);
    return GAUGE64_FAILED(status) ? 1 : 0;
}
