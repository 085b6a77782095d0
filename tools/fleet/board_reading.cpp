// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "board_reading.h"

#include <QCoreApplication>
#include <QLibrary>

#include <cstdint>

namespace {

using GaugeFunction = int32_t (*)();

// The library's reading exports and the sensor each fills.
struct Export {
    const char* name;
    SensorType type;
};

constexpr Export kReadings[] = {
    {"Vcore", SensorVcore},     {"Vio", SensorVio},         {"P5V", SensorP5V},   {"P12V", SensorP12V},
    {"N5V", SensorN5V},         {"N12V", SensorN12V},       {"CpuTemp", SensorCpuTemp},
    {"SysTemp", SensorSysTemp}, {"Fan1", SensorCpuFan},     {"Fan2", SensorSysFan},
};

// The rails a board may lack: switched off when they read below kRailPresentMillivolts.
constexpr SensorType kOptionalRails[] = {SensorP5V, SensorP12V, SensorN5V, SensorN12V};

// A status whose bits 8 to 15 are clear means a chip was found.
constexpr bool started(int32_t status)
{
    return (status & 0xFF00) == 0;
}

} // namespace

std::optional<SensorSnapshot> readBoard(const QString& boardFile)
{
    qputenv("GAUGE64_BOARD", boardFile.toLocal8Bit());
    QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/Gauge64"));
    if (!library.load()) {
        library.setFileName(QStringLiteral("Gauge64"));
        if (!library.load())
            return std::nullopt;
    }
    const auto initial = reinterpret_cast<GaugeFunction>(library.resolve("DLLInitial"));
    const auto release = reinterpret_cast<GaugeFunction>(library.resolve("DLLRelease"));
    if (!initial || !started(initial()))
        return std::nullopt;
    SensorSnapshot snapshot;
    for (const Export& reading : kReadings) {
        const auto read = reinterpret_cast<GaugeFunction>(library.resolve(reading.name));
        snapshot.*sensorFields(reading.type)->reading = read ? int16_t(read()) : 0;
    }
    for (SensorType rail : kOptionalRails) {
        const SensorFields& fields = *sensorFields(rail);
        if (snapshot.*fields.reading < kRailPresentMillivolts)
            snapshot.*fields.enabled = 0;
    }
    if (release)
        release();
    library.unload();
    return snapshot;
}
