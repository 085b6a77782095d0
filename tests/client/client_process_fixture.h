// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The real VrdClient program (or vrd-agent, the same agent without a window) for integration
// tests: each client runs in its own working and runtime directory (so several can run side by
// side), on the offscreen platform and a simulated board, with a settings file the test writes.
//
//     vrdtest::TestBroker broker;  broker.start();
//     clienttest::ClientOptions options;
//     options.port = broker.port();
//     clienttest::ClientUnderTest client(options);
//     ASSERT_TRUE(client.start()) << client.errors();
//     QUuid id = client.storedIdentity();          // HOST_GUID of its sysinfo2.sqlite
//     clienttest::Station station(broker.port(), options.channel);
//     QList<QJsonObject> replies = station.ask(request);

#include "test_mqtt_client.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>
#include <QVector>

#include <csignal>
#include <memory>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QUuid& id, std::ostream* out)
{
    *out << id.toString().toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace clienttest {

inline const QString kBoards = QStringLiteral(VRD_SOURCE_DIR "/boards");
// A Fintek board whose readings lie inside the default limits.
inline const QString kQuietBoard = kBoards + QStringLiteral("/fintek-f81866.json");
// A Winbond board whose processor runs above the default temperature limit.
inline const QString kHotBoard = kBoards + QStringLiteral("/winbond-w83627hf-290-hot.json");

// Every sensor switched off: the logging thread then writes only processor-load rows, never a fault.
inline const QByteArray kAllSwitchesOff = "CBCPUTemp=0\r\nCBSYSTemp=0\r\nCBCPUFan=0\r\nCBSYSFan=0\r\nCBVcore=0\r\n"
                                          "CBVio=0\r\nCB5V=0\r\nCB12V=0\r\nCBN5V=0\r\nCBN12V=0\r\n";

struct ClientOptions {
    quint16 port = 0;
    QString host = QStringLiteral("127.0.0.1");
    bool enable = true;
    QString channel = QStringLiteral("VARDEN6");
    QString hqToken = QStringLiteral("NORDA");
    bool debug = false;
    QString board = kQuietBoard;
    QByteArray general = kAllSwitchesOff; // lines of section General
    QByteArray cloud;                     // further lines of section CLOUD (login, TLS)
    QFileDevice::Permissions settingsPermissions = {}; // of VRD.INI; none given: as created
    QByteArray moreSections;              // written after CLOUD, headers included
    bool headless = false;                // vrd-agent instead of VrdClient
};

class ClientUnderTest {
public:
    explicit ClientUnderTest(ClientOptions options);
    ~ClientUnderTest(); // kills a client still running

    ClientUnderTest(const ClientUnderTest&) = delete;
    ClientUnderTest& operator=(const ClientUnderTest&) = delete;

    QString workFile(const QString& name) const;
    // Its login session's runtime directory (XDG_RUNTIME_DIR), where its single-instance lock is.
    QString runtimeDirectory() const { return m_runtime.path(); }

    // Starts the program; true once its start-up has passed the tray step (the broker links are
    // made right after it, in the same pass). launch() and waitUntilStarted() are its two halves,
    // for starting several clients side by side.
    bool start();
    bool launch();
    bool waitUntilStarted();
    // Ends it through its normal shutdown (termination signal); true when it exited with 0.
    bool stop(int signalNumber = SIGTERM);
    bool isRunning() const;

    // Waits until the program's standard error holds `text`.
    bool waitForErrorText(const QString& text, int timeoutMs) const;
    std::string errors() const;

    // HOST_GUID of its database; the null UUID while it has none.
    QUuid storedIdentity() const;

    // TCP connections the running program holds to `port` (from /proc).
    int connectionsTo(quint16 port) const;

private:
    void writeSettings() const;

    ClientOptions m_options;
    QTemporaryDir m_work;
    QTemporaryDir m_runtime;
    QProcess m_process;
};

// One row of SENSOR_TBL as a test lays it down.
struct StoredRow {
    QDateTime when; // local time
    int type = 0;
    int data = 0;
    int err = 0;
};

// Creates "sysinfo2.sqlite" at `path` with the client's own tables, HOST_GUID `identity` and the
// rows in order (ascending ID).
bool writeClientDatabase(const QString& path, const QString& identity, const QVector<StoredRow>& rows);

// The station's side of the channel: an independent MQTT client that publishes requests and
// collects the replies.
class Station {
public:
    Station(quint16 port, const QString& channel);
    bool isReady() const { return m_ready; }

    // The replies that one request brings, in arrival order. A broadcast request of another
    // kind follows it as a marker: each client answers in order, so every reply to the request
    // has arrived once the marker's replies of all `clients` clients are in.
    // The request goes on `topic`, the shared request topic when empty; the marker always there.
    QList<QJsonObject> ask(const QByteArray& request, int clients = 1, int timeoutMs = 3000,
                           const QString& topic = QString());

    // Broadcasts the presence request every 100 ms until `clients` different clients have
    // answered (their links are up and subscribed), at most timeoutMs. Returns the identities.
    QSet<QUuid> awaitClients(int clients, int timeoutMs = 5000);

private:
    QString m_channel;
    vrdtest::TestMqttClient m_mqtt;
    bool m_ready = false;
};

// The request {"SrvCall":code,"TUuid":address}; an undefined address leaves "TUuid" out.
QByteArray request(int code, const QJsonValue& address);

// Identity text as stored (braced, upper case); "TUuid" of a reply parsed back.
QUuid replyIdentity(const QJsonObject& reply);

} // namespace clienttest
