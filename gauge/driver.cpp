// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "driver.h"

#include "os_api.h"
#include "requests.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace gauge {

namespace {

PortIoDriver* g_driver = nullptr;

constexpr uint32_t kDelayPort = 0xEB;
constexpr int kBusyChecks = 20;
constexpr int kIndexedBusyChecks = 5;
constexpr uint32_t kIndexedBusySleepMs = 10;
constexpr int kDelayReads = 4;
constexpr uint8_t kBusyBit = 0x80;

// Share modes of CreateFile: the first open asks for exclusive use, the one after an
// install shares read and write.
constexpr uint32_t kShareExclusive = 0;
constexpr uint32_t kShareReadWrite = 0x1 | 0x2;

struct DriverNames {
    const char* device;
    const char* binaryPath;
    const char* service; // also the display name
};

// The library is 32-bit code: under WOW64 the 64-bit driver is the one that runs.
constexpr DriverNames kNames64 = {"\\\\.\\PIOX64_1K", "SYSTEM32\\DRIVERS\\PIOX64_1K.SYS", "PIOX64"};
constexpr DriverNames kNames32 = {"\\\\.\\PIOX32_1K", "SYSTEM32\\DRIVERS\\PIOX32_1K.SYS", "PIOX32_1K"};

const DriverNames& driverNames()
{
    return portio::os().isWow64() ? kNames64 : kNames32;
}

bool driverReady()
{
    return g_driver && g_driver->isOpen;
}

template <std::size_t Length>
bool send(uint32_t code, std::array<uint8_t, Length>& buffer)
{
    return portio::os().deviceIoControl(g_driver->handle, code, buffer.data(), uint32_t(Length));
}

void delayReads()
{
    for (int i = 0; i < kDelayReads; ++i)
        PortIn(kDelayPort);
}

// Bit 7 of the address port is the monitor's busy flag. After the last check the access
// goes ahead whatever the flag says.
void busyWait(uint32_t addrPort)
{
    for (int check = 1; check <= kBusyChecks; ++check) {
        if (!(PortIn(addrPort) & kBusyBit) || check == kBusyChecks)
            return;
        PortIn(kDelayPort);
    }
}

void selectRegister(uint32_t addrPort, uint32_t index)
{
    PortOut(addrPort, uint8_t(index & 0xFF));
    delayReads();
}

} // namespace

PortIoDriver* driver()
{
    return g_driver;
}

void createDriver()
{
    g_driver = new PortIoDriver();
}

void destroyDriver()
{
    delete g_driver;
    g_driver = nullptr;
}

void PortOut(uint32_t port, uint8_t value)
{
    if (!driverReady())
        return;
    std::array<uint8_t, portio::kPortAccessLength> buffer{};
    portio::put32(buffer.data(), portio::port_access::kPort, port);
    buffer[portio::port_access::kWidth] = 1;
    buffer[portio::port_access::kDirection] = portio::port_access::kWrite;
    portio::put32(buffer.data(), portio::port_access::kWriteValue, value);
    send(portio::kPortAccess, buffer);
}

uint8_t PortIn(uint32_t port)
{
    if (!driverReady())
        return 0;
    std::array<uint8_t, portio::kPortAccessLength> buffer{};
    portio::put32(buffer.data(), portio::port_access::kPort, port);
    buffer[portio::port_access::kWidth] = 1;
    buffer[portio::port_access::kDirection] = portio::port_access::kRead;
    send(portio::kPortAccess, buffer);
    return buffer[portio::port_access::kReadValue];
}

uint8_t HwmRead(uint32_t addrPort, uint32_t index)
{
    busyWait(addrPort);
    return HwmReadDirect(addrPort, index);
}

void HwmWrite(uint32_t addrPort, uint32_t index, uint8_t value)
{
    busyWait(addrPort);
    HwmWriteDirect(addrPort, index, value);
}

uint8_t HwmReadDirect(uint32_t addrPort, uint32_t index)
{
    selectRegister(addrPort, index);
    return PortIn(addrPort + 1);
}

void HwmWriteDirect(uint32_t addrPort, uint32_t index, uint8_t value)
{
    selectRegister(addrPort, index);
    PortOut(addrPort + 1, value);
}

