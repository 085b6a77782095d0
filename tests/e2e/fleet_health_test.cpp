// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The station's fleet view against a simulated fleet and real agents on one broker: the health
// column marks every troubled client, follows a fault that starts and ends on a real board and
// an agent that is killed; the polling stays within N/10 requests a second; the events table
// holds exactly the transitions, and vrdctl prints them.

#include "agent_process.h"
#include "fleet_events.h"
#include "fleet_monitor.h"
#include "mainform.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kChannel = QStringLiteral("HEALTH");
// The cool board's processor temperature register and its resting value.
const QString kTempBank = QStringLiteral("1");
const QString kTempRegister = QStringLiteral("0x50");
constexpr int kRestingCelsius = 44;
constexpr int kHotCelsius = 80;
constexpr int kMarkWithinMs = 15000;

struct SimAgent {
    QString name;
    int troubledType = -1;
};

// vrd-fleet-sim on the test's broker; its agents as it lists them.
class FleetSim {
public:
    bool start(quint16 port, int agents, int troubledPercent)
    {
        m_process.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                        {"--port", QString::number(port), "--channel", kChannel, "--agents", QString::number(agents),
                         "--seed", "17", "--troubled-percent", QString::number(troubledPercent), "--print-agents"});
        if (!m_process.waitForStarted(5000))
            return false;
        QString printed;
        while (!printed.contains("ready\n") && m_process.waitForReadyRead(10000))
            printed += QString::fromUtf8(m_process.readAllStandardOutput());
        for (const QString& line : printed.split('\n')) {
            const QStringList fields = line.split(' ');
            if (fields.size() == 4 && fields[0] == "agent")
                this->agents[msg::parseUuid(fields[1])] = {fields[2], fields[3].toInt()};
        }
        return printed.contains("ready\n") && this->agents.size() == agents;
    }
    ~FleetSim()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    QMap<QUuid, SimAgent> agents;

private:
    QProcess m_process;
};

struct Command {
    int exitCode = -1;
    QByteArray output;
};

Command vrdctl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"), arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

class FleetHealth : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        QFile ini(stationDir.filePath("VRD.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n")
                      .arg(broker.port())
                      .arg(kChannel)
                      .toUtf8());
    }

    std::unique_ptr<Mainform> startStation()
    {
        auto station = std::make_unique<Mainform>(stationDir.path());
        EXPECT_TRUE(vrdtest::waitUntil([&] { return station->requestLink()->isConnectedToHost(); }, 3000));
        station->findChild<QPushButton*>("btnClientRefresh")->click();
        return station;
    }

    static QString health(Mainform& station, const QUuid& client)
    {
        const int row = station.clientList().rowOf(client);
        const QModelIndex cell = station.clientList().index(row, ClientList::kHealthColumn);
        return row < 0 ? QString() : cell.data(Qt::DisplayRole).toString();
    }

    static int onlineCount(Mainform& station)
    {
        int online = 0;
        for (int row = 0; row < station.clientList().rowCount(); ++row)
            online += station.clientList().shownOnline(row) ? 1 : 0;
        return online;
    }

    // Milliseconds until the client's health reads `text`, or -1 past the limit.
    static qint64 msUntilHealth(Mainform& station, const QUuid& client, const QString& text, int limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        return vrdtest::waitUntil([&] { return health(station, client) == text; }, limitMs) ? clock.elapsed() : -1;
    }

    QString databasePath() const { return stationDir.filePath("Client.sqlite"); }

    vrdtest::TestBroker broker;
    QTemporaryDir stationDir;
};

QMap<QUuid, QVector<QJsonObject>> eventsByClient(const QJsonArray& events)
{
    QMap<QUuid, QVector<QJsonObject>> byClient;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        byClient[QUuid::fromString(event.value("identity").toString())].append(event);
    }
    return byClient;
}

