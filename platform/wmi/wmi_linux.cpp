// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "wmi_linux.h"
#include "wmi_query.h"
#include "wmi_value.h"

#include <cstdio>
#include <fstream>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace wmi {

namespace {

constexpr size_t kMaxFileBytes = 4 << 20;
constexpr unsigned long long kNoLoginUid = 4294967295ULL; // (uid_t)-1: no login session recorded

// Reads in small pieces: /proc/sys files refuse a single read larger than the kernel will
// allocate for them.
std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < kMaxFileBytes && in.read(chunk, sizeof chunk).gcount() > 0)
        text.append(chunk, size_t(in.gcount()));
    if (in.bad())
        return std::nullopt;
    return text;
}

std::string architecture(const std::optional<std::string>& fromProc)
{
    if (fromProc && !trimmed(*fromProc).empty())
        return trimmed(*fromProc);
    utsname names{};
    return uname(&names) == 0 ? std::string(names.machine) : std::string();
}

std::string processorCaption(const std::string& arch, const CpuPackage& p)
{
    std::string caption = arch;
    const std::pair<const char*, const std::string*> parts[] = {
        {"Family", &p.family}, {"Model", &p.model}, {"Stepping", &p.stepping}};
    for (const auto& [label, value] : parts)
        if (!value->empty())
            caption += (caption.empty() ? "" : " ") + std::string(label) + " " + *value;
    return caption;
}

std::string accountName(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return entry.pw_name;
    return std::to_string(uid);
}

} // namespace

std::optional<std::pair<uint32_t, uint32_t>> nativeCpuSignature()
{
#if defined(__i386__) || defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return std::make_pair(uint32_t(edx), uint32_t(eax));
#endif
    return std::nullopt;
}

const LinuxWmi::ClassRow LinuxWmi::kClasses[] = {
    {"Win32_OperatingSystem", &LinuxWmi::operatingSystem},
    {"Win32_Processor", &LinuxWmi::processors},
    {"Win32_ComputerSystem", &LinuxWmi::computerSystem},
    {"Win32_ComputerSystemProduct", &LinuxWmi::computerSystemProduct},
    {"Win32_BaseBoard", &LinuxWmi::baseBoard},
};

LinuxWmi::LinuxWmi(SystemSources sources)
    : m_sources(std::move(sources))
{
}

int LinuxWmi::query(const std::string& className, const std::string& propertyName, int kind, void* target)
{
    if (!target)
        return kWmiFailed;
    for (const ClassRow& row : kClasses) {
        if (className != row.name)
            continue;
        int result = kWmiOk;
        for (const Instance& instance : (this->*row.collect)(propertyName)) {
            const auto value = instance.find(propertyName);
            if (value != instance.end() && storeWmiValue(kind, value->second, target) == kWmiBadKind)
                result = kWmiBadKind;
        }
        return result;
    }
    return kWmiFailed;
}

std::optional<std::string> LinuxWmi::readProc(const std::string& relative) const
{
    return readFile(m_sources.procRoot + "/" + relative);
}

void LinuxWmi::addDmi(Instance& instance, const char* property, const char* file) const
{
    if (const auto text = readFile(m_sources.dmiRoot + "/" + file))
        instance[property] = trimmed(*text);
}

std::vector<Instance> LinuxWmi::operatingSystem(const std::string&)
{
    Instance os;
    if (const auto text = readFile(m_sources.osReleasePath))
        if (const auto pretty = osReleaseValue(*text, "PRETTY_NAME"))
            os["Caption"] = *pretty;
    if (const auto release = readProc("sys/kernel/osrelease"))
        os["Version"] = trimmed(*release);
    if (const auto build = readProc("sys/kernel/version"))
        os["BuildNumber"] = trimmed(*build);
    return {os};
}

