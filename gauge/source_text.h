// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Which source the last DLLInitial chose and what it read there, as one line for people:
// "hwmon: nct6775-isa-0290, k10temp-pci-00c3", "port: Fintek F81865", "simulated board: <file>";
// "<kind>: none" when it found nothing to read.

#include <string>
#include <vector>

namespace gauge {

// The kinds as the line names them.
constexpr const char* kSourceHwmon = "hwmon";
constexpr const char* kSourcePort = "port";
constexpr const char* kSourceBoard = "simulated board";

void recordSource(const char* kind, const std::vector<std::string>& devices);
void forgetSource();
const std::string& sourceLine();

} // namespace gauge
