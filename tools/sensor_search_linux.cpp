// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Linux: the kernel's hwmon devices first, then the port path through /dev/port.

#include "sensor_search.h"

#include "gauge64.h"
#include "sensor_paths.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kHwmonClass[] = "/sys/class/hwmon";

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

// What the port path came to, by the source the library ended on and its status.
struct PortOutcome {
    const char* source;
    int32_t status;
    const char* text;
};
const PortOutcome kPortOutcomes[] = {
    {"port", GAUGE64_NO_DRIVER, "/dev/port could not be opened: the port path needs root and CAP_SYS_RAWIO"},
    {"port", GAUGE64_NO_CHIP, "/dev/port opened, but no supported chip answered at the Super I/O ports"},
    {"hwmon", GAUGE64_NO_CHIP, "not tried (GAUGE64_SOURCE=hwmon)"},
    {"hwmon", GAUGE64_NO_DRIVER, "not tried: libsensors could not start (see /etc/sensors3.conf and /etc/sensors.d)"},
};

} // namespace

void printSensorSearch(int32_t status, const char* sourceKind)
{
    const std::vector<std::string> devices = searchSensorPaths(kHwmonClass).hwmonDevices;
    const char* forced = std::getenv("GAUGE64_SOURCE");
    std::printf("Looked for:\n");
    if (forced && std::strcmp(forced, "port") == 0)
        std::printf("  hwmon  not tried (GAUGE64_SOURCE=port)\n");
    else if (devices.empty())
        std::printf("  hwmon  %s holds no device: no kernel driver for the board's monitor is loaded\n", kHwmonClass);
    else
        std::printf("  hwmon  %s holds %s: none of them from a driver the library reads\n", kHwmonClass,
                    joined(devices).c_str());
    for (const PortOutcome& outcome : kPortOutcomes)
        if (std::strcmp(outcome.source, sourceKind) == 0 && outcome.status == status) {
            std::printf("  port   %s", outcome.text);
            std::printf("\n");
            if (status == GAUGE64_NO_DRIVER && std::strcmp(sourceKind, "port") == 0 && geteuid() != 0)
                std::printf("         (this is user %u, not root)\n", unsigned(geteuid()));
            else if (status == GAUGE64_NO_DRIVER && std::strcmp(sourceKind, "port") == 0)
                std::printf("         (as root: a container, or the kernel's lockdown under Secure Boot, refuses it)\n");
        }
    std::printf("Try:\n"
                "  sudo sensors-detect   finds the board's monitor chip and names its kernel module; load it\n"
                "                        (sudo modprobe <module>) and run gauge64-read again, as any user\n"
                "  the port path         for a chip that no kernel driver serves: gauge64-read as root; for the\n"
                "                        service, the drop-in " VRD_INSTALLED_DOCDIR "/examples/port-access.conf\n");
}

