// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What the plain and the secured test broker share: finding the mosquitto binary and free ports,
// starting the process until it accepts connections, and stopping it.

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QString>

#include <functional>
#include <memory>

namespace vrdtest {

// $VRD_MOSQUITTO, else mosquitto on the PATH or in the sbin folders; empty when there is none.
QString brokerProgram();

// A port of `address` nobody listens on now; 0 when none could be had.
quint16 freePort(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));

// True when a TCP connection to address:port is accepted within 200 ms.
bool acceptsTcp(const QHostAddress& address, quint16 port);

QByteArray readFile(const QString& path); // empty when it cannot be read

// Starts `program -c configPath` in a session of its own, its output appended to logPath, and
// waits until `accepts` says it takes connections. Null when it fails to start, exits or does
// not accept within timeoutMs; a failure to start is added to `notes`.
std::unique_ptr<QProcess> startBrokerProcess(const QString& program, const QString& configPath,
                                             const QString& logPath, const std::function<bool()>& accepts,
                                             int timeoutMs, QByteArray& notes);

// Terminates the broker, kills it if it has not ended within 5 s, and waits until it is gone.
void stopBrokerProcess(std::unique_ptr<QProcess>& process);

} // namespace vrdtest
