#include "sim_board.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

namespace portio {

namespace {

constexpr uint8_t kBankRegister = 0x4E;
constexpr uint8_t kVendorRegister = 0x4F;
constexpr uint8_t kLdnSelect = 0x07;
constexpr auto kRecheckInterval = std::chrono::milliseconds(200);

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

bool isBanked(const SimMonitor& monitor, uint8_t reg)
{
    switch (monitor.banking) {
    case Banking::None:
        return false;
    case Banking::Partial:
        return reg >= 0x50 && reg <= 0x5F;
    case Banking::Full:
        return reg != kBankRegister;
    }
    return false;
}

uint8_t& cell(SimMonitor& monitor, uint8_t reg, int bank)
{
    return isBanked(monitor, reg) ? monitor.banked[bank][reg] : monitor.shared[reg];
}

int currentBank(const SimMonitor& monitor)
{
    return monitor.banking == Banking::None ? 0 : (monitor.bankRegister & 0x07);
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
                    const auto value = uint8_t(number(r.value(), 0, 0xFF, "monitor register value"));
                    if (reg == kBankRegister && chip.banking != Banking::None)
                        chip.bankRegister = value;
                    else
                        cell(chip, reg, bank) = value;
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

SimSuperIo* SimBoard::superIoAt(uint16_t port, bool* dataPort)
{
    for (SimSuperIo& chip : superIos_) {
        if (port == chip.port || port == chip.port + 1) {
            *dataPort = port != chip.port;
            return &chip;
        }
    }
    return nullptr;
}

SimMonitor* SimBoard::monitorAt(uint16_t port, bool* dataPort)
{
    for (SimMonitor& chip : monitors_) {
        if (port == chip.port || port == chip.port + 1) {
            *dataPort = port != chip.port;
            return &chip;
        }
    }
    return nullptr;
}

uint8_t monitorRead(const SimMonitor& monitor, uint8_t reg)
{
    if (reg == kBankRegister && monitor.banking != Banking::None)
        return monitor.bankRegister;
    if (reg == kVendorRegister && monitor.vendorId) {
        const uint8_t selector = monitor.banking == Banking::None ? monitor.shared[kBankRegister]
                                                                  : monitor.bankRegister;
        return (selector & 0x80) ? uint8_t(*monitor.vendorId >> 8) : uint8_t(*monitor.vendorId);
    }
    const int bank = currentBank(monitor);
    return isBanked(monitor, reg) ? monitor.banked[bank][reg] : monitor.shared[reg];
}

void monitorWrite(SimMonitor& monitor, uint8_t reg, uint8_t value)
{
    if (reg == kBankRegister && monitor.banking != Banking::None) {
        monitor.bankRegister = value;
        return;
    }
    cell(monitor, reg, currentBank(monitor)) = value;
}

namespace {

uint8_t superIoRead(const SimSuperIo& chip, uint8_t reg)
{
    if (reg < 0x30)
        return chip.global[reg];
    const auto device = chip.ldn.find(chip.global[kLdnSelect]);
    return device == chip.ldn.end() ? 0xFF : device->second[reg - 0x30];
}

void superIoWrite(SimSuperIo& chip, uint8_t reg, uint8_t value)
{
    if (reg < 0x30) {
        chip.global[reg] = value;
        return;
    }
    auto [device, created] = chip.ldn.try_emplace(chip.global[kLdnSelect]);
    if (created)
        device->second.fill(0xFF);
    device->second[reg - 0x30] = value;
}

// Two writes of 0x87 in a row enter configuration mode; 0xAA leaves it; inside it a write
// selects the register index.
void superIoConfigWrite(SimSuperIo& chip, uint8_t value)
{
    if (!chip.configMode) {
        chip.configMode = value == 0x87 && chip.lastWriteWas87;
        chip.lastWriteWas87 = value == 0x87 && !chip.configMode;
        return;
    }
    if (value == 0xAA) {
        chip.configMode = false;
        chip.lastWriteWas87 = false;
        return;
    }
    chip.index = value;
}

} // namespace

uint8_t SimBoard::in(uint16_t port)
{
    bool data = false;
    if (SimSuperIo* chip = superIoAt(port, &data)) {
        if (!data)
            return chip->index;
        return chip->configMode ? superIoRead(*chip, chip->index) : 0xFF;
    }
    if (SimMonitor* chip = monitorAt(port, &data)) {
        if (data)
            return monitorRead(*chip, chip->index);
        const bool busy = chip->busyReads < 0 || chip->addressReads < chip->busyReads;
        ++chip->addressReads;
        return uint8_t((chip->index & 0x7F) | (busy ? 0x80 : 0x00));
    }
    return 0xFF;
}

void SimBoard::out(uint16_t port, uint8_t value)
{
    bool data = false;
    if (SimSuperIo* chip = superIoAt(port, &data)) {
        if (!data)
            superIoConfigWrite(*chip, value);
        else if (chip->configMode)
            superIoWrite(*chip, chip->index, value);
        return;
    }
    if (SimMonitor* chip = monitorAt(port, &data)) {
        if (data)
            monitorWrite(*chip, chip->index, value);
        else
            chip->index = value;
    }
}

void SimBoard::readMemory(uint32_t address, uint8_t* destination, uint32_t count) const
{
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(address) + i;
        destination[i] = 0xFF;
        for (const SimMemory& range : memory_) {
            if (at >= range.address && at < range.address + range.bytes.size()) {
                destination[i] = range.bytes[at - range.address];
                break;
            }
        }
    }
}

void SimBoard::takeValuesFrom(SimBoard fresh)
{
    for (SimSuperIo& chip : fresh.superIos_) {
        bool data = false;
        if (const SimSuperIo* old = superIoAt(chip.port, &data); old && !data) {
            chip.configMode = old->configMode;
            chip.lastWriteWas87 = old->lastWriteWas87;
            chip.index = old->index;
            chip.global[kLdnSelect] = old->global[kLdnSelect];
        }
    }
    for (SimMonitor& chip : fresh.monitors_) {
        bool data = false;
        if (const SimMonitor* old = monitorAt(chip.port, &data); old && !data) {
            chip.index = old->index;
            chip.addressReads = old->addressReads;
            chip.bankRegister = old->bankRegister;
        }
    }
    fresh.driver_ = driver_;
    *this = std::move(fresh);
}

WatchedBoard::WatchedBoard(std::string path) : path_(std::move(path)) {}

SimBoard* WatchedBoard::board()
{
    const auto now = std::chrono::steady_clock::now();
    if (loadedStamp_ < 0 || now - lastCheck_ >= kRecheckInterval) {
        lastCheck_ = now;
        refresh();
    }
    return board_ ? &*board_ : nullptr;
}

void WatchedBoard::refresh()
{
    struct stat info {};
    const int64_t stamp = ::stat(path_.c_str(), &info) == 0
                              ? int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec
                              : -2;
    if (stamp == loadedStamp_)
        return;
    loadedStamp_ = stamp;
    std::string error;
    std::optional<SimBoard> fresh = SimBoard::fromFile(path_, &error);
    if (!fresh) {
        // Keep the values the board had; say once per change what is wrong with the file.
        if (error != lastError_)
            std::fprintf(stderr, "gauge64: board file %s: %s\n", path_.c_str(), error.c_str());
        lastError_ = error;
        return;
    }
    lastError_.clear();
    if (board_)
        board_->takeValuesFrom(std::move(*fresh));
    else
        board_ = std::move(fresh);
}

} // namespace portio
