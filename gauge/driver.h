// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Access to the port-I/O driver: the driver object, its open and close sequences with the
// service install and removal, and the byte-level helpers every chip family is written on.

#include <cstdint>

namespace gauge {

struct PortIoDriver {
    void* handle = nullptr;
    int32_t isOpen = 0;
    int32_t serviceInstalled = 0; // this library installed the service and must remove it
};

// The library-wide driver object; null before DLLInitial and after DLLRelease.
PortIoDriver* driver();
void createDriver();
void destroyDriver();

void DriverOpen();
void DriverClose();
int ServiceInstall(const char* binaryPath, const char* serviceName);
int ServiceRemove(const char* serviceName);

// Every helper sends nothing and reads 0 while there is no open driver.
void PortOut(uint32_t port, uint8_t value);
uint8_t PortIn(uint32_t port);

// Waited access through an index/data pair (data port = addrPort + 1): at most 20 busy
// checks of bit 7, the index (low 8 bits only), four delay reads of port 0xEB, the data.
uint8_t HwmRead(uint32_t addrPort, uint32_t index);
void HwmWrite(uint32_t addrPort, uint32_t index, uint8_t value);
// The same without the busy wait.
uint8_t HwmReadDirect(uint32_t addrPort, uint32_t index);
void HwmWriteDirect(uint32_t addrPort, uint32_t index, uint8_t value);
// One IndexedRead request after at most five busy checks, sleeping 10 ms after each busy one.
uint8_t HwmIndexedRead(uint32_t addrPort, uint32_t index);

// Copies up to 1024 bytes of physical memory; 0 when the driver is not open.
int32_t MemoryCopy(uint32_t address, void* buffer, uint32_t length);

} // namespace gauge
