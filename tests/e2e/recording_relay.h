// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A TCP relay on loopback between a program and the broker that keeps every byte it passes in
// both directions: what an onlooker on the network would see.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

class RecordingRelay : public QObject {
public:
    // Listens on a free port of `listenAddress` and passes each connection on to target:port.
    RecordingRelay(const QHostAddress& listenAddress, const QHostAddress& target, quint16 targetPort);

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }

    int connections() const { return m_connections; }
    QByteArray toBroker() const { return m_toBroker; }
    QByteArray fromBroker() const { return m_fromBroker; }

private:
    void accept();

    QTcpServer m_server;
    QHostAddress m_target;
    quint16 m_targetPort;
    int m_connections = 0;
    QByteArray m_toBroker;
    QByteArray m_fromBroker;
};
