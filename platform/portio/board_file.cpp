// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The board file's reader: JSON text to a SimBoard, every field checked, one clear line for the
// first fault. It is the only part of the library that uses Qt (for its JSON reader), so it is the
// one reason the Linux library links Qt Core; that stays. The simulated board exists only in the
// Linux build, where Qt Core is installed anyway (the agent and the station are Qt programs), and a
// JSON reader of our own would be one more parser to harden against hostile files. The Windows
// library has no simulator and links nothing of Qt.

#include "sim_board.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace portio {

namespace {

struct ParseError {
    std::string message;
};

// A file's text as the error line quotes it: control characters as \xNN, so the line stays one line.
std::string quoted(const QString& text)
{
    std::string out;
    for (const char c : text.toStdString()) {
        char escaped[8];
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (control)
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
        out += control ? std::string(escaped) : std::string(1, c);
    }
    return out;
}

// A number as a JSON number or as a string in C notation ("0x2E", "46", "056").
int64_t number(const QJsonValue& value, int64_t min, int64_t max, const std::string& what)
{
    int64_t result = 0;
    if (value.isDouble()) {
        // Range first: converting a double beyond int64_t is undefined.
        const double d = value.toDouble();
        if (d < double(min) || d > double(max))
            throw ParseError{what + " " + QString::number(d).toStdString() + " is out of range"};
        if (d != std::trunc(d))
            throw ParseError{what + " is not a whole number"};
        result = int64_t(d);
    } else if (value.isString()) {
        bool ok = false;
        result = value.toString().trimmed().toLongLong(&ok, 0);
        if (!ok)
            throw ParseError{what + " \"" + quoted(value.toString()) + "\" is not a number"};
    } else {
        throw ParseError{what + " must be a number or a string such as \"0x2E\""};
    }
    if (result < min || result > max)
        throw ParseError{what + " " + std::to_string(result) + " is out of range"};
    return result;
}

int64_t keyNumber(const QString& key, int64_t min, int64_t max, const std::string& what)
{
    return number(QJsonValue(key), min, max, what);
}

QJsonObject objectOf(const QJsonValue& value, const std::string& what)
{
    if (!value.isObject())
        throw ParseError{what + " must be an object"};
    return value.toObject();
}

QJsonArray arrayOf(const QJsonValue& value, const std::string& what)
{
    if (!value.isArray())
        throw ParseError{what + " must be an array"};
    return value.toArray();
}

bool flag(const QJsonObject& object, const char* key, bool fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    if (!value.isBool())
        throw ParseError{std::string("driver.") + key + " must be true or false"};
    return value.toBool();
}

} // namespace

