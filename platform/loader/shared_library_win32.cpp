// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "shared_library.h"

#include <windows.h>

#include <vector>

namespace loader {

const char* const kGaugeFileName = "Gauge64.dll";

namespace {

std::wstring wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
    return out;
}

std::string utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

DWORD g_lastError = 0;

} // namespace

void* open(const std::string& path)
{
    HMODULE library = LoadLibraryW(wide(path).c_str());
    g_lastError = library ? 0 : GetLastError();
    return reinterpret_cast<void*>(library);
}

void* symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void close(void* library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

std::string lastError()
{
    if (g_lastError == 0)
        return "";
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   g_lastError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? utf8(text) : "error " + std::to_string(g_lastError);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

std::string programDirectory()
{
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    std::wstring file(path.data(), length);
    const size_t separator = file.find_last_of(L"\\/");
    return separator == std::wstring::npos ? "." : utf8(file.substr(0, separator));
}

} // namespace loader
