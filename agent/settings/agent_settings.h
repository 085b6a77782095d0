// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The agent's settings file: every key it reads, with its section, default and the field that
// holds it, in one table; loading and saving walk that table.

#include "broker_settings.h"
#include "sensor_snapshot.h"

#include <QString>
#include <variant>
#include <vector>

// Where the agent writes its readings for other monitoring systems; empty: nowhere.
struct ExportSettings {
    QString prometheusDir;
};

// The field's type is the key's type: switches (uint8_t) read as booleans, limits (int16_t) as
// integers with automatic base, the rest as text.
using SettingField = std::variant<uint8_t SensorSnapshot::*, int16_t SensorSnapshot::*, QString ExportSettings::*>;

struct SettingKey {
    const char* section;
    const char* key;
    const char* fallback; // the default of a text key, spelled as in the file; null for the
                          // snapshot's keys, whose defaults come from the sensor type table
    SettingField field;
    bool saved; // written back by every save; the other keys are only read
};

// The agent's own keys (the broker keys of section CLOUD are broker_settings.h's), in the order in
// which they are read; the saved ones are written in the same order.
const std::vector<SettingKey>& settingKeys();

// The default of a key, spelled as a save writes it.
QString settingDefault(const SettingKey& row);

// The settings file, relative to the working directory.
inline const QString kSettingsFileName = QStringLiteral("VRD.INI");

// Reads every key, the broker keys with the agent's defaults; a missing file, section or key gives
// the default. Limits keep the low 16 bits. A password in a file that other users can read is
// warned about on standard error.
void loadSettings(const QString& path, SensorSnapshot& snapshot, BrokerSettings& broker, ExportSettings& exports);

// Re-reads the file so every line the agent does not write survives, sets the saved keys from the
// snapshot, and writes the file. False when it could not be written (the old file is then intact).
bool saveSettings(const QString& path, const SensorSnapshot& snapshot);
