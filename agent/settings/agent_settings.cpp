// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "agent_settings.h"

#include "ini_file.h"

#include <QFileInfo>

namespace {

using S = SensorSnapshot;
using E = ExportSettings;

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

const std::vector<SettingKey> kKeys = {
    {"General", "CBCPUTemp", nullptr, &S::CBCPUTemp, true},
    {"General", "CBSYSTemp", nullptr, &S::CBSYSTemp, true},
    {"General", "CBCPUFan", nullptr, &S::CBCPUFan, true},
    {"General", "CBSYSFan", nullptr, &S::CBSYSFan, true},
    {"General", "CBVcore", nullptr, &S::CBVcore, true},
    {"General", "CBVio", nullptr, &S::CBVio, true},
    {"General", "CB5V", nullptr, &S::CB5V, true},
    {"General", "CB12V", nullptr, &S::CB12V, true},
    {"General", "CBN5V", nullptr, &S::CBN5V, true},
    {"General", "CBN12V", nullptr, &S::CBN12V, true},
    {"General", "CPUTemp_Hi", nullptr, &S::CPUTemp_Hi, true},
    {"General", "SYSTemp_Hi", nullptr, &S::SYSTemp_Hi, true},
    {"General", "FAN1_Lo", nullptr, &S::FAN1_Lo, true},
    {"General", "FAN2_Lo", nullptr, &S::FAN2_Lo, true},
    {"General", "Vcore_Hi", nullptr, &S::Vcore_Hi, true},
    {"General", "Vcore_Lo", nullptr, &S::Vcore_Lo, true},
    {"General", "Vio_Hi", nullptr, &S::Vio_Hi, true},
    {"General", "Vio_Lo", nullptr, &S::Vio_Lo, true},
    {"General", "+5V_Hi", nullptr, &S::P5V_Hi, true},
    {"General", "+5V_Lo", nullptr, &S::P5V_Lo, true},
    {"General", "+12V_Hi", nullptr, &S::P12V_Hi, true},
    {"General", "+12V_Lo", nullptr, &S::P12V_Lo, true},
    {"General", "-5V_Hi", nullptr, &S::N5V_Hi, true},
    {"General", "-5V_Lo", nullptr, &S::N5V_Lo, true},
    {"General", "-12V_Hi", nullptr, &S::N12V_Hi, true},
    {"General", "-12V_Lo", nullptr, &S::N12V_Lo, true},
    {"DEBUG", "DEBUG", nullptr, &S::Debug, false},
    {"EXPORT", "PROMETHEUS_DIR", "", &E::prometheusDir, false},
};

// The snapshot's own defaults are those of the sensor type table.
const SensorSnapshot kSnapshotDefaults{};

const QString kCloudSection = QStringLiteral("CLOUD");

struct LoadTargets {
    SensorSnapshot& snapshot;
    ExportSettings& exports;
};

void readKey(const IniFile& ini, const SettingKey& row, const LoadTargets& to)
{
    const QString section = QString::fromLatin1(row.section);
    const QString key = QString::fromLatin1(row.key);
    const auto flag = [&](bool fallback) { return ini.getBool(section, key, fallback); };
    const auto number = [&](int fallback) { return ini.getInt(section, key, fallback); };
    const auto text = [&] { return ini.getString(section, key, QString::fromLatin1(row.fallback)); };
    std::visit(Overloaded{
                   [&](uint8_t S::*f) { to.snapshot.*f = flag(kSnapshotDefaults.*f != 0) ? 1 : 0; },
                   [&](int16_t S::*f) { to.snapshot.*f = int16_t(number(kSnapshotDefaults.*f)); },
                   [&](QString E::*f) { to.exports.*f = text(); },
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
                   [](QString E::*) {}, // export settings are never written
               },
               row.field);
}

} // namespace

const std::vector<SettingKey>& settingKeys()
{
    return kKeys;
}

QString settingDefault(const SettingKey& row)
{
    return std::visit(Overloaded{
                          [](uint8_t S::*f) { return QString::number(kSnapshotDefaults.*f); },
                          [](int16_t S::*f) { return QString::number(kSnapshotDefaults.*f); },
                          [&](QString E::*) { return QString::fromLatin1(row.fallback); },
                      },
                      row.field);
}

void loadSettings(const QString& path, SensorSnapshot& snapshot, BrokerSettings& broker, ExportSettings& exports)
{
    IniFile ini;
    // An unreadable file reads as an empty one: every key takes its default.
    if (!ini.load(path) && QFileInfo::exists(path))
        qWarning("settings file %s cannot be read; the defaults are used", qUtf8Printable(path));
    for (const SettingKey& row : kKeys)
        readKey(ini, row, {snapshot, exports});
    broker = readBrokerSettings(
        [&ini](const QString& key) -> std::optional<QString> {
            if (!ini.contains(kCloudSection, key))
                return std::nullopt;
            return ini.getString(kCloudSection, key, QString());
        },
        BrokerDefaults::Agent);
    warnIfPasswordExposed(path, broker.access);
}

bool saveSettings(const QString& path, const SensorSnapshot& snapshot)
{
    IniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by the agent's keys.
    if (!ini.load(path) && QFileInfo::exists(path))
        return false;
    for (const SettingKey& row : kKeys) {
        if (row.saved)
            writeKey(ini, row, snapshot);
    }
    return ini.save(path);
}
