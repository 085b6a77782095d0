// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// libsensors ends the process from its sensors_fatal_error hook (it runs out of memory and
// has no way back). The library must never end its host, so every libsensors call runs
// inside guarded(): our hook jumps back to it, and the call reports failure instead.

#include <type_traits>

namespace gauge::hwmon {

// Installs our hook once; a fatal error outside guarded() still goes to the hook that was
// there before (the host's, if it uses libsensors itself).
void installFatalErrorHook();

// Runs trampoline(call) under our hook; the implementation of guarded().
bool runGuarded(void (*trampoline)(void*), void* call);

// Runs call (void()) and returns true, or false when libsensors met a fatal error inside it.
// The call must hold only C calls and plain values: the jump back skips its destructors.
// After a false result libsensors' own state is unknown and must not be touched again.
template <typename Call>
bool guarded(Call&& call)
{
    using Plain = std::remove_reference_t<Call>;
    return runGuarded([](void* c) { (*static_cast<Plain*>(c))(); }, &call);
}

} // namespace gauge::hwmon