// Fault events of one client alternate per sensor, each starting with "fault_started"; returns
// the number of fault episodes (from no fault held to one or more).
int checkFaultSequence(const QVector<QJsonObject>& events, const QString& who)
{
    QMap<int, bool> held;
    int holding = 0;
    int episodes = 0;
    for (const QJsonObject& event : events) {
        const QString kind = event.value("event").toString();
        if (kind != "fault_started" && kind != "fault_ended")
            continue;
        const int sensor = event.value("sensor").toInt();
        const bool started = kind == "fault_started";
        EXPECT_NE(held.value(sensor), started) << who.toStdString() << " sensor " << sensor;
        held[sensor] = started;
        if (started && holding++ == 0)
            ++episodes;
        if (!started)
            --holding;
    }
    return episodes;
}

TEST_F(FleetHealth, TroubledClientsAreMarkedFaultsClearAndTheEventsTableHoldsExactlyTheTransitions)
{
    FleetSim sim;
    ASSERT_TRUE(sim.start(broker.port(), 200, 10));
    AgentProcess warm("winbond-w83627thf-295.json", broker.port(), kChannel);
    AgentProcess doomed("winbond-w83627thf-295.json", broker.port(), kChannel);
    ASSERT_TRUE(warm.start());
    ASSERT_TRUE(doomed.start());
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !warm.identity().isNull() && !doomed.identity().isNull(); }, 10000));
    const QUuid warmId = warm.identity();
    const QUuid doomedId = doomed.identity();
    const int fleetSize = sim.agents.size() + 2;

    std::unique_ptr<Mainform> station = startStation();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return onlineCount(*station) == fleetSize; }, 10000))
        << onlineCount(*station) << " of " << fleetSize << " online";

    // Every troubled agent of the fleet is marked within 15 s of being listed online.
    QElapsedTimer sinceOnline;
    sinceOnline.start();
    int troubled = 0;
    for (auto it = sim.agents.cbegin(); it != sim.agents.cend(); ++it) {
        if (it->troubledType < 0)
            continue;
        ++troubled;
        const qint64 left = std::max<qint64>(0, kMarkWithinMs - sinceOnline.elapsed());
        EXPECT_TRUE(vrdtest::waitUntil([&] { return health(*station, it.key()) == "fault"; }, int(left)))
            << it->name.toStdString() << " shows '" << health(*station, it.key()).toStdString() << "'";
    }
    ASSERT_GT(troubled, 5);
    ASSERT_GE(msUntilHealth(*station, warmId, "healthy", kMarkWithinMs), 0) << health(*station, warmId).toStdString();

    // A fault that starts and ends on a real board.
    warm.setBoardRegister(kTempBank, kTempRegister, kHotCelsius);
    const qint64 markedMs = msUntilHealth(*station, warmId, "fault", kMarkWithinMs);
    EXPECT_GE(markedMs, 0);
    warm.setBoardRegister(kTempBank, kTempRegister, kRestingCelsius);
    const qint64 clearedMs = msUntilHealth(*station, warmId, "healthy", kMarkWithinMs);
    EXPECT_GE(clearedMs, 0);
    std::printf("fault marked after %lld ms, cleared after %lld ms\n", static_cast<long long>(markedMs),
                static_cast<long long>(clearedMs));

    // An agent killed: no answer (a pending request runs out, or it goes offline).
    doomed.kill();
    EXPECT_GE(msUntilHealth(*station, doomedId, "no answer", 20000), 0);
    EXPECT_TRUE(vrdtest::waitUntil(
        [&] { return !station->clientList().shownOnline(station->clientList().rowOf(doomedId)); }, 25000));
    vrdtest::waitUntil([] { return false; }, 1500); // the next flush writes the offline event
    const int balloons = station->fleet().balloonsRaised();
    station.reset();

    const Command json = vrdctl({"events", "--db", databasePath(), "--json"});
    ASSERT_EQ(json.exitCode, 0);
    const QMap<QUuid, QVector<QJsonObject>> byClient = eventsByClient(QJsonDocument::fromJson(json.output).array());
    ASSERT_EQ(byClient.size(), fleetSize);

    const auto kinds = [](const QVector<QJsonObject>& events) {
        QStringList list;
        for (const QJsonObject& event : events)
            list << event.value("event").toString();
        return list;
    };
    const QVector<QJsonObject> warmEvents = byClient.value(warmId);
    ASSERT_EQ(kinds(warmEvents), QStringList({"online", "fault_started", "fault_ended"}));
    EXPECT_EQ(warmEvents[1].value("sensor").toInt(), int(SensorCpuTemp));
    EXPECT_EQ(warmEvents[1].value("value").toInt(), kHotCelsius);
    EXPECT_EQ(warmEvents[1].value("limit").toInt(), 70);
    EXPECT_EQ(warmEvents[2].value("value").toInt(), kRestingCelsius);
    EXPECT_EQ(kinds(byClient.value(doomedId)), QStringList({"online", "offline"}));

    int episodes = 1; // the warm agent's
    for (auto it = sim.agents.cbegin(); it != sim.agents.cend(); ++it) {
        const QVector<QJsonObject> events = byClient.value(it.key());
        const QStringList list = kinds(events);
        EXPECT_EQ(list.count("online"), 1) << it->name.toStdString();
        EXPECT_EQ(list.count("offline"), 0) << it->name.toStdString();
        ASSERT_FALSE(events.isEmpty());
        EXPECT_EQ(list.first(), "online");
        episodes += checkFaultSequence(events, it->name);
        if (it->troubledType >= 0) {
            const auto started = std::find_if(events.begin(), events.end(), [&](const QJsonObject& e) {
                return e.value("event") == "fault_started" && e.value("sensor").toInt() == it->troubledType;
            });
            EXPECT_NE(started, events.end()) << it->name.toStdString();
        }
    }
    // One balloon per fault episode of a client, no more.
    EXPECT_EQ(balloons, episodes);

    const Command text = vrdctl({"events", "--db", databasePath(), "--since", "1h"});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.output.contains("fault started: Processor Temperature = 80 'C (limit 70 'C)")) << text.output.data();
    EXPECT_TRUE(text.output.contains("fault ended: Processor Temperature = 44 'C (limit 70 'C)"));
    EXPECT_TRUE(text.output.contains(msg::uuidText(doomedId).toUtf8() + "  ") && text.output.contains("went offline"));
}

