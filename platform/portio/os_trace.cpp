// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Wraps any driver stand-in and appends one line per OS call to a trace file, so tests and
// users can see exactly what the library asked of the hardware.

#include "os_api.h"
#include "requests.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <string>

namespace portio {

namespace {

class TraceOs final : public OsApi {
public:
    TraceOs(std::unique_ptr<OsApi> inner, const char* path)
        : inner_(std::move(inner)), file_(std::fopen(path, "a"))
    {
    }
    ~TraceOs() override
    {
        if (file_)
            std::fclose(file_);
    }

    bool isWow64() override { return inner_->isWow64(); }

    Handle openDevice(const char* path, uint32_t shareMode) override
    {
        Handle handle = inner_->openDevice(path, shareMode);
        line("open %s share=0x%x %s", path, shareMode, handle ? "ok" : "fail");
        return handle;
    }

    bool deviceIoControl(Handle device, uint32_t code, uint8_t* buffer, uint32_t length) override
    {
        const bool ok = inner_->deviceIoControl(device, code, buffer, length);
        if (code == kPortAccess && length == kPortAccessLength)
            tracePortAccess(buffer);
        else if (code == kIndexedRead && length == kIndexedReadLength)
            line("indexed 0x%x 0x%x 0x%x 0x%x", get32(buffer, indexed_read::kIndexPort),
                 get32(buffer, indexed_read::kDataPort), buffer[indexed_read::kRegister],
                 get32(buffer, indexed_read::kResult) & 0xFF);
        else if (code == kMemoryRead && length == kMemoryReadLength)
            line("memory 0x%x %u", get32(buffer, memory_read::kAddress), get32(buffer, memory_read::kCount));
        return ok;
    }

    void closeDevice(Handle device) override
    {
        inner_->closeDevice(device);
        line("close");
    }

    Handle scmOpen() override
    {
        Handle manager = inner_->scmOpen();
        line("scm-open %s", manager ? "ok" : "fail");
        return manager;
    }

    Handle scmCreateService(Handle manager, const char* name, const char* binaryPath, uint32_t* lastError) override
    {
        *lastError = 0;
        Handle service = inner_->scmCreateService(manager, name, binaryPath, lastError);
        const char* outcome = service ? "ok" : (*lastError == kErrorServiceExists ? "exists" : "fail");
        line("scm-create %s %s %s", name, binaryPath, outcome);
        remember(service, name);
        return service;
    }

    Handle scmOpenService(Handle manager, const char* name) override
    {
        Handle service = inner_->scmOpenService(manager, name);
        line("scm-open-service %s %s", name, service ? "ok" : "fail");
        remember(service, name);
        return service;
    }

    bool scmStartService(Handle service) override
    {
        return outcome("scm-start", service, inner_->scmStartService(service));
    }
    bool scmStopService(Handle service) override
    {
        return outcome("scm-stop", service, inner_->scmStopService(service));
    }
    bool scmDeleteService(Handle service) override
    {
        return outcome("scm-delete", service, inner_->scmDeleteService(service));
    }

    void scmClose(Handle handle) override
    {
        names_.erase(handle);
        inner_->scmClose(handle);
    }

    void sleepMs(uint32_t milliseconds) override
    {
        line("sleep %u", milliseconds);
        inner_->sleepMs(milliseconds);
    }

    void beep() override
    {
        line("beep");
        inner_->beep();
    }

private:
    void tracePortAccess(const uint8_t* buffer)
    {
        const uint32_t port = get32(buffer, port_access::kPort);
        if (buffer[port_access::kDirection] == port_access::kRead)
            line("in 0x%x 0x%x", port, get32(buffer, port_access::kReadValue) & 0xFF);
        else
            line("out 0x%x 0x%x", port, get32(buffer, port_access::kWriteValue) & 0xFF);
    }

    bool outcome(const char* verb, Handle service, bool ok)
    {
        const auto name = names_.find(service);
        line("%s %s %s", verb, name == names_.end() ? "?" : name->second.c_str(), ok ? "ok" : "fail");
        return ok;
    }

    void remember(Handle service, const char* name)
    {
        if (service)
            names_[service] = name;
    }

    void line(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!file_)
            return;
        va_list args;
        va_start(args, format);
        std::vfprintf(file_, format, args);
        va_end(args);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

    std::unique_ptr<OsApi> inner_;
    std::FILE* file_;
    std::map<Handle, std::string> names_;
};

} // namespace

std::unique_ptr<OsApi> makeTraceOs(std::unique_ptr<OsApi> inner, const char* path)
{
    return std::make_unique<TraceOs>(std::move(inner), path);
}

} // namespace portio
