// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The Windows answer to the system-information classes: WMI over COM, namespace root\cimv2, one
// WQL query per call, each value turned into text and stored by the same rule as on Linux
// (wmi_value.h).

#include "wmi_query.h"
#include "wmi_value.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace {

std::string utf8(const wchar_t* text, int length)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
    return out;
}

// Releases a COM interface when the query ends, however it ends.
template <typename T>
struct Held {
    T* p = nullptr;
    ~Held()
    {
        if (p)
            p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

// Callers initialise COM on their thread, as the agent's main thread (through the toolkit) does; a
// thread that has not (the logging thread, a tool) gets the multithreaded apartment for the call.
class ComOnThisThread {
public:
    ComOnThisThread() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComOnThisThread()
    {
        if (m_initialised)
            CoUninitialize();
    }

private:
    bool m_initialised;
};

HRESULT setProxySecurity(IUnknown* proxy)
{
    return CoSetProxyBlanket(proxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, COLE_DEFAULT_PRINCIPAL,
                             RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// The value as text: strings as they are, numbers in decimal; nothing for an empty property.
bool valueText(VARIANT& value, std::string* text)
{
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
        return false;
    if (value.vt == VT_BOOL) {
        *text = value.boolVal ? "1" : "0";
        return true;
    }
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeTypeEx(&converted, &value, LOCALE_INVARIANT, 0, VT_BSTR)))
        return false;
    *text = converted.bstrVal ? utf8(converted.bstrVal, int(SysStringLen(converted.bstrVal))) : std::string();
    VariantClear(&converted);
    return true;
}

// Says once per class which WMI step failed: the callers go on without the values (an empty field,
// the last processor load), so this line is the one trace of it.
int failed(const std::string& className, const char* step, HRESULT code)
{
    static std::mutex mutex;
    static std::set<std::string> told;
    const std::lock_guard<std::mutex> lock(mutex);
    if (told.insert(className).second)
        std::fprintf(stderr, "wmi: %s: %s failed (0x%08lx)\n", className.c_str(), step, (unsigned long)code);
    return kWmiFailed;
}

} // namespace

int WmiQuery(const std::string& className, const std::string& propertyName, int kind, void* target)
{
    ComOnThisThread com;
    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                  RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE)
        return failed(className, "CoInitializeSecurity", security);

    Held<IWbemLocator> locator;
    const HRESULT created = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                             reinterpret_cast<void**>(locator.out()));
    if (FAILED(created))
        return failed(className, "creating the WMI locator", created);
    Held<IWbemServices> services;
    BSTR space = SysAllocString(L"\\\\.\\root\\cimv2");
    const HRESULT connected = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                                     services.out());
    SysFreeString(space);
    if (FAILED(connected))
        return failed(className, "connecting to root\\cimv2", connected);
    if (const HRESULT secured = setProxySecurity(services.p); FAILED(secured))
        return failed(className, "CoSetProxyBlanket", secured);

    Held<IEnumWbemClassObject> instances;
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString((L"SELECT * FROM " + wide(className)).c_str());
    const HRESULT queried = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                                nullptr, instances.out());
    SysFreeString(language);
    SysFreeString(query);
    if (FAILED(queried))
        return failed(className, "the query", queried);
    if (const HRESULT secured = setProxySecurity(instances.p); FAILED(secured))
        return failed(className, "CoSetProxyBlanket", secured);

    const std::wstring property = wide(propertyName);
    int result = kWmiOk;
    for (;;) {
        Held<IWbemClassObject> instance;
        ULONG returned = 0;
        const HRESULT next = instances->Next(WBEM_INFINITE, 1, instance.out(), &returned);
        if (next != WBEM_S_NO_ERROR || returned == 0) {
            if (FAILED(next))
                return failed(className, "reading the instances", next);
            break;
        }
        VARIANT value;
        VariantInit(&value);
        if (FAILED(instance->Get(property.c_str(), 0, &value, nullptr, nullptr)))
            continue;
        std::string text;
        if (valueText(value, &text) && storeWmiValue(kind, text, target) == kWmiBadKind)
            result = kWmiBadKind;
        VariantClear(&value);
    }
    return result;
}
