// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The real mosquitto run with the project's secured configuration (docs/broker/mosquitto.conf)
// and with files made at start by docs/broker/vrd-broker-files in a temporary directory: the
// CA, the broker's certificate for 127.0.0.1 only, a password file, the access rules, and the
// accounts (by default "agent" and "station") with their passwords and client certificates. A second CA
// made the same way has signed nothing this broker shows. Nothing secret lives in the tree.
//
//     vrdtest::SecureBroker broker;
//     ASSERT_TRUE(broker.start()) << broker.output();
//     BrokerAccess access = broker.access("agent", SecureBroker::Tls);
//     link.setAccess(access);  // then connect to broker.address(Tls), broker.port(Tls)
//
// Listeners (all accounts, rules and the packet size limit apply to each):
//   Tls              127.0.0.1, the configuration's own TLS listener
//   OtherAddress     127.0.0.2, TLS with the same certificate, which does not name 127.0.0.2
//   ClientCertificate 127.0.0.1, TLS that also requires a client certificate
//   Plain            127.0.0.1, plain TCP: logins and rules without encryption

#include "broker_access.h"

#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <memory>

namespace vrdtest {

class SecureBroker {
public:
    enum Listener { Tls, OtherAddress, ClientCertificate, Plain, ListenerCount };

    static constexpr char kChannel[] = "VARDEN6"; // the channel and HQ token the rules are made for
    static constexpr char kHqToken[] = "NORDA";

    // Accounts as vrd-broker-files takes them, ROLE:NAME.
    explicit SecureBroker(const QStringList& accounts = {QStringLiteral("agent:agent"),
                                                         QStringLiteral("station:station")});
    ~SecureBroker(); // kills a running broker

    SecureBroker(const SecureBroker&) = delete;
    SecureBroker& operator=(const SecureBroker&) = delete;

    // Makes the files on the first call, starts the broker and returns true once every listener
    // accepts TCP connections. Called again after stop(), it starts the same broker on the same
    // ports.
    bool start(int timeoutMs = 20000);
    void stop();

    QHostAddress address(Listener listener) const;
    quint16 port(Listener listener) const { return m_ports[listener]; }

    // A made file by name ("ca.crt", "agent.key", ...); the other CA's certificate is "other/ca.crt".
    QString file(const QString& name) const;
    QString password(const QString& account) const;

    // The settings an account's program needs for a listener: user and password, and for the TLS
    // listeners TLS with this broker's CA (and, for ClientCertificate, its own certificate).
    BrokerAccess access(const QString& account, Listener listener) const;

    QString output(); // what the file maker and the broker printed

private:
    bool makeFiles();
    bool writeConfig();
    bool allAccept() const;

    QTemporaryDir m_dir;
    QStringList m_accounts;
    std::array<quint16, ListenerCount> m_ports{};
    bool m_made = false;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_notes;
};

} // namespace vrdtest
