// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Parsers of the Linux text files behind the system-information classes. Each takes the
// file's text and copes with any content: missing keys give empty results, never a crash.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wmi {

// Value of KEY in an os-release file, with shell quoting and escapes undone.
std::optional<std::string> osReleaseValue(const std::string& text, const std::string& key);

// One processor package (socket) as /proc/cpuinfo describes it: the fields of its first
// logical processor, and how many logical processors and cores it has.
struct CpuPackage {
    std::string physicalId;
    std::string modelName;
    std::string family;
    std::string model;
    std::string stepping;
    int logicalProcessors = 0;
    int cores = 0;
};

// Packages in the order /proc/cpuinfo first mentions them; a file without "physical id"
// lines (one socket, or an architecture that does not say) gives one package.
std::vector<CpuPackage> cpuPackages(const std::string& cpuinfo);

// Aggregate processor time of /proc/stat's "cpu" line, in clock ticks.
struct CpuTimes {
    uint64_t total = 0;
    uint64_t idle = 0; // idle plus waiting for I/O
};
std::optional<CpuTimes> cpuTimes(const std::string& stat);

// Percent of the time between two samples that the processors were busy, rounded;
// nullopt when no time passed between them.
std::optional<int> busyPercent(const CpuTimes& before, const CpuTimes& after);

// MemTotal of /proc/meminfo in bytes.
std::optional<uint64_t> memTotalBytes(const std::string& meminfo);

// The text with blanks, tabs and line ends removed from both ends.
std::string trimmed(const std::string& text);

} // namespace wmi
