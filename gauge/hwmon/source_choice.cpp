// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "source_choice.h"

#include "gauge64.h"
#include "hwmon_source.h"
#include "source_text.h"

#include <cstdlib>
#include <cstring>

namespace gauge::hwmon {

namespace {

enum class Wanted { Automatic, Hwmon, Port };

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

Wanted wanted()
{
    if (isSet("GAUGE64_BOARD"))
        return Wanted::Port;
    const char* forced = std::getenv("GAUGE64_SOURCE");
    if (forced && std::strcmp(forced, "port") == 0)
        return Wanted::Port;
    if (forced && std::strcmp(forced, "hwmon") == 0)
        return Wanted::Hwmon;
    return Wanted::Automatic;
}

} // namespace

std::optional<int32_t> startHwmonSource(ReadingTable& table)
{
    const Wanted choice = wanted();
    if (choice == Wanted::Port)
        return std::nullopt;
    switch (open()) {
    case OpenResult::Found:
        install(table);
        recordSource(kSourceHwmon, deviceNames());
        return GAUGE64_FOUND;
    case OpenResult::NoMappedDevice:
        if (choice != Wanted::Hwmon)
            return std::nullopt;
        recordSource(kSourceHwmon, {});
        return GAUGE64_NO_CHIP;
    case OpenResult::Unavailable:
        if (choice != Wanted::Hwmon)
            return std::nullopt;
        recordSource(kSourceHwmon, {});
        return GAUGE64_NO_DRIVER;
    case OpenResult::Broken:
        // Kernel drivers may own the chips; without libsensors we cannot tell, so no probing.
        recordSource(kSourceHwmon, {});
        return GAUGE64_NO_DRIVER;
    }
    return std::nullopt;
}

} // namespace gauge::hwmon
