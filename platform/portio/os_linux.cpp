// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The driver on Linux hardware: /dev/port serves the port requests and /dev/mem the memory
// request (both need root). There is no service manager, so the library can only use a
// device that the kernel already offers.

#include "os_api.h"
#include "requests.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace portio {

namespace {

class LinuxPortOs final : public OsApi {
public:
    bool isWow64() override { return sizeof(void*) == 8; }

    Handle openDevice(const char*, uint32_t shareMode) override
    {
        const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        // Share mode 0 asks for exclusive use among processes using the library.
        if (::flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        return new int(fd);
    }

    bool deviceIoControl(Handle device, uint32_t code, uint8_t* buffer, uint32_t length) override
    {
        if (!device)
            return false;
        const int fd = *static_cast<int*>(device);
        if (code == kPortAccess && length == kPortAccessLength)
            return portAccess(fd, buffer);
        if (code == kIndexedRead && length == kIndexedReadLength)
            return indexedRead(fd, buffer);
        if (code == kMemoryRead && length == kMemoryReadLength)
            return memoryRead(buffer);
        return false;
    }

    void closeDevice(Handle device) override
    {
        if (!device)
            return;
        int* fd = static_cast<int*>(device);
        ::close(*fd);
        delete fd;
    }

    Handle scmOpen() override { return nullptr; }
    Handle scmCreateService(Handle, const char*, const char*, uint32_t*) override { return nullptr; }
    Handle scmOpenService(Handle, const char*) override { return nullptr; }
    bool scmStartService(Handle) override { return false; }
    bool scmStopService(Handle) override { return false; }
    bool scmDeleteService(Handle) override { return false; }
    void scmClose(Handle) override {}

    void sleepMs(uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    void beep() override
    {
        if (::isatty(STDERR_FILENO))
            std::fputc('\a', stderr);
    }

private:
    static bool readByte(int fd, uint32_t port, uint8_t* value) { return ::pread(fd, value, 1, port) == 1; }
    static bool writeByte(int fd, uint32_t port, uint8_t value) { return ::pwrite(fd, &value, 1, port) == 1; }

    static bool portAccess(int fd, uint8_t* buffer)
    {
        const uint32_t port = get32(buffer, port_access::kPort) & 0xFFFF;
        if (buffer[port_access::kDirection] == port_access::kRead) {
            uint8_t value = 0;
            if (!readByte(fd, port, &value))
                return false;
            put32(buffer, port_access::kReadValue, value);
            return true;
        }
        return writeByte(fd, port, uint8_t(get32(buffer, port_access::kWriteValue)));
    }

    static bool indexedRead(int fd, uint8_t* buffer)
    {
        uint8_t value = 0;
        if (!writeByte(fd, get32(buffer, indexed_read::kIndexPort) & 0xFFFF, buffer[indexed_read::kRegister]) ||
            !readByte(fd, get32(buffer, indexed_read::kDataPort) & 0xFFFF, &value))
            return false;
        put32(buffer, indexed_read::kResult, value);
        return true;
    }

    static bool memoryRead(uint8_t* buffer)
    {
        const int fd = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        uint32_t count = get32(buffer, memory_read::kCount);
        if (count > kMemoryReadMax)
            count = kMemoryReadMax;
        const ssize_t got = ::pread(fd, buffer + memory_read::kData, count, off_t(get32(buffer, memory_read::kAddress)));
        ::close(fd);
        return got == ssize_t(count);
    }
};

} // namespace

std::unique_ptr<OsApi> makeNativeOs()
{
    return std::make_unique<LinuxPortOs>();
}

} // namespace portio
