#include "settings_keys.h"

#include "ini_file.h"

#include <QFileInfo>

namespace {

using S = SensorSnapshot;
using B = BrokerSettings;

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

const std::vector<SettingKey> kKeys = {
    {"General", "CBCPUTemp", "1", &S::CBCPUTemp, true},
    {"General", "CBSYSTemp", "1", &S::CBSYSTemp, true},
    {"General", "CBCPUFan", "0", &S::CBCPUFan, true},
    {"General", "CBSYSFan", "0", &S::CBSYSFan, true},
    {"General", "CBVcore", "1", &S::CBVcore, true},
    {"General", "CBVio", "1", &S::CBVio, true},
    {"General", "CB5V", "1", &S::CB5V, true},
    {"General", "CB12V", "1", &S::CB12V, true},
    {"General", "CBN5V", "0", &S::CBN5V, true},
    {"General", "CBN12V", "0", &S::CBN12V, true},
    {"General", "CPUTemp_Hi", "70", &S::CPUTemp_Hi, true},
    {"General", "SYSTemp_Hi", "70", &S::SYSTemp_Hi, true},
    {"General", "FAN1_Lo", "1000", &S::FAN1_Lo, true},
    {"General", "FAN2_Lo", "1000", &S::FAN2_Lo, true},
    {"General", "Vcore_Hi", "3600", &S::Vcore_Hi, true},
    {"General", "Vcore_Lo", "500", &S::Vcore_Lo, true},
    {"General", "Vio_Hi", "3600", &S::Vio_Hi, true},
    {"General", "Vio_Lo", "500", &S::Vio_Lo, true},
    {"General", "+5V_Hi", "5400", &S::P5V_Hi, true},
    {"General", "+5V_Lo", "4600", &S::P5V_Lo, true},
    {"General", "+12V_Hi", "13500", &S::P12V_Hi, true},
    {"General", "+12V_Lo", "10500", &S::P12V_Lo, true},
    {"General", "-5V_Hi", "5400", &S::N5V_Hi, true},
    {"General", "-5V_Lo", "4600", &S::N5V_Lo, true},
    {"General", "-12V_Hi", "13500", &S::N12V_Hi, true},
    {"General", "-12V_Lo", "10500", &S::N12V_Lo, true},
    {"DEBUG", "DEBUG", "0", &S::Debug, false},
    {"CLOUD", "ENABLE", "0", &B::enable, false},
    {"CLOUD", "HOST", "127.0.0.1", &B::host, false},
    {"CLOUD", "PORT", "1883", &B::port, false},
    {"CLOUD", "HQ_TOKEN", "NORDA", &B::hqToken, false},
    {"CLOUD", "BRANCH_TOKEN", "VARDEN6", &B::branchToken, false},
};

void readKey(const IniFile& ini, const SettingKey& row, SensorSnapshot& snapshot, BrokerSettings& broker)
{
    const QString section = QString::fromLatin1(row.section);
    const QString key = QString::fromLatin1(row.key);
    const auto flag = [&] { return ini.getBool(section, key, iniReadDecimal(row.fallback) != 0); };
    const auto number = [&] { return ini.getInt(section, key, iniReadAutoBase(row.fallback)); };
    std::visit(Overloaded{
                   [&](uint8_t S::*f) { snapshot.*f = flag() ? 1 : 0; },
                   [&](int16_t S::*f) { snapshot.*f = int16_t(number()); },
                   [&](bool B::*f) { broker.*f = flag(); },
                   [&](int B::*f) { broker.*f = number(); },
                   [&](QString B::*f) { broker.*f = ini.getString(section, key, QString::fromLatin1(row.fallback)); },
               },
               row.field);
}

void writeKey(IniFile& ini, const SettingKey& row, const SensorSnapshot& snapshot)
{
    const QString section = QString::fromLatin1(row.section);
    const QString key = QString::fromLatin1(row.key);
    std::visit(Overloaded{
                   [&](uint8_t S::*f) { ini.putBool(section, key, snapshot.*f != 0); },
                   [&](int16_t S::*f) { ini.putInt(section, key, snapshot.*f); },
                   [](auto) {}, // broker settings are never written
               },
               row.field);
}

} // namespace

const std::vector<SettingKey>& settingKeys()
{
    return kKeys;
}

void loadSettings(const QString& path, SensorSnapshot& snapshot, BrokerSettings& broker)
{
    IniFile ini;
    // An unreadable file reads as an empty one: every key takes its default.
    if (!ini.load(path) && QFileInfo::exists(path))
        qWarning("settings file %s cannot be read; the defaults are used", qUtf8Printable(path));
    for (const SettingKey& row : kKeys)
        readKey(ini, row, snapshot, broker);
}

bool saveSettings(const QString& path, const SensorSnapshot& snapshot)
{
    IniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by the client's keys.
    if (!ini.load(path) && QFileInfo::exists(path))
        return false;
    for (const SettingKey& row : kKeys) {
        if (row.saved)
            writeKey(ini, row, snapshot);
    }
    return ini.save(path);
}