// At 1,000 clients the health polling sends at most 100 requests a second, as counted by the
// station and as seen on the broker.
TEST_F(FleetHealth, RequestRateAtAThousandClientsStaysWithinATenth)
{
    FleetSim sim;
    ASSERT_TRUE(sim.start(broker.port(), 1000, 10));
    std::unique_ptr<Mainform> station = startStation();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return onlineCount(*station) == 1000; }, 20000)) << onlineCount(*station);

    vrdtest::TestMqttClient listener(broker.port());
    ASSERT_TRUE(listener.connectToBroker());
    ASSERT_TRUE(listener.subscribe(msg::requestTopic(kChannel)));
    // A whole number of rounds once the polling is steady.
    vrdtest::waitUntil([] { return false; }, 2000);
    listener.clear();
    const quint64 sentBefore = station->fleet().poller().requestsSent();
    QElapsedTimer window;
    window.start();
    vrdtest::waitUntil([] { return false; }, 20000);
    const double seconds = window.elapsed() / 1000.0;
    QSet<QUuid> asked;
    int requests = 0;
    for (const QByteArray& payload : listener.payloads()) {
        const std::optional<msg::Envelope> request = msg::parseMessage(payload);
        if (!request || request->code != msg::KindCurrentSensors)
            continue;
        ++requests;
        if (const std::optional<QUuid> to = msg::addressOf(request->object))
            asked.insert(*to);
    }
    const double rate = requests / seconds;
    const quint64 sent = station->fleet().poller().requestsSent() - sentBefore;
    std::printf("health requests: %d on the broker (%llu sent) in %.1f s = %.1f/s to %d clients, %d online\n",
                requests, static_cast<unsigned long long>(sent), seconds, rate, int(asked.size()),
                station->fleet().poller().onlineCount());
    // The requests go out in tenths of a second, 10 at a time here: a window may catch one batch
    // more at its edges than its length holds. What the broker passed on is at most what was sent.
    EXPECT_LE(double(sent), 100.0 * seconds + 10);
    EXPECT_GE(double(sent), 90.0 * seconds);
    EXPECT_LE(requests, 100.0 * seconds + 10);
}

} // namespace
