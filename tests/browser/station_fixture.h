// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Fixtures for the station's tests: a program directory with its files, the window on a real
// broker with a peer that sees the requests and publishes replies, and the fleet simulator.

#include "mainform.h"
#include "messages.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace stationtest {

// The QApplication of the test process, created on first use.
void ensureApplication();

constexpr char kChannel[] = "VARDEN6";

// A program directory with "VRD.INI" and "Client.sqlite" as a test wants them.
class ProgramDir {
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& content) const;
    void writeIni(quint16 port, const QString& channel = QLatin1String(kChannel)) const;

    // Creates Client.sqlite with the station's table and these (name, guid) rows, in order.
    void writeRegistry(const QList<QPair<QString, QString>>& rows) const;

    // Rows of the registry as "COMPUTERNAME|CPUNAME|OSNAME|SYSMODEL|SYSSERIL|GUID", in rowid order.
    QStringList registryRows() const;

private:
    QTemporaryDir m_dir;
};

// The registry rows once the station's writer has written everything it was given.
QStringList writtenRows(Mainform& station, const ProgramDir& dir);

// One parsed message; code 0 and an empty object when it is not a JSON object.
msg::Envelope parsed(const QByteArray& payload);

QJsonObject inventoryReply(const QUuid& id, const QString& name, const QString& cpu = QStringLiteral("cpu"));
QJsonObject presenceReply(const QUuid& id);
QJsonObject faultReply(int code, const QUuid& id, const QJsonArray& faults);

// The window on a real broker, its timer stopped so that each test drives the ticks. The peer
// is subscribed to the request topic and publishes on the reply topic.
class StationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the window in dir and waits until both of its links are subscribed.
    void startStation();

    // One tick; returns the requests it sent, in order. Every tick sends the presence request
    // last, so its arrival means the tick's other requests have arrived too.
    QList<msg::Envelope> tick();

    // The requests that reach the broker until the station sends a presence request, which the
    // caller provokes with a tick.
    QList<msg::Envelope> requestsUntilPresence();

    // Publishes a reply as a client would, to a request of its kind the station is taken to have
    // sent, and waits until the reader refused it or the window handled it.
    void publishReply(const QByteArray& payload);

    // Adds a client through its inventory reply, as Client Refresh would.
    QUuid addClient(const QString& name);

    QUuid identityAtRow(int row) { return station->clientList().identityAt(row); }
    void click(int row, int column = 0);

    template <typename T>
    T* widget(const char* name) const
    {
        return station->findChild<T*>(QLatin1String(name));
    }

    vrdtest::TestBroker broker;
    ProgramDir dir;
    std::unique_ptr<Mainform> station;
    std::unique_ptr<vrdtest::TestMqttClient> peer;
    int handledReplies = 0;
};

// The simulator as a child process, answering for `agents` agents on the test's broker.
class FleetProcess {
public:
    struct AgentLine {
        QUuid identity;
        QString name;
        int troubledType = -1;
    };

    ~FleetProcess();

    // Starts it and waits for "ready"; false (see output()) when it does not get there.
    bool start(quint16 port, int agents, const QStringList& extra = {});
    void stop();

    QList<AgentLine> agents() const { return m_agents; }
    QString output() const { return m_output; }

private:
    std::unique_ptr<QProcess> m_process;
    QList<AgentLine> m_agents;
    QString m_output;
};

} // namespace stationtest
