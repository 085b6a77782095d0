// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Windows: the port-I/O driver is the one way to the chip; the library never copies or installs
// its file, so what is missing is the administrator's to provide.

#include "sensor_search.h"

#include "gauge64.h"

#include <cstdio>

void printSensorSearch(int32_t status, const char*)
{
    std::printf("Looked for:\n");
    if (status == GAUGE64_NO_DRIVER)
        std::printf("  port   the port-I/O driver could not be opened: its file must be in the Windows drivers\n"
                    "         folder (%s) and the program run with administrator rights\n",
                    sizeof(void*) == 8 ? "SYSTEM32\\DRIVERS\\PIOX64_1K.SYS" : "SYSTEM32\\DRIVERS\\PIOX32_1K.SYS");
    else
        std::printf("  port   the driver opened, but no supported chip answered at the Super I/O ports\n");
    std::printf("Try:\n"
                "  run gauge64-read.exe as administrator, with the driver file in place\n");
}
