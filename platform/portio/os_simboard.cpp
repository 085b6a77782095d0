// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The driver stand-in that simulates a board file: the device and the driver service behave
// as on Windows, and every request acts on the simulated chips.

#include "os_api.h"
#include "requests.h"
#include "watched_board.h"

#include <chrono>
#include <set>
#include <thread>

namespace portio {

namespace {

class SimBoardOs final : public OsApi {
public:
    explicit SimBoardOs(const char* path) : watched_(path) {}

    bool isWow64() override
    {
        SimBoard* board = watched_.board();
        return board ? board->driver().wow64 : true;
    }

    Handle openDevice(const char*, uint32_t) override
    {
        SimBoard* board = watched_.board();
        if (!board || board->driver().service != ServiceState::Running || board->driver().held)
            return nullptr;
        Handle handle = token(nextDevice_++);
        devices_.insert(handle);
        return handle;
    }

    bool deviceIoControl(Handle device, uint32_t code, uint8_t* buffer, uint32_t length) override
    {
        SimBoard* board = watched_.board();
        if (!board || !devices_.count(device))
            return false;
        if (code == kPortAccess && length == kPortAccessLength)
            return portAccess(*board, buffer);
        if (code == kIndexedRead && length == kIndexedReadLength)
            return indexedRead(*board, buffer);
        if (code == kMemoryRead && length == kMemoryReadLength)
            return memoryRead(*board, buffer);
        return false;
    }

    void closeDevice(Handle device) override { devices_.erase(device); }

    Handle scmOpen() override
    {
        SimBoard* board = watched_.board();
        return board && board->driver().managerAvailable ? kManager : nullptr;
    }

    Handle scmCreateService(Handle manager, const char*, const char*, uint32_t* lastError) override
    {
        SimDriver* driver = driverFor(manager);
        if (!driver)
            return nullptr;
        if (driver->service != ServiceState::Absent) {
            *lastError = kErrorServiceExists;
            return nullptr;
        }
        driver->service = ServiceState::Stopped;
        return kService;
    }

    Handle scmOpenService(Handle manager, const char*) override
    {
        SimDriver* driver = driverFor(manager);
        return driver && driver->service != ServiceState::Absent ? kService : nullptr;
    }

    bool scmStartService(Handle service) override
    {
        SimDriver* driver = driverFor(service);
        if (!driver || !driver->startSucceeds || driver->service != ServiceState::Stopped)
            return false;
        driver->service = ServiceState::Running;
        return true;
    }

    bool scmStopService(Handle service) override
    {
        SimDriver* driver = driverFor(service);
        if (!driver || driver->service != ServiceState::Running)
            return false;
        driver->service = ServiceState::Stopped;
        return true;
    }

    bool scmDeleteService(Handle service) override
    {
        SimDriver* driver = driverFor(service);
        if (!driver || driver->service == ServiceState::Absent)
            return false;
        driver->service = ServiceState::Absent;
        return true;
    }

    void scmClose(Handle) override {}
    void sleepMs(uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    void beep() override {}

private:
    static Handle token(uintptr_t value) { return reinterpret_cast<Handle>(value); }
    static inline const Handle kManager = token(0x5C00);
    static inline const Handle kService = token(0x5C01);

    SimDriver* driverFor(Handle handle)
    {
        SimBoard* board = watched_.board();
        if (!board || (handle != kManager && handle != kService))
            return nullptr;
        return &board->driver();
    }

    static bool portAccess(SimBoard& board, uint8_t* buffer)
    {
        const auto port = uint16_t(get32(buffer, port_access::kPort));
        if (buffer[port_access::kWidth] != 1)
            return false;
        if (buffer[port_access::kDirection] == port_access::kRead) {
            put32(buffer, port_access::kReadValue, board.in(port));
            return true;
        }
        if (buffer[port_access::kDirection] == port_access::kWrite) {
            board.out(port, uint8_t(get32(buffer, port_access::kWriteValue)));
            return true;
        }
        return false;
    }

    static bool indexedRead(SimBoard& board, uint8_t* buffer)
    {
        const auto indexPort = uint16_t(get32(buffer, indexed_read::kIndexPort));
        const auto dataPort = uint16_t(get32(buffer, indexed_read::kDataPort));
        board.out(indexPort, buffer[indexed_read::kRegister]);
        put32(buffer, indexed_read::kResult, board.in(dataPort));
        return true;
    }

    static bool memoryRead(SimBoard& board, uint8_t* buffer)
    {
        uint32_t count = get32(buffer, memory_read::kCount);
        if (count > kMemoryReadMax)
            count = kMemoryReadMax;
        board.readMemory(get32(buffer, memory_read::kAddress), buffer + memory_read::kData, count);
        return true;
    }

    WatchedBoard watched_;
    std::set<Handle> devices_;
    uintptr_t nextDevice_ = 0xD000;
};

} // namespace

std::unique_ptr<OsApi> makeSimBoardOs(const char* boardPath)
{
    return std::make_unique<SimBoardOs>(boardPath);
}

} // namespace portio
