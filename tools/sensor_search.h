// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What gauge64-read tells a user whose machine gave no sensor: where the library looked on this
// system, what it found there, and what to try. One implementation per system.

#include <cstdint>

// status: DLLInitial's result; sourceKind: "hwmon" or "port", the source the library ended on
// ("" when it did not say).
void printSensorSearch(int32_t status, const char* sourceKind);
