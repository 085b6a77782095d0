// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#ifndef GAUGE64_H
#define GAUGE64_H
/*
 * Gauge64: reads the board's Super I/O hardware monitor through a port-I/O driver.
 *
 * Call DLLInitial once, then any reading as often as wanted, then DLLRelease. Every call
 * must come from one thread at a time. Readings are signed 32-bit integers: millivolts
 * (the -5 V and -12 V rails as positive magnitudes), revolutions per minute, or whole
 * degrees Celsius; 0 means "not available" (for temperatures 0 is also a valid reading).
 * Nothing is allocated or owned across this interface.
 */

#include <stdint.h>

#if defined(_WIN32)
#define GAUGE64_CALL __stdcall
#define GAUGE64_API
#else
#define GAUGE64_CALL
#define GAUGE64_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of DLLInitial: below 256 success, 256 and above failure. */
#define GAUGE64_FOUND 16       /* a chip family was recognised; its readers are installed */
#define GAUGE64_FOUND_ALT 4    /* the Winbond monitor at 0x295 with chip ID 0x10 or 0x11 */
#define GAUGE64_NO_CHIP 512    /* the driver is open but no family recognised its chip */
#define GAUGE64_NO_DRIVER 1024 /* the driver could not be opened or installed; a beep sounded */

/* How a host reads a status: it succeeded when bits 8 to 15 are all clear (every success code),
 * and failed otherwise (every failure code sets one of them). Macros only, so the export list
 * stays as it is. */
#define GAUGE64_SUCCEEDED(status) (((status) & 0xFF00) == 0)
#define GAUGE64_FAILED(status) (!GAUGE64_SUCCEEDED(status))

/* Opens the driver (installing its service if need be) and probes the chip families in a
 * fixed order. Returns a status code above. A second call closes the earlier driver first. */
GAUGE64_API int32_t GAUGE64_CALL DLLInitial(void);

/* Closes the driver (removing the service if this library installed it). Always 1; safe
 * before DLLInitial and when called twice. */
GAUGE64_API int32_t GAUGE64_CALL DLLRelease(void);

/* Readings. Each returns 0 before DLLInitial, after DLLRelease and when the detected family
 * does not supply it. P5VAmp and P12VAmp are supplied by no family. */
GAUGE64_API int32_t GAUGE64_CALL Vcore(void);   /* processor core, mV */
GAUGE64_API int32_t GAUGE64_CALL Vio(void);     /* I/O rail, mV */
GAUGE64_API int32_t GAUGE64_CALL P5V(void);     /* +5 V rail, mV */
GAUGE64_API int32_t GAUGE64_CALL P12V(void);    /* +12 V rail, mV */
GAUGE64_API int32_t GAUGE64_CALL N12V(void);    /* -12 V rail magnitude, mV */
GAUGE64_API int32_t GAUGE64_CALL N5V(void);     /* -5 V rail magnitude, mV */
GAUGE64_API int32_t GAUGE64_CALL Fan1(void);    /* processor fan, RPM */
GAUGE64_API int32_t GAUGE64_CALL Fan2(void);    /* system fan, RPM */
GAUGE64_API int32_t GAUGE64_CALL SysTemp(void); /* system temperature, degrees C */
GAUGE64_API int32_t GAUGE64_CALL CpuTemp(void); /* processor temperature, degrees C */
GAUGE64_API int32_t GAUGE64_CALL P5VAmp(void);
GAUGE64_API int32_t GAUGE64_CALL P12VAmp(void);
GAUGE64_API int32_t GAUGE64_CALL PVbat(void);   /* backup battery, mV */

/* Copies min(length, 1024) bytes of physical memory at address into buffer (the caller's
 * memory, at least that long). Returns 1 when the read was issued, whatever the driver
 * made of it, and 0 when the driver is not open (buffer untouched). */
GAUGE64_API int32_t GAUGE64_CALL PMemRead(uint32_t address, void* buffer, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
