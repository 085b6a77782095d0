// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// How a link logs in to the broker and checks that the broker is the one it means: the USER,
// PASSWORD, TLS, CA_FILE, CERT_FILE and KEY_FILE keys of section CLOUD (read with the other broker
// keys, broker_settings.h). Left at their defaults the link connects as it always did: anonymous
// MQTT on plain TCP.

#include <QString>

struct BrokerAccess {
    QString user;     // USER: user name and password are sent only when this is not empty
    QString password; // PASSWORD: never written to any log, stream or reply
    bool tls = false; // TLS: the broker's certificate is checked against caFile and the address
    QString caFile;   // CA_FILE: PEM file of the CA that signed the broker's certificate
    QString certFile; // CERT_FILE: the program's own certificate, for brokers that ask for one
    QString keyFile;  // KEY_FILE: its key (unencrypted PEM)
};

// What keeps these settings from giving a connection, as one line for the user ("TLS=1 needs
// CA_FILE", "CA_FILE /x cannot be read"); empty when a link can try to connect with them. The
// files are checked as they are now: a file fixed later is seen at the next start.
QString brokerAccessProblem(const BrokerAccess& access);

// One warning line on standard error when the settings file at `path` holds a password and
// users other than its owner may read it. Nothing otherwise.
void warnIfPasswordExposed(const QString& path, const BrokerAccess& access);
