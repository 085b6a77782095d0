// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The hidden window of every client process that another process posts the quit message to:
// its class, its title (the program's file name without ".exe") and the message.

#include <string>

#include <windows.h>

constexpr UINT kQuitMessage = WM_USER + 1; // 0x0401
constexpr wchar_t kQuitWindowClass[] = L"VardenQuit";

// The title of this process's quit window: its program's name.
inline std::wstring quitWindowTitle()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}
