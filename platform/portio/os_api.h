// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The operating-system calls the sensor library makes, behind one narrow interface, so the
// same library code runs on the Windows driver, on Linux /dev/port and on a simulated board.

#include <cstdint>
#include <memory>

namespace portio {

using Handle = void*;

constexpr uint32_t kErrorServiceExists = 1073; // ERROR_SERVICE_EXISTS

class OsApi {
public:
    virtual ~OsApi() = default;

    // True when the 64-bit driver names apply: a 32-bit process on 64-bit Windows (WOW64), or
    // any 64-bit process.
    virtual bool isWow64() = 0;

    // CreateFile(path, read|write, shareMode, OPEN_EXISTING); null on failure.
    virtual Handle openDevice(const char* path, uint32_t shareMode) = 0;
    // Buffered DeviceIoControl with one buffer as input and output of the same length.
    virtual bool deviceIoControl(Handle device, uint32_t code, uint8_t* buffer, uint32_t length) = 0;
    virtual void closeDevice(Handle device) = 0;

    // Service control manager; every call returns null or false on failure.
    virtual Handle scmOpen() = 0;
    // Creates a demand-start kernel-driver service; on failure *lastError says why.
    virtual Handle scmCreateService(Handle manager, const char* name, const char* binaryPath,
                                    uint32_t* lastError) = 0;
    virtual Handle scmOpenService(Handle manager, const char* name) = 0;
    virtual bool scmStartService(Handle service) = 0;
    virtual bool scmStopService(Handle service) = 0;
    virtual bool scmDeleteService(Handle service) = 0;
    virtual void scmClose(Handle handle) = 0;

    virtual void sleepMs(uint32_t milliseconds) = 0;
    virtual void beep() = 0;
};

// The implementation in force: a simulated board when GAUGE64_BOARD names a board file, else
// the driver (/dev/port on Linux); wrapped in a trace when GAUGE64_TRACE names a file. The choice is
// made again by select() whenever those variables changed since the last call.
OsApi& os();
void selectOs();

// Tests install their own implementation; null returns to the environment's choice.
void overrideOs(std::unique_ptr<OsApi> replacement);

std::unique_ptr<OsApi> makeNativeOs();
std::unique_ptr<OsApi> makeTraceOs(std::unique_ptr<OsApi> inner, const char* path);
std::unique_ptr<OsApi> makeSimBoardOs(const char* boardPath);

} // namespace portio
