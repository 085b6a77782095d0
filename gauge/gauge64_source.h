// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#ifndef GAUGE64_SOURCE_H
#define GAUGE64_SOURCE_H
/*
 * Linux only, beside the contract of gauge64.h: which source the last DLLInitial chose.
 * Resolve it by name and treat its absence as "not said" (the Windows library lacks it).
 */

#include <stdint.h>

#ifndef _WIN32

#ifdef __cplusplus
extern "C" {
#endif

/* Copies the line that names the source and what it reads there into buffer: "hwmon: " and
 * the devices separated by ", " ("hwmon: nct6775-isa-0290, k10temp-pci-00c3"), "port: " and
 * the chip family ("port: Fintek F81865"), "simulated board: " and the board file; "none"
 * in place of the devices when nothing was found ("port: none"). At most
 * length bytes are written, the terminating NUL included, the line cut short when longer;
 * buffer may be null when length is 0. Returns the line's full length without
 * the NUL; 0 (an empty line) before DLLInitial and after DLLRelease. */
__attribute__((visibility("default"))) int32_t DLLSource(char* buffer, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif

#endif
