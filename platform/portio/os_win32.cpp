// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The real Windows calls: the port-I/O driver's device and the service control manager.

#include "os_api.h"

#include <windows.h>

#include <string>

namespace portio {

namespace {

std::wstring wide(const char* text)
{
    // The device, file and service names are plain ASCII.
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

class Win32Os final : public OsApi {
public:
    bool isWow64() override
    {
#ifdef _WIN64
        return true; // a 64-bit process runs on 64-bit Windows only
#else
        using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
        HMODULE kernel = GetModuleHandleW(L"kernel32");
        auto isWow64Process =
            kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                   : nullptr;
        BOOL wow64 = FALSE;
        return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
    }

    Handle openDevice(const char* path, uint32_t shareMode) override
    {
        HANDLE device = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return device == INVALID_HANDLE_VALUE ? nullptr : device;
    }

    bool deviceIoControl(Handle device, uint32_t code, uint8_t* buffer, uint32_t length) override
    {
        DWORD returned = 0;
        return DeviceIoControl(device, code, buffer, length, buffer, length, &returned, nullptr) != 0;
    }

    void closeDevice(Handle device) override { CloseHandle(device); }

    Handle scmOpen() override { return OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

    Handle scmCreateService(Handle manager, const char* name, const char* binaryPath, uint32_t* lastError) override
    {
        const std::wstring serviceName = wide(name);
        SC_HANDLE service = CreateServiceW(static_cast<SC_HANDLE>(manager), serviceName.c_str(),
                                           serviceName.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, wide(binaryPath).c_str(),
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!service)
            *lastError = GetLastError();
        return service;
    }

    Handle scmOpenService(Handle manager, const char* name) override
    {
        return OpenServiceW(static_cast<SC_HANDLE>(manager), wide(name).c_str(), SERVICE_ALL_ACCESS);
    }

    bool scmStartService(Handle service) override
    {
        return StartServiceW(static_cast<SC_HANDLE>(service), 0, nullptr) != 0;
    }

    bool scmStopService(Handle service) override
    {
        SERVICE_STATUS status{};
        return ControlService(static_cast<SC_HANDLE>(service), SERVICE_CONTROL_STOP, &status) != 0;
    }

    bool scmDeleteService(Handle service) override { return DeleteService(static_cast<SC_HANDLE>(service)) != 0; }
    void scmClose(Handle handle) override { CloseServiceHandle(static_cast<SC_HANDLE>(handle)); }
    void sleepMs(uint32_t milliseconds) override { Sleep(milliseconds); }
    void beep() override { MessageBeep(0xFFFFFFFF); }
};

} // namespace

std::unique_ptr<OsApi> makeNativeOs()
{
    return std::make_unique<Win32Os>();
}

} // namespace portio
