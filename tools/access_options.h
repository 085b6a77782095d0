// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The broker login and TLS options shared by vrdctl and vrd-fleet-sim, over the same settings as
// the CLOUD keys USER, PASSWORD, TLS, CA_FILE, CERT_FILE and KEY_FILE of VRD.INI.
//
// The password is read from a file (--password-file), never taken on the command line, where
// every user of the machine could read it in the process list.

#include "broker_access.h"

#include <QString>

#include <optional>

class QCommandLineParser;

void addAccessOptions(QCommandLineParser& parser);

// `access` with every access option given on the command line applied over it; nothing, and the
// reason in `error`, when the password file cannot be read.
std::optional<BrokerAccess> applyAccessOptions(const QCommandLineParser& parser, BrokerAccess access, QString& error);
