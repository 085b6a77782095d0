// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The board file's reader: JSON text to a SimBoard, every field checked, one clear line for the
// first fault. It parses with nlohmann's JSON reader, which is header-only: the library gets a
// hardened parser without linking anything, on Linux and in the Windows DLL alike (the DLL links
// only the system's own libraries).

#include "file_facts.h"
#include "sim_board.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>

namespace portio {

namespace {

using Json = nlohmann::json;

struct ParseError {
    std::string message;
};

// Board files nest five levels; anything deeper is not one, and is refused before it costs stack.
constexpr int kMaxDepth = 32;

// A file's text as the error line quotes it: control characters as \xNN, so the line stays one line.
std::string oneLine(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        char escaped[8];
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (control)
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
        out += control ? std::string(escaped) : std::string(1, c);
    }
    return out;
}

std::string trimmed(const std::string& text)
{
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto begin = std::find_if_not(text.begin(), text.end(), space);
    const auto end = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), space).base();
    return std::string(begin, end);
}

// Whole text in C notation ("0x2E", "46", "056"), nothing before or after it.
bool parseC(const std::string& text, int64_t* result)
{
    const std::string digits = trimmed(text);
    if (digits.empty() || std::isspace(static_cast<unsigned char>(digits[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits.c_str(), &end, 0);
    if (errno == ERANGE || end != digits.c_str() + digits.size())
        return false;
    *result = value;
    return true;
}

std::string formatted(double d)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", d);
    return text;
}

// A number as a JSON number or as a string in C notation ("0x2E", "46", "056").
int64_t number(const Json& value, int64_t min, int64_t max, const std::string& what)
{
    int64_t result = 0;
    if (value.is_number_unsigned()) {
        const auto u = value.get<uint64_t>();
        if (u > uint64_t(std::numeric_limits<int64_t>::max()))
            throw ParseError{what + " " + std::to_string(u) + " is out of range"};
        result = int64_t(u);
    } else if (value.is_number_integer()) {
        result = value.get<int64_t>();
    } else if (value.is_number_float()) {
        // Range first: converting a double beyond int64_t is undefined.
        const double d = value.get<double>();
        if (!(d >= double(min) && d <= double(max)))
            throw ParseError{what + " " + formatted(d) + " is out of range"};
        if (d != std::trunc(d))
            throw ParseError{what + " is not a whole number"};
        result = int64_t(d);
    } else if (value.is_string()) {
        if (!parseC(value.get<std::string>(), &result))
            throw ParseError{what + " \"" + oneLine(value.get<std::string>()) + "\" is not a number"};
    } else {
        throw ParseError{what + " must be a number or a string such as \"0x2E\""};
    }
    if (result < min || result > max)
        throw ParseError{what + " " + std::to_string(result) + " is out of range"};
    return result;
}

int64_t keyNumber(const std::string& key, int64_t min, int64_t max, const std::string& what)
{
    return number(Json(key), min, max, what);
}

const Json& objectOf(const Json& value, const std::string& what)
{
    if (!value.is_object())
        throw ParseError{what + " must be an object"};
    return value;
}

const Json& arrayOf(const Json& value, const std::string& what)
{
    if (!value.is_array())
        throw ParseError{what + " must be an array"};
    return value;
}

// The member `key`, or null when the object has none.
const Json& member(const Json& object, const char* key)
{
    static const Json absent;
    const auto it = object.find(key);
    return it == object.end() ? absent : *it;
}

bool flag(const Json& object, const char* key, bool fallback)
{
    if (!object.contains(key))
        return fallback;
    const Json& value = object[key];
    if (!value.is_boolean())
        throw ParseError{std::string("driver.") + key + " must be true or false"};
    return value.get<bool>();
}

// A member's text; empty when it is absent or no string.
std::string text(const Json& object, const char* key, const std::string& fallback = "")
{
    const Json& value = member(object, key);
    return value.is_string() ? value.get<std::string>() : fallback;
}

} // namespace

class BoardParser {
public:
    static SimBoard parse(const Json& root)
    {
        SimBoard board;
        if (root.contains("driver"))
            board.driver_ = driver(objectOf(root["driver"], "driver"));
        if (root.contains("superio"))
            for (const Json& chip : arrayOf(root["superio"], "superio"))
                board.superIos_.push_back(superIo(objectOf(chip, "superio entry")));
        if (root.contains("monitors"))
            for (const Json& chip : arrayOf(root["monitors"], "monitors"))
                board.monitors_.push_back(monitor(objectOf(chip, "monitors entry")));
        if (root.contains("memory"))
            for (const Json& range : arrayOf(root["memory"], "memory"))
                board.memory_.push_back(memory(objectOf(range, "memory entry")));
        return board;
    }

private:
    static SimDriver driver(const Json& object)
    {
        SimDriver d;
        d.wow64 = flag(object, "wow64", d.wow64);
        d.managerAvailable = flag(object, "manager", d.managerAvailable);
        d.startSucceeds = flag(object, "start", d.startSucceeds);
        d.held = flag(object, "held", d.held);
        if (object.contains("service")) {
            const std::string state = text(object, "service");
            if (state == "absent")
                d.service = ServiceState::Absent;
            else if (state == "stopped")
                d.service = ServiceState::Stopped;
            else if (state == "running")
                d.service = ServiceState::Running;
            else
                throw ParseError{"driver.service must be \"absent\", \"stopped\" or \"running\""};
        }
        return d;
    }

    static SimSuperIo superIo(const Json& object)
    {
        SimSuperIo chip;
        chip.port = uint16_t(number(member(object, "port"), 0, 0xFFFE, "superio port"));
        chip.global.fill(0xFF);
        if (object.contains("global")) {
            const Json& global = objectOf(object["global"], "superio global");
            for (auto it = global.begin(); it != global.end(); ++it) {
                const auto reg = keyNumber(it.key(), 0, 0x2F, "global register");
                chip.global[reg] = uint8_t(number(it.value(), 0, 0xFF, "global register value"));
            }
        }
        if (object.contains("ldn")) {
            const Json& devices = objectOf(object["ldn"], "superio ldn");
            for (auto it = devices.begin(); it != devices.end(); ++it) {
                const auto device = uint8_t(keyNumber(it.key(), 0, 0xFF, "logical device"));
                auto& regs = chip.ldn[device];
                regs.fill(0xFF);
                const Json& values = objectOf(it.value(), "logical device registers");
                for (auto r = values.begin(); r != values.end(); ++r) {
                    const auto reg = keyNumber(r.key(), 0x30, 0xFF, "logical device register");
                    regs[reg - 0x30] = uint8_t(number(r.value(), 0, 0xFF, "logical device register value"));
                }
            }
        }
        return chip;
    }

    static SimMonitor monitor(const Json& object)
    {
        SimMonitor chip;
        chip.port = uint16_t(number(member(object, "port"), 0, 0xFFFE, "monitor port"));
        const std::string banking = text(object, "banking", "none");
        if (banking == "none")
            chip.banking = Banking::None;
        else if (banking == "partial")
            chip.banking = Banking::Partial;
        else if (banking == "full")
            chip.banking = Banking::Full;
        else
            throw ParseError{"monitor banking must be \"none\", \"partial\" or \"full\""};
        if (object.contains("vendor_id"))
            chip.vendorId = uint16_t(number(object["vendor_id"], 0, 0xFFFF, "vendor_id"));
        if (object.contains("busy_reads"))
            chip.busyReads = long(number(object["busy_reads"], -1, 1 << 30, "busy_reads"));
        for (auto& bank : chip.banked)
            bank.fill(0xFF);
        chip.shared.fill(0xFF);
        if (object.contains("registers")) {
            const Json& banks = objectOf(object["registers"], "monitor registers");
            for (auto b = banks.begin(); b != banks.end(); ++b) {
                const int bank = int(keyNumber(b.key(), 0, 7, "bank"));
                const Json& values = objectOf(b.value(), "bank registers");
                for (auto r = values.begin(); r != values.end(); ++r) {
                    const auto reg = uint8_t(keyNumber(r.key(), 0, 0xFF, "monitor register"));
                    monitorPreset(chip, bank, reg, uint8_t(number(r.value(), 0, 0xFF, "monitor register value")));
                }
            }
        }
        return chip;
    }

    static uint8_t hexDigit(char c)
    {
        return uint8_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
    }

    static SimMemory memory(const Json& object)
    {
        SimMemory range;
        range.address = uint32_t(number(member(object, "address"), 0, 0xFFFFFFFF, "memory address"));
        const std::string hex = text(object, "hex");
        const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
        const bool allHex = std::all_of(hex.begin(), hex.end(), isHex);
        if (hex.size() % 2 != 0 || !allHex)
            throw ParseError{"memory hex must be pairs of hexadecimal digits"};
        for (size_t i = 0; i < hex.size(); i += 2)
            range.bytes.push_back(uint8_t(hexDigit(hex[i]) << 4 | hexDigit(hex[i + 1])));
        return range;
    }

};

std::optional<SimBoard> SimBoard::fromJson(const std::string& json, std::string* error)
{
    Json document;
    try {
        const auto shallow = [](int depth, Json::parse_event_t, Json&) {
            if (depth > kMaxDepth)
                throw ParseError{"nested deeper than " + std::to_string(kMaxDepth) + " levels"};
            return true;
        };
        document = Json::parse(json, shallow);
    } catch (const Json::exception& fault) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ...", or
        // "[json.exception.out_of_range.406] number overflow parsing '1e999'" for a number beyond a double.
        std::string reason = fault.what();
        const size_t detail = reason.find("] ");
        if (detail != std::string::npos)
            reason.erase(0, detail + 2);
        *error = "not valid JSON (" + oneLine(reason) + ")";
        return std::nullopt;
    } catch (const ParseError& fault) {
        *error = "not valid JSON (" + fault.message + ")";
        return std::nullopt;
    }
    if (!document.is_object()) {
        *error = "the top level must be an object";
        return std::nullopt;
    }
    try {
        return BoardParser::parse(document);
    } catch (const ParseError& fault) {
        *error = fault.message;
        return std::nullopt;
    }
}

std::optional<SimBoard> SimBoard::fromFile(const std::string& path, std::string* error)
{
    if (isDirectory(path)) {
        *error = "cannot be read (file to open is a directory)";
        return std::nullopt;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        *error = std::string("cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    // Board files are small; anything larger is not one.
    constexpr size_t kMaxBoardBytes = 4 * 1024 * 1024;
    std::string text;
    char chunk[65536];
    for (size_t got; text.size() <= kMaxBoardBytes && (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        text.append(chunk, got);
    if (text.size() > kMaxBoardBytes) {
        *error = "is larger than 4 MiB";
        return std::nullopt;
    }
    if (std::ferror(file.get())) {
        *error = std::string("cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    return fromJson(text, error);
}

} // namespace portio
