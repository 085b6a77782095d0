// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The broker settings of section CLOUD, one table of key, field and default read by every program:
// the agent (its own settings file, through its line-preserving INI routines), the station and
// vrdctl (through QSettings), and the simulator (its option defaults).
//
//     BrokerSettings agent = readBrokerSettings(cloudKeyOf(ini), BrokerDefaults::Agent);
//     bool unreadable = false;
//     BrokerSettings station = readBrokerSettingsFile(path, BrokerDefaults::None, &unreadable);
//
// The values read the same way for every program: a flag (ENABLE, TLS) is on when its text
// starts with a decimal number other than 0; PORT is a whole number in 0 to 65535, in decimal,
// hexadecimal (0x) or octal (leading 0); the texts are taken as the file gives them.

#include "broker_access.h"

#include <QString>

#include <functional>
#include <optional>

struct BrokerSettings {
    bool enable = false; // ENABLE: the agent opens its links only when set
    QString host;        // HOST: an address literal, never resolved
    quint16 port = 0;    // PORT
    QString hqToken;     // HQ_TOKEN: topic of the agent's HQ link
    QString channel;     // BRANCH_TOKEN: prefix of the request and reply topics
    BrokerAccess access; // USER, PASSWORD, TLS, CA_FILE, CERT_FILE, KEY_FILE
};

// What a missing key, or a PORT that is no port, reads as: the agent's defaults (127.0.0.1, 1883,
// NORDA, VARDEN6, link off, anonymous plain TCP), which vrdctl and the simulator share, or none at
// all (empty texts, port 0), as the station reads its file.
enum class BrokerDefaults { Agent, None };

BrokerSettings brokerDefaults(BrokerDefaults defaults);

// The text of one key of section CLOUD as the file's own rules read it; nothing when absent.
using CloudKeyText = std::function<std::optional<QString>(const QString& key)>;

BrokerSettings readBrokerSettings(const CloudKeyText& keyText, BrokerDefaults defaults);

// The file at `path` read in INI format through QSettings (values keep their commas); a password
// that others can read is warned about. `readError`, when given, tells whether the settings store
// reported an error (an unreadable or malformed file; a missing file is none).
BrokerSettings readBrokerSettingsFile(const QString& path, BrokerDefaults defaults, bool* readError = nullptr);

// PORT's rule: nothing for text that is not a whole number in 0 to 65535 (blanks around it allowed).
std::optional<quint16> parseBrokerPort(const QString& text);
