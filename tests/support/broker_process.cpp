// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "broker_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace vrdtest {

namespace {

// The broker runs in a session of its own. A stopped process in a process group that loses its
// last tie to its session (the shell that started the test run exits first) is sent SIGHUP and
// SIGCONT by the kernel, which would end a hang before its time.
class OwnSessionProcess : public QProcess {
protected:
    void setupChildProcess() override { ::setsid(); }
};

} // namespace

QString brokerProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("VRD_MOSQUITTO");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

quint16 freePort(const QHostAddress& address)
{
    QTcpServer probe;
    return probe.listen(address, 0) ? probe.serverPort() : 0;
}

bool acceptsTcp(const QHostAddress& address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    const bool connected = socket.waitForConnected(200);
    socket.abort();
    return connected;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<QProcess> startBrokerProcess(const QString& program, const QString& configPath,
                                             const QString& logPath, const std::function<bool()>& accepts,
                                             int timeoutMs, QByteArray& notes)
{
    std::unique_ptr<QProcess> process = std::make_unique<OwnSessionProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    // A file, not a pipe: nobody has to drain it while a test runs.
    process->setStandardOutputFile(logPath, QIODevice::Append);
    process->start(program, {QStringLiteral("-c"), configPath});
    if (!process->waitForStarted(timeoutMs)) {
        notes += "broker: " + process->errorString().toLocal8Bit() + "\n";
        return nullptr;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeoutMs) {
        if (process->state() == QProcess::NotRunning)
            return nullptr;
        if (accepts())
            return process;
        process->waitForFinished(20);
    }
    stopBrokerProcess(process);
    return nullptr;
}

void stopBrokerProcess(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
    process.reset();
}

} // namespace vrdtest
