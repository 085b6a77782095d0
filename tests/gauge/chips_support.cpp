// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "chips_support.h"

#include "board_fixture.h"
#include "driver.h"
#include "gauge64.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <stdexcept>

namespace chips_test {

namespace {

QString hexKey(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

int keyValue(const QString& key)
{
    bool ok = false;
    const int value = key.toInt(&ok, 0);
    return ok ? value : -1;
}

// Sets register `reg` so that no other spelling of the same number survives as a key.
void setRegister(QJsonObject& registers, int reg, int value)
{
    for (const QString& key : registers.keys())
        if (keyValue(key) == reg)
            registers.remove(key);
    registers.insert(hexKey(reg), value);
}

int portOf(const QJsonObject& chip)
{
    const QJsonValue port = chip.value("port");
    return port.isString() ? keyValue(port.toString()) : port.toInt(-1);
}

QJsonObject parse(const QByteArray& text, const std::string& what)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw std::runtime_error(what + ": " + error.errorString().toStdString());
    return document.object();
}

template <typename Edit>
void editChip(QJsonObject& root, const char* section, int port, Edit edit)
{
    QJsonArray chips = root.value(section).toArray();
    for (int i = 0; i < chips.size(); ++i) {
        QJsonObject chip = chips[i].toObject();
        if (portOf(chip) != port)
            continue;
        edit(chip);
        chips[i] = chip;
        root.insert(section, chips);
        return;
    }
    QJsonObject chip{{"port", hexKey(port)}};
    edit(chip);
    chips.append(chip);
    root.insert(section, chips);
}

} // namespace

BoardEdit BoardEdit::exampleBoard(const std::string& fileName)
{
    const std::string path = std::string(VRD_SOURCE_DIR) + "/boards/" + fileName;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    BoardEdit edit;
    edit.root_ = parse(file.readAll(), path);
    return edit;
}

BoardEdit BoardEdit::fromJson(const std::string& json)
{
    BoardEdit edit;
    edit.root_ = parse(QByteArray::fromStdString(json), "board JSON");
    return edit;
}

BoardEdit& BoardEdit::monitor(int port, const std::vector<Reg>& regs)
{
    editChip(root_, "monitors", port, [&](QJsonObject& chip) {
        QJsonObject banks = chip.value("registers").toObject();
        for (const Reg& r : regs) {
            const QString bank = QString::number(r.bank);
            QJsonObject values = banks.value(bank).toObject();
            setRegister(values, r.reg, r.value);
            banks.insert(bank, values);
        }
        chip.insert("registers", banks);
    });
    return *this;
}

BoardEdit& BoardEdit::monitorIdentity(int port, int vendorId, const char* banking)
{
    editChip(root_, "monitors", port, [&](QJsonObject& chip) {
        chip.insert("vendor_id", vendorId);
        chip.insert("banking", banking);
    });
    return *this;
}

BoardEdit& BoardEdit::firstMonitor(const std::vector<Reg>& regs)
{
    const QJsonArray monitors = root_.value("monitors").toArray();
    if (monitors.isEmpty())
        throw std::runtime_error("the board has no monitor");
    return monitor(portOf(monitors.first().toObject()), regs);
}

BoardEdit& BoardEdit::superIoGlobal(int port, int reg, int value)
{
    editChip(root_, "superio", port, [&](QJsonObject& chip) {
        QJsonObject global = chip.value("global").toObject();
        setRegister(global, reg, value);
        chip.insert("global", global);
    });
    return *this;
}

BoardEdit& BoardEdit::superIoDevice(int port, int device, int reg, int value)
{
    editChip(root_, "superio", port, [&](QJsonObject& chip) {
        QJsonObject devices = chip.value("ldn").toObject();
        QJsonObject registers;
        for (const QString& key : devices.keys()) {
            if (keyValue(key) == device) {
                registers = devices.value(key).toObject();
                devices.remove(key);
            }
        }
        setRegister(registers, reg, value);
        devices.insert(hexKey(device), registers);
        chip.insert("ldn", devices);
    });
    return *this;
}

BoardEdit& BoardEdit::withoutSuperIo(int port)
{
    QJsonArray chips = root_.value("superio").toArray();
    for (int i = chips.size() - 1; i >= 0; --i)
        if (portOf(chips[i].toObject()) == port)
            chips.removeAt(i);
    root_.insert("superio", chips);
    return *this;
}

std::string BoardEdit::json() const
{
    return QJsonDocument(root_).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

using ReadingExport = int32_t (*)();

struct NamedExport {
    const char* name;
    ReadingExport read;
};

const NamedExport kExports[] = {
    {"Vcore", Vcore},     {"Vio", Vio},         {"P5V", P5V},         {"P12V", P12V},   {"N12V", N12V},
    {"N5V", N5V},         {"Fan1", Fan1},       {"Fan2", Fan2},       {"SysTemp", SysTemp},
    {"CpuTemp", CpuTemp}, {"P5VAmp", P5VAmp},   {"P12VAmp", P12VAmp}, {"PVbat", PVbat},
};

} // namespace

const std::vector<std::string>& readingNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const NamedExport& e : kExports)
            all.emplace_back(e.name);
        return all;
    }();
    return names;
}

