// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Reads one property of every instance of a system-information class ("Win32_Processor",
// "LoadPercentage", ...) into an integer or a text. Callers name classes and properties the
// same way on every platform; each platform answers them from its own sources.

#include <cstdint>
#include <string>

// What `target` points to.
enum WmiValueKind : int {
    kWmiInt16 = 0,  // int16_t: low 16 bits of the value
    kWmiInt32 = 1,  // int32_t
    kWmiInt64 = 2,  // int64_t
    kWmiInt16b = 3, // as kWmiInt16
    kWmiInt32b = 4, // as kWmiInt32
    kWmiInt64b = 5, // as kWmiInt64
    kWmiText = 6,   // std::string, UTF-8
};

constexpr int kWmiOk = 0;       // also when the class has no instance
constexpr int kWmiFailed = 1;   // the class is unknown or the system could not be asked
constexpr int kWmiBadKind = -1; // a value was read but `kind` is none of the above

// Stores the property of each instance in turn into *target, so with several instances
// (two processor packages) the last one wins. A property that an instance cannot supply
// (unknown name, unreadable source) leaves *target unchanged. Integer kinds accept only
// values that are whole numbers. Thread-safe.
int WmiQuery(const std::string& className, const std::string& propertyName, int kind, void* target);