class BoardParser {
public:
    static SimBoard parse(const QJsonObject& root)
    {
        SimBoard board;
        if (root.contains("driver"))
            board.driver_ = driver(objectOf(root.value("driver"), "driver"));
        if (root.contains("superio"))
            for (const QJsonValue& chip : arrayOf(root.value("superio"), "superio"))
                board.superIos_.push_back(superIo(objectOf(chip, "superio entry")));
        if (root.contains("monitors"))
            for (const QJsonValue& chip : arrayOf(root.value("monitors"), "monitors"))
                board.monitors_.push_back(monitor(objectOf(chip, "monitors entry")));
        if (root.contains("memory"))
            for (const QJsonValue& range : arrayOf(root.value("memory"), "memory"))
                board.memory_.push_back(memory(objectOf(range, "memory entry")));
        return board;
    }

private:
    static SimDriver driver(const QJsonObject& object)
    {
        SimDriver d;
        d.wow64 = flag(object, "wow64", d.wow64);
        d.managerAvailable = flag(object, "manager", d.managerAvailable);
        d.startSucceeds = flag(object, "start", d.startSucceeds);
        d.held = flag(object, "held", d.held);
        const QJsonValue service = object.value("service");
        if (!service.isUndefined()) {
            const QString state = service.toString();
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

    static SimSuperIo superIo(const QJsonObject& object)
    {
        SimSuperIo chip;
        chip.port = uint16_t(number(object.value("port"), 0, 0xFFFE, "superio port"));
        chip.global.fill(0xFF);
        if (object.contains("global")) {
            const QJsonObject global = objectOf(object.value("global"), "superio global");
            for (auto it = global.begin(); it != global.end(); ++it) {
                const auto reg = keyNumber(it.key(), 0, 0x2F, "global register");
                chip.global[reg] = uint8_t(number(it.value(), 0, 0xFF, "global register value"));
            }
        }
        if (object.contains("ldn")) {
            const QJsonObject devices = objectOf(object.value("ldn"), "superio ldn");
            for (auto it = devices.begin(); it != devices.end(); ++it) {
                const auto device = uint8_t(keyNumber(it.key(), 0, 0xFF, "logical device"));
                auto& regs = chip.ldn[device];
                regs.fill(0xFF);
                const QJsonObject values = objectOf(it.value(), "logical device registers");
                for (auto r = values.begin(); r != values.end(); ++r) {
                    const auto reg = keyNumber(r.key(), 0x30, 0xFF, "logical device register");
                    regs[reg - 0x30] = uint8_t(number(r.value(), 0, 0xFF, "logical device register value"));
                }
            }
        }
        return chip;
    }

    static SimMonitor monitor(const QJsonObject& object)
    {
        SimMonitor chip;
        chip.port = uint16_t(number(object.value("port"), 0, 0xFFFE, "monitor port"));
        const QString banking = object.value("banking").toString("none");
        if (banking == "none")
            chip.banking = Banking::None;
        else if (banking == "partial")
            chip.banking = Banking::Partial;
        else if (banking == "full")
            chip.banking = Banking::Full;
        else
            throw ParseError{"monitor banking must be \"none\", \"partial\" or \"full\""};
        if (object.contains("vendor_id"))
            chip.vendorId = uint16_t(number(object.value("vendor_id"), 0, 0xFFFF, "vendor_id"));
        if (object.contains("busy_reads"))
            chip.busyReads = long(number(object.value("busy_reads"), -1, 1 << 30, "busy_reads"));
        for (auto& bank : chip.banked)
            bank.fill(0xFF);
        chip.shared.fill(0xFF);
        if (object.contains("registers")) {
            const QJsonObject banks = objectOf(object.value("registers"), "monitor registers");
            for (auto b = banks.begin(); b != banks.end(); ++b) {
                const int bank = int(keyNumber(b.key(), 0, 7, "bank"));
                const QJsonObject values = objectOf(b.value(), "bank registers");
                for (auto r = values.begin(); r != values.end(); ++r) {
                    const auto reg = uint8_t(keyNumber(r.key(), 0, 0xFF, "monitor register"));
                    monitorPreset(chip, bank, reg, uint8_t(number(r.value(), 0, 0xFF, "monitor register value")));
                }
            }
        }
        return chip;
    }

    static SimMemory memory(const QJsonObject& object)
    {
        SimMemory range;
        range.address = uint32_t(number(object.value("address"), 0, 0xFFFFFFFF, "memory address"));
        const QByteArray hex = object.value("hex").toString().toLatin1();
        const bool allHex = std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(uchar(c)); });
        if (hex.size() % 2 != 0 || !allHex)
            throw ParseError{"memory hex must be pairs of hexadecimal digits"};
        const QByteArray bytes = QByteArray::fromHex(hex);
        range.bytes.assign(bytes.begin(), bytes.end());
        return range;
    }
};

std::optional<SimBoard> SimBoard::fromJson(const std::string& json, std::string* error)
{
    QJsonParseError parseError{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = "not valid JSON (" + parseError.errorString().toStdString() + " at offset " +
                 std::to_string(parseError.offset) + ")";
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = "the top level must be an object";
        return std::nullopt;
    }
    try {
        return BoardParser::parse(document.object());
    } catch (const ParseError& fault) {
        *error = fault.message;
        return std::nullopt;
    }
}

std::optional<SimBoard> SimBoard::fromFile(const std::string& path, std::string* error)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "cannot be read (" + file.errorString().toStdString() + ")";
        return std::nullopt;
    }
    // Board files are small; anything larger is not one.
    constexpr qint64 kMaxBoardBytes = 4 * 1024 * 1024;
    if (file.size() > kMaxBoardBytes) {
        *error = "is larger than 4 MiB";
        return std::nullopt;
    }
    return fromJson(file.readAll().toStdString(), error);
}

} // namespace portio
