// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Broker settings of the station, read from section CLOUD of its "VRD.INI". There are no
// defaults: a missing file or key reads as empty text, and the port as 0.

#include "broker_access.h"

#include <QString>

struct BrowserSettings {
    QString host;    // HOST: an address literal, never resolved
    quint16 port = 0; // PORT
    QString hqToken; // HQ_TOKEN: kept, not used by the station
    QString channel; // BRANCH_TOKEN: prefix of both broker topics
    BrokerAccess access; // USER, PASSWORD, TLS, CA_FILE, CERT_FILE, KEY_FILE
    bool readError = false; // the settings store reported an error (unreadable or malformed file)
};

// Reads the file at iniPath; never writes it. A PORT outside 0 to 65535 or not a number reads as 0.
// A password in a file that other users can read
// is warned about on standard error.
BrowserSettings readBrowserSettings(const QString& iniPath);