std::vector<Instance> LinuxWmi::processors(const std::string& property)
{
    const auto cpuinfo = readProc("cpuinfo");
    if (!cpuinfo)
        return {};
    const std::string arch = architecture(readProc("sys/kernel/arch"));
    std::optional<std::string> processorId;
    if (m_sources.cpuSignature)
        if (const auto words = m_sources.cpuSignature()) {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%08X%08X", unsigned(words->first), unsigned(words->second));
            processorId = hex;
        }
    // Sampling the load moves the interval on, so only a query for it takes a sample.
    const std::optional<int> load = property == "LoadPercentage" ? loadPercentage() : std::nullopt;

    std::vector<Instance> instances;
    for (const CpuPackage& p : cpuPackages(*cpuinfo)) {
        Instance cpu;
        if (!p.modelName.empty())
            cpu["Name"] = p.modelName;
        cpu["Caption"] = processorCaption(arch, p);
        if (processorId)
            cpu["ProcessorId"] = *processorId;
        cpu["NumberOfCores"] = std::to_string(p.cores);
        cpu["NumberOfLogicalProcessors"] = std::to_string(p.logicalProcessors);
        if (load)
            cpu["LoadPercentage"] = std::to_string(*load);
        instances.push_back(cpu);
    }
    return instances;
}

std::vector<Instance> LinuxWmi::computerSystem(const std::string&)
{
    Instance system;
    addDmi(system, "Manufacturer", "sys_vendor");
    addDmi(system, "Model", "product_name");
    addDmi(system, "Version", "product_version");
    addDmi(system, "IdentifyingNumber", "product_serial");
    if (const auto user = userName())
        system["UserName"] = *user;
    if (const auto meminfo = readProc("meminfo"))
        if (const auto bytes = memTotalBytes(*meminfo))
            system["TotalPhysicalMemory"] = std::to_string(*bytes);
    return {system};
}

std::vector<Instance> LinuxWmi::computerSystemProduct(const std::string&)
{
    Instance product;
    addDmi(product, "IdentifyingNumber", "product_serial");
    addDmi(product, "Name", "product_name");
    addDmi(product, "Vendor", "sys_vendor");
    addDmi(product, "Version", "product_version");
    addDmi(product, "UUID", "product_uuid");
    return {product};
}

std::vector<Instance> LinuxWmi::baseBoard(const std::string&)
{
    Instance board;
    addDmi(board, "Manufacturer", "board_vendor");
    addDmi(board, "Product", "board_name");
    addDmi(board, "Version", "board_version");
    addDmi(board, "SerialNumber", "board_serial");
    return {board};
}

// "HOST\user": the user of the login session this process belongs to (it survives sudo and
// services started from a session), else the effective user.
std::optional<std::string> LinuxWmi::userName() const
{
    const auto host = readProc("sys/kernel/hostname");
    if (!host)
        return std::nullopt;
    uid_t uid = geteuid();
    if (const auto loginUid = readProc("self/loginuid")) {
        const std::string text = trimmed(*loginUid);
        if (!text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos
            && std::stoull(text) < kNoLoginUid)
            uid = uid_t(std::stoull(text));
    }
    return trimmed(*host) + "\\" + accountName(uid);
}

// Busy share of the processors since the previous sample; the first sample covers the time
// since boot. Two samples in the same clock tick repeat the last value.
std::optional<int> LinuxWmi::loadPercentage()
{
    const auto stat = readProc("stat");
    const std::optional<CpuTimes> now = stat ? cpuTimes(*stat) : std::nullopt;
    std::lock_guard<std::mutex> lock(m_loadMutex);
    if (!now)
        return std::nullopt;
    if (const auto percent = busyPercent(m_previousTimes, *now))
        m_lastLoad = percent;
    m_previousTimes = *now;
    return m_lastLoad;
}

} // namespace wmi

int WmiQuery(const std::string& className, const std::string& propertyName, int kind, void* target)
{
    static wmi::LinuxWmi system;
    return system.query(className, propertyName, kind, target);
}
