// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Test fixtures around a real MQTT broker on loopback, for the link, client, browser and
// end-to-end tests.
//
//     #include "test_broker.h"
//     #include "test_mqtt_client.h"
//
//     vrdtest::ensureCoreApplication();          // unless the test made its own QApplication
//     vrdtest::TestBroker broker;
//     ASSERT_TRUE(broker.start()) << broker.output();
//     vrdtest::TestMqttClient peer(broker.port());
//     ASSERT_TRUE(peer.connectToBroker());
//     ASSERT_TRUE(peer.subscribe("VARDEN6C2H"));
//     peer.publish("VARDEN6H2C", R"({"SrvCall":2,"TUuid":"..."})");
//     ASSERT_TRUE(peer.waitForMessages(1, 2000));  // keeps the Qt event loop of this thread running
//
// Every wait pumps the calling thread's Qt event loop, so code under test that lives on the
// same thread (links, timers, windows) keeps working while the test waits.

#include "qt_test_loop.h"

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QTcpSocket;

namespace vrdtest {

// The real `mosquitto` binary on a free port of 127.0.0.1, anonymous access, no persistence.
// It sends with TCP_NODELAY (set_tcp_nodelay): with the broker's default, a small message that
// follows another can wait ~40 ms for the receiver's delayed ACK, which would swamp timings.
// The port is chosen at construction and kept for the fixture's life, so a stopped broker
// can be started again where its clients expect it. Fault tests also kill it outright, or hang
// it (SIGSTOP: sockets stay open, nothing is read or answered) and resume it.
class TestBroker {
public:
    TestBroker();
    ~TestBroker(); // kills a running broker and removes its files

    TestBroker(const TestBroker&) = delete;
    TestBroker& operator=(const TestBroker&) = delete;

    // Starts the broker and returns true once it accepts TCP connections; false when the
    // binary is missing, exits or does not accept within timeoutMs (see output()).
    bool start(int timeoutMs = 5000);

    // Lines appended to the broker's configuration at the next start (a bridge, $SYS interval).
    void setExtraConfig(const QByteArray& lines) { m_extraConfig = lines; }

    // Path of the broker's log, which it appends to across restarts.
    QString logPath() const;

    // Terminates the broker and waits until it is gone; every client loses its connection.
    void stop();
    // SIGKILL, and waits until the process is gone: no goodbye to any client.
    void kill();
    // SIGSTOP; true once the process has stopped.
    bool hang();
    void resume(); // SIGCONT
    bool isHung() const; // stopped, as /proc tells

    bool isRunning() const;
    qint64 processId() const; // 0 when not running
    quint16 port() const { return m_port; }
    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }

    // Everything the broker printed so far (for failure messages).
    QString output();

private:
    bool writeConfig();
    // Under Wine: one request to vrd-broker-host and its reply (test_broker_remote.cpp).
    QByteArray call(const QByteArray& command);

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_notes; // the fixture's own failure notes
    QByteArray m_extraConfig;
    std::unique_ptr<QTcpSocket> m_host; // the connection to vrd-broker-host, under Wine
};

} // namespace vrdtest
