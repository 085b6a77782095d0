// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Loading a shared library at run time, for the tools that use no toolkit: the system's loader
// behind four calls (dlopen on Linux, LoadLibrary on Windows).

#include <string>

namespace loader {

// The sensor library's file name: "libGauge64.so" on Linux, "Gauge64.dll" on Windows.
extern const char* const kGaugeFileName;

void* open(const std::string& path); // null on failure; lastError() says why
void* symbol(void* library, const char* name);
void close(void* library);
std::string lastError();

// The folder of the running program, without a trailing separator.
std::string programDirectory();

} // namespace loader