uint8_t HwmIndexedRead(uint32_t addrPort, uint32_t index)
{
    if (!driverReady())
        return 0;
    for (int check = 0; check < kIndexedBusyChecks; ++check) {
        if (!(PortIn(addrPort) & kBusyBit))
            break;
        portio::os().sleepMs(kIndexedBusySleepMs);
    }
    std::array<uint8_t, portio::kIndexedReadLength> buffer{};
    portio::put32(buffer.data(), portio::indexed_read::kIndexPort, addrPort);
    portio::put32(buffer.data(), portio::indexed_read::kDataPort, addrPort + 1);
    std::memcpy(buffer.data() + portio::indexed_read::kFixed, portio::indexed_read::kFixedBytes, 4);
    buffer[portio::indexed_read::kRegister] = uint8_t(index & 0xFF);
    send(portio::kIndexedRead, buffer);
    return buffer[portio::indexed_read::kResult];
}

int ServiceInstall(const char* binaryPath, const char* serviceName)
{
    portio::OsApi& os = portio::os();
    portio::Handle manager = os.scmOpen();
    if (!manager)
        return 1;
    uint32_t lastError = 0;
    portio::Handle service = os.scmCreateService(manager, serviceName, binaryPath, &lastError);
    if (!service) {
        service = lastError == portio::kErrorServiceExists ? os.scmOpenService(manager, serviceName) : nullptr;
        if (!service) {
            os.scmClose(manager);
            return 1;
        }
    }
    const int started = os.scmStartService(service) ? 1 : 0;
    os.scmClose(service);
    os.scmClose(manager);
    return started;
}

int ServiceRemove(const char* serviceName)
{
    portio::OsApi& os = portio::os();
    portio::Handle manager = os.scmOpen();
    if (!manager)
        return 0;
    portio::Handle service = os.scmOpenService(manager, serviceName);
    if (!service) {
        os.scmClose(manager);
        return 0;
    }
    const bool removed = os.scmStopService(service) && os.scmDeleteService(service);
    os.scmClose(service);
    os.scmClose(manager);
    return removed ? 1 : 0;
}

void DriverOpen()
{
    if (!g_driver || g_driver->handle)
        return;
    portio::OsApi& os = portio::os();
    const DriverNames& names = driverNames();
    g_driver->handle = os.openDevice(names.device, kShareExclusive);
    if (g_driver->handle) {
        g_driver->isOpen = 1;
        return;
    }
    g_driver->serviceInstalled = ServiceInstall(names.binaryPath, names.service);
    if (!g_driver->serviceInstalled) {
        g_driver->isOpen = 0;
        return;
    }
    g_driver->handle = os.openDevice(names.device, kShareReadWrite);
    g_driver->isOpen = g_driver->handle ? 1 : 0;
}

void DriverClose()
{
    if (!g_driver || !g_driver->handle)
        return;
    portio::os().closeDevice(g_driver->handle);
    g_driver->handle = nullptr;
    if (g_driver->serviceInstalled == 1) {
        ServiceRemove(driverNames().service);
        g_driver->serviceInstalled = 0;
    }
    g_driver->isOpen = 0;
}

int32_t MemoryCopy(uint32_t address, void* buffer, uint32_t length)
{
    if (!driverReady())
        return 0;
    std::array<uint8_t, portio::kMemoryReadLength> request{};
    portio::put32(request.data(), portio::memory_read::kAddress, address);
    request[portio::memory_read::kZero] = 0;
    request[portio::memory_read::kRead] = 1;
    const uint32_t asked = length <= portio::kMemoryReadMax ? length : portio::kMemoryReadMax;
    portio::put32(request.data(), portio::memory_read::kCount, asked);
    send(portio::kMemoryRead, request);
    // The count comes back from the driver: never trust it beyond what the caller's buffer holds.
    const uint32_t copied = std::min(portio::get32(request.data(), portio::memory_read::kCount), asked);
    if (copied > 0 && buffer)
        std::memcpy(buffer, request.data() + portio::memory_read::kData, copied);
    return 1;
}

} // namespace gauge
