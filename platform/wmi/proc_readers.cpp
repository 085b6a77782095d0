// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "proc_readers.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <sstream>

namespace wmi {

namespace {

using Fields = std::map<std::string, std::string>;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// Shell-style unquoting as os-release allows it: '...' literal, "..." with \" \\ \$ \`
// escapes, and a backslash outside quotes taking the next character literally.
std::string unquoted(const std::string& raw)
{
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                out += c;
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char next = raw[i + 1];
            const bool escapes = quote == 0 || std::string("\"\\$`").find(next) != std::string::npos;
            out += escapes ? next : c;
            i += escapes ? 1 : 0;
        } else if (c == '"' || (c == '\'' && quote == 0)) {
            quote = (quote == c) ? 0 : c;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<Fields> cpuinfoBlocks(const std::string& cpuinfo)
{
    std::vector<Fields> blocks(1);
    for (const std::string& line : lines(cpuinfo)) {
        if (trimmed(line).empty()) {
            if (!blocks.back().empty())
                blocks.emplace_back();
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        blocks.back().emplace(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    // Trailing architecture-wide blocks (ARM's "Hardware", "Revision") are no processors.
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [](const Fields& b) { return b.count("processor") == 0; }),
                 blocks.end());
    return blocks;
}

std::string field(const Fields& fields, const char* key)
{
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

bool parseUnsigned(const std::string& text, uint64_t& value)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

int coresOf(const std::vector<const Fields*>& members)
{
    uint64_t cores = 0;
    if (parseUnsigned(field(*members.front(), "cpu cores"), cores) && cores > 0
        && cores <= uint64_t(std::numeric_limits<int>::max()))
        return int(cores);
    std::set<std::string> coreIds;
    for (const Fields* m : members)
        if (m->count("core id"))
            coreIds.insert(field(*m, "core id"));
    return coreIds.empty() ? int(members.size()) : int(coreIds.size());
}

} // namespace

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<std::string> osReleaseValue(const std::string& text, const std::string& key)
{
    const std::string prefix = key + "=";
    std::optional<std::string> value;
    for (const std::string& line : lines(text)) {
        const std::string t = trimmed(line);
        if (t.compare(0, prefix.size(), prefix) == 0)
            value = unquoted(t.substr(prefix.size()));
    }
    return value;
}

std::vector<CpuPackage> cpuPackages(const std::string& cpuinfo)
{
    const std::vector<Fields> blocks = cpuinfoBlocks(cpuinfo);
    std::vector<std::string> order;
    std::map<std::string, std::vector<const Fields*>> members;
    for (const Fields& block : blocks) {
        const std::string id = field(block, "physical id");
        if (!members.count(id))
            order.push_back(id);
        members[id].push_back(&block);
    }

    std::vector<CpuPackage> packages;
    for (const std::string& id : order) {
        const std::vector<const Fields*>& m = members[id];
        const Fields& first = *m.front();
        CpuPackage p;
        p.physicalId = id;
        p.modelName = field(first, "model name");
        p.family = field(first, "cpu family");
        p.model = field(first, "model");
        p.stepping = field(first, "stepping");
        p.logicalProcessors = int(m.size());
        p.cores = coresOf(m);
        packages.push_back(p);
    }
    return packages;
}

std::optional<CpuTimes> cpuTimes(const std::string& stat)
{
    for (const std::string& line : lines(stat)) {
        std::istringstream in(line);
        std::string label;
        if (!(in >> label) || label != "cpu")
            continue;
        // user nice system idle iowait irq softirq steal; guest time is already inside user.
        uint64_t value[8] = {};
        int count = 0;
        for (std::string word; count < 8 && in >> word; ++count)
            if (!parseUnsigned(word, value[count]))
                return std::nullopt;
        if (count < 4)
            return std::nullopt;
        CpuTimes times;
        for (int i = 0; i < count; ++i)
            times.total += value[i];
        times.idle = value[3] + value[4];
        return times;
    }
    return std::nullopt;
}

std::optional<int> busyPercent(const CpuTimes& before, const CpuTimes& after)
{
    if (after.total <= before.total || after.idle < before.idle)
        return std::nullopt;
    const uint64_t total = after.total - before.total;
    const uint64_t idle = std::min(after.idle - before.idle, total);
    return int((100 * (total - idle) + total / 2) / total);
}

std::optional<uint64_t> memTotalBytes(const std::string& meminfo)
{
    for (const std::string& line : lines(meminfo)) {
        std::istringstream in(line);
        std::string label, amount, unit;
        if (!(in >> label >> amount) || label != "MemTotal:")
            continue;
        in >> unit;
        uint64_t kib = 0;
        if (!parseUnsigned(amount, kib) || kib > std::numeric_limits<uint64_t>::max() / 1024)
            return std::nullopt;
        return unit == "kB" ? kib * 1024 : kib;
    }
    return std::nullopt;
}

} // namespace wmi
