// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensors_guard.h"

#include <sensors/error.h>

#include <csetjmp>

namespace gauge::hwmon {

namespace {

std::jmp_buf* g_landing = nullptr;
void (*g_previousHook)(const char*, const char*) = nullptr;

extern "C" void onFatalError(const char* proc, const char* err)
{
    if (g_landing)
        std::longjmp(*g_landing, 1);
    if (g_previousHook)
        g_previousHook(proc, err);
}

} // namespace

void installFatalErrorHook()
{
    if (sensors_fatal_error == &onFatalError)
        return;
    g_previousHook = sensors_fatal_error;
    sensors_fatal_error = &onFatalError;
}

bool runGuarded(void (*trampoline)(void*), void* call)
{
    installFatalErrorHook();
    std::jmp_buf landing;
    std::jmp_buf* const outer = g_landing;
    if (setjmp(landing) != 0) {
        g_landing = outer;
        return false;
    }
    g_landing = &landing;
    trampoline(call);
    g_landing = outer;
    return true;
}

} // namespace gauge::hwmon
