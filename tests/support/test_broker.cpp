// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "test_broker.h"
#include "broker_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace vrdtest {

TestBroker::TestBroker()
    : m_port(freePort())
{
}

TestBroker::~TestBroker()
{
    kill();
}

bool TestBroker::writeConfig()
{
    QFile config(m_dir.filePath(QStringLiteral("broker.conf")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray text = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n"
                            "allow_anonymous true\n"
                            "persistence false\n"
                            "set_tcp_nodelay true\n"
                            "log_dest stderr\n"
                            + m_extraConfig;
    return config.write(text) == text.size();
}

bool TestBroker::start(int timeoutMs)
{
    if (isRunning())
        return true;
    const QString program = brokerProgram();
    if (!m_dir.isValid() || m_port == 0 || program.isEmpty() || !writeConfig()) {
        m_notes += "test broker: no temporary directory, free port or mosquitto binary\n";
        return false;
    }
    m_process = startBrokerProcess(program, m_dir.filePath(QStringLiteral("broker.conf")), logPath(),
                                   [this] { return acceptsTcp(address(), m_port); }, timeoutMs, m_notes);
    return m_process != nullptr;
}

void TestBroker::stop()
{
    stopBrokerProcess(m_process);
}

void TestBroker::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process.reset();
}

bool TestBroker::hang()
{
    if (!m_process)
        return false;
    ::kill(pid_t(m_process->processId()), SIGSTOP);
    // The signal is delivered on the broker's way back to user space, not at once.
    QElapsedTimer elapsed;
    elapsed.start();
    while (!isHung() && elapsed.elapsed() < 2000)
        QThread::msleep(1);
    return isHung();
}

void TestBroker::resume()
{
    if (m_process)
        ::kill(pid_t(m_process->processId()), SIGCONT);
}

bool TestBroker::isHung() const
{
    if (!m_process)
        return false;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(m_process->processId()));
    // "pid (name) state ...": the state letter follows the name's closing parenthesis.
    const int state = stat.lastIndexOf(')') + 2;
    return state > 1 && state < stat.size() && (stat[state] == 'T' || stat[state] == 't');
}

bool TestBroker::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString TestBroker::output()
{
    return QString::fromLocal8Bit(m_notes + readFile(logPath()));
}

qint64 TestBroker::processId() const
{
    return isRunning() ? m_process->processId() : 0;
}

QString TestBroker::logPath() const
{
    return m_dir.filePath(QStringLiteral("broker.log"));
}

} // namespace vrdtest
