// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The Linux answer to the system-information classes: each class is a table row naming the
// routine that collects its instances from /proc, /sys/class/dmi/id and os-release.
//
//   Win32_OperatingSystem        Caption (PRETTY_NAME), Version (kernel release),
//                                BuildNumber (kernel build)
//   Win32_Processor              Name, Caption, ProcessorId, NumberOfCores,
//                                NumberOfLogicalProcessors, LoadPercentage; one instance
//                                per package
//   Win32_ComputerSystem         Manufacturer, Model, Version, IdentifyingNumber, UserName,
//                                TotalPhysicalMemory
//   Win32_ComputerSystemProduct  IdentifyingNumber, Name, Vendor, Version, UUID
//   Win32_BaseBoard              Manufacturer, Product, Version, SerialNumber
//
// A file that cannot be read (root-only DMI serials, no DMI at all in a virtual machine)
// leaves its property out of the instance.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "proc_readers.h"

namespace wmi {

// Processor signature and feature words (EDX, then EAX of the x86 CPUID leaf 1);
// nullopt where the processor offers no such instruction.
using CpuSignatureFn = std::function<std::optional<std::pair<uint32_t, uint32_t>>()>;
std::optional<std::pair<uint32_t, uint32_t>> nativeCpuSignature();

// Where the facts come from; tests point these at captured files.
struct SystemSources {
    std::string procRoot = "/proc";
    std::string dmiRoot = "/sys/class/dmi/id";
    std::string osReleasePath = "/etc/os-release";
    CpuSignatureFn cpuSignature = nativeCpuSignature;
};

using Instance = std::map<std::string, std::string>; // readable properties only

class LinuxWmi {
public:
    explicit LinuxWmi(SystemSources sources = {});

    // WmiQuery against these sources.
    int query(const std::string& className, const std::string& propertyName, int kind, void* target);

private:
    std::vector<Instance> operatingSystem(const std::string& property);
    std::vector<Instance> processors(const std::string& property);
    std::vector<Instance> computerSystem(const std::string& property);
    std::vector<Instance> computerSystemProduct(const std::string& property);
    std::vector<Instance> baseBoard(const std::string& property);

    std::optional<std::string> readProc(const std::string& relative) const;
    void addDmi(Instance& instance, const char* property, const char* file) const;
    std::optional<std::string> userName() const;
    std::optional<int> loadPercentage();

    struct ClassRow {
        const char* name;
        std::vector<Instance> (LinuxWmi::*collect)(const std::string& property);
    };
    static const ClassRow kClasses[];

    SystemSources m_sources;
    std::mutex m_loadMutex; // guards the previous load sample across calling threads
    CpuTimes m_previousTimes;
    std::optional<int> m_lastLoad;
};

} // namespace wmi
