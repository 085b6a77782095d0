// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "recording_relay.h"

#include <QTcpSocket>

RecordingRelay::RecordingRelay(const QHostAddress& listenAddress, const QHostAddress& target, quint16 targetPort)
    : m_target(target)
    , m_targetPort(targetPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &RecordingRelay::accept);
    m_server.listen(listenAddress, 0);
}

void RecordingRelay::accept()
{
    while (QTcpSocket* program = m_server.nextPendingConnection()) {
        ++m_connections;
        auto* broker = new QTcpSocket(program);
        // The program's bytes wait in its socket until the broker side is connected.
        const auto forward = [this, program, broker] {
            if (broker->state() != QAbstractSocket::ConnectedState)
                return;
            const QByteArray bytes = program->readAll();
            m_toBroker += bytes;
            broker->write(bytes);
        };
        connect(program, &QTcpSocket::readyRead, this, forward);
        connect(broker, &QTcpSocket::connected, this, forward);
        connect(broker, &QTcpSocket::readyRead, this, [this, program, broker] {
            const QByteArray bytes = broker->readAll();
            m_fromBroker += bytes;
            program->write(bytes);
        });
        connect(program, &QTcpSocket::disconnected, program, &QObject::deleteLater);
        connect(broker, &QTcpSocket::disconnected, program, &QTcpSocket::disconnectFromHost);
        broker->connectToHost(m_target, m_targetPort);
    }
}
