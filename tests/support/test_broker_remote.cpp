// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// TestBroker for test programs that run under Wine: the broker is a real mosquitto on the Linux
// side, started and signalled for this fixture by vrd-broker-host (broker_host.cpp), whose port
// $VRD_BROKER_HOST names. Wine's programs cannot start or signal a Linux process themselves.

#include "test_broker.h"

#include <QTcpSocket>

namespace vrdtest {

namespace {

constexpr int kReplyTimeoutMs = 30000; // a start waits for the broker; a stop for its end

} // namespace

TestBroker::TestBroker()
    : m_host(std::make_unique<QTcpSocket>())
{
    const quint16 hostPort = quint16(qEnvironmentVariableIntValue("VRD_BROKER_HOST"));
    m_host->connectToHost(QHostAddress(QHostAddress::LocalHost), hostPort);
    if (hostPort == 0 || !m_host->waitForConnected(5000)) {
        m_notes += "test broker: no vrd-broker-host at the port $VRD_BROKER_HOST names\n";
        return;
    }
    const QByteArray greeting = call(QByteArray());
    if (greeting.startsWith("port "))
        m_port = quint16(greeting.mid(5).toUInt());
}

TestBroker::~TestBroker() = default; // the host kills the broker when the connection closes

QByteArray TestBroker::call(const QByteArray& command)
{
    if (m_host->state() != QAbstractSocket::ConnectedState)
        return {};
    if (!command.isEmpty())
        m_host->write(command + "\n");
    while (!m_host->canReadLine())
        if (!m_host->waitForReadyRead(kReplyTimeoutMs))
            return {};
    const QByteArray line = m_host->readLine().trimmed();
    return line.startsWith("ok ") ? line.mid(3) : line;
}

bool TestBroker::start(int timeoutMs)
{
    if (!m_extraConfig.isEmpty())
        call("config " + m_extraConfig.toBase64());
    return m_port != 0 && call("start " + QByteArray::number(timeoutMs)) == "1";
}

QString TestBroker::logPath() const
{
    // The host's Linux path, as Wine sees it.
    auto* self = const_cast<TestBroker*>(this);
    return QStringLiteral("Z:") + QString::fromUtf8(QByteArray::fromBase64(self->call("log")));
}

void TestBroker::stop()
{
    call("stop");
}

void TestBroker::kill()
{
    call("kill");
}

bool TestBroker::hang()
{
    return call("hang") == "1";
}

void TestBroker::resume()
{
    call("resume");
}

bool TestBroker::isHung() const
{
    return const_cast<TestBroker*>(this)->call("hung") == "1";
}

bool TestBroker::isRunning() const
{
    return const_cast<TestBroker*>(this)->call("running") == "1";
}

qint64 TestBroker::processId() const
{
    return const_cast<TestBroker*>(this)->call("pid").toLongLong();
}

QString TestBroker::output()
{
    return QString::fromLocal8Bit(m_notes) + QString::fromUtf8(QByteArray::fromBase64(call("output")));
}

} // namespace vrdtest