int32_t readExport(const std::string& name)
{
    for (const NamedExport& e : kExports)
        if (name == e.name)
            return e.read();
    throw std::invalid_argument("no reading export " + name);
}

std::map<std::string, int32_t> readAll()
{
    std::map<std::string, int32_t> values;
    for (const NamedExport& e : kExports)
        values[e.name] = e.read();
    return values;
}

std::map<std::string, int32_t> withZeros(const std::map<std::string, int32_t>& nonZero)
{
    std::map<std::string, int32_t> all;
    for (const std::string& name : readingNames())
        all[name] = 0;
    for (const auto& [name, value] : nonZero) {
        if (!all.count(name))
            throw std::invalid_argument("no reading export " + name);
        all[name] = value;
    }
    return all;
}

void PrintTo(const BoardCase& c, std::ostream* out)
{
    *out << c.board;
}

void expectBoardReadings(const BoardCase& c)
{
    BoardFixture board(BoardEdit::exampleBoard(c.board).json());
    ASSERT_EQ(DLLInitial(), c.status);
    EXPECT_EQ(readAll(), withZeros(c.readings));
}

void PrintTo(const RegisterCase& c, std::ostream* out)
{
    *out << c.what;
}

std::string caseName(const testing::TestParamInfo<RegisterCase>& info)
{
    return info.param.what;
}

void expectConversion(const RegisterCase& c, int32_t status)
{
    BoardFixture board(BoardEdit::exampleBoard(c.board).firstMonitor(c.regs).json());
    ASSERT_EQ(DLLInitial(), status);
    EXPECT_EQ(readExport(c.reading), c.expected);
}

namespace {

// One trace line as monitorWrites lists it, or empty for a line that is neither a write to
// the monitor's data port nor a sleep. `index` follows the register selected at addrPort.
std::string monitorWrite(const std::string& line, uint32_t addrPort, unsigned& index)
{
    unsigned port = 0;
    unsigned value = 0;
    char text[32] = "";
    if (std::sscanf(line.c_str(), "sleep %u", &value) == 1)
        std::snprintf(text, sizeof text, "sleep %u", value);
    else if (std::sscanf(line.c_str(), "out %x %x", &port, &value) != 2)
        return {};
    else if (port == addrPort)
        index = value;
    else if (port == addrPort + 1 && index == 0x4E)
        std::snprintf(text, sizeof text, "bank %u", value & 0x07);
    else if (port == addrPort + 1)
        std::snprintf(text, sizeof text, "0x%02X=0x%02X", index, value);
    return text;
}

} // namespace

std::vector<std::string> monitorWrites(const std::vector<std::string>& traceLines, uint32_t addrPort)
{
    std::vector<std::string> writes;
    unsigned index = 0;
    for (const std::string& line : traceLines)
        if (std::string write = monitorWrite(line, addrPort, index); !write.empty())
            writes.push_back(std::move(write));
    return writes;
}

std::vector<int> monitorRegistersSelected(const std::vector<std::string>& traceLines, uint32_t addrPort)
{
    std::vector<int> registers;
    for (const std::string& line : traceLines) {
        unsigned port = 0;
        unsigned value = 0;
        if (std::sscanf(line.c_str(), "out %x %x", &port, &value) == 2 && port == addrPort && value != 0x4E)
            registers.push_back(int(value));
    }
    return registers;
}

// Outside configuration mode the data port reads 0xFF whatever the index; inside it the
// chip-ID register of every supported chip reads something else.
bool superIoInConfigMode(uint32_t cfg)
{
    gauge::PortOut(cfg, 0x20);
    return gauge::PortIn(cfg + 1) != 0xFF;
}

uint8_t monitorBankRegister(uint32_t addrPort)
{
    gauge::PortOut(addrPort, 0x4E);
    return gauge::PortIn(addrPort + 1);
}

} // namespace chips_test
