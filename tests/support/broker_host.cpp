// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrd-broker-host: runs test brokers on this Linux machine for test programs that cannot start or
// signal a Linux process themselves (the Windows tests under Wine). Each TCP connection on its
// loopback port is one vrdtest::TestBroker; the connection's lines drive it, and closing the
// connection kills the broker. It prints its port on standard output once it listens.
//
//   -> (on connect)                 <- "port N"
//   -> "config BASE64"              <- "ok"      extra configuration lines for the next start
//   -> "start MS" | "stop" | "kill" | "hang" | "resume" | "hung" | "running" | "pid" | "output" | "log"
//   <- "ok VALUE"                   VALUE: 1/0, a number, or BASE64 text

#include "test_broker.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>

namespace {

// The reply's value; nothing for a command it does not know.
std::optional<QByteArray> answer(vrdtest::TestBroker& broker, const QByteArray& command, const QByteArray& argument)
{
    const auto flag = [](bool value) { return QByteArray(value ? "1" : "0"); };
    if (command == "config") {
        broker.setExtraConfig(QByteArray::fromBase64(argument));
        return QByteArray();
    }
    if (command == "start")
        return flag(broker.start(argument.isEmpty() ? 5000 : argument.toInt()));
    if (command == "stop")
        broker.stop();
    else if (command == "kill")
        broker.kill();
    else if (command == "hang")
        return flag(broker.hang());
    else if (command == "resume")
        broker.resume();
    else if (command == "hung")
        return flag(broker.isHung());
    else if (command == "running")
        return flag(broker.isRunning());
    else if (command == "pid")
        return QByteArray::number(broker.processId());
    else if (command == "output")
        return broker.output().toUtf8().toBase64();
    else if (command == "log")
        return broker.logPath().toUtf8().toBase64();
    else
        return std::nullopt;
    return QByteArray();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTcpServer server;
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUInt()) : 0;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "vrd-broker-host: cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("%u\n", server.serverPort());
    std::fflush(stdout);

    std::map<QTcpSocket*, std::unique_ptr<vrdtest::TestBroker>> brokers;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto& broker = brokers[socket] = std::make_unique<vrdtest::TestBroker>();
            socket->write("port " + QByteArray::number(broker->port()) + "\n");
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&brokers, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    const int space = line.indexOf(' ');
                    const QByteArray command = space < 0 ? line : line.left(space);
                    const QByteArray argument = space < 0 ? QByteArray() : line.mid(space + 1);
                    const std::optional<QByteArray> value = answer(*brokers.at(socket), command, argument);
                    socket->write(value ? "ok " + *value + "\n" : QByteArray("unknown command\n"));
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [&brokers, socket] {
                brokers.erase(socket);
                socket->deleteLater();
            });
        }
    });
    return app.exec();
}
