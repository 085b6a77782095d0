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
#include "program_run.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
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
    // `more` options follow the others, so that a later --seed wins.
    bool start(quint16 port, int agents, int troubledPercent, const QStringList& more = {})
    {
        m_process.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                        QStringList{"--port", QString::number(port), "--channel", kChannel, "--agents",
                                    QString::number(agents), "--seed", "17", "--troubled-percent",
                                    QString::number(troubledPercent), "--print-agents"}
                            + more);
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

vrdtest::ProgramRun vrdctl(const QStringList& arguments)
{
    return vrdtest::runProgram(QStringLiteral(VRD_BIN_DIR "/vrdctl"), arguments, 10000);
}

class FleetHealth : public testing::Test {
protected:
    void SetUp() override
    {
        broker.setExtraConfig("sys_interval 1\n");
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
        EXPECT_TRUE(vrdtest::waitUntil(
            [&] { return station->requestLink()->isConnectedToHost() && station->replyReader().isSubscribed(); },
            3000));
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

    const vrdtest::ProgramRun json = vrdctl({"events", "--db", databasePath(), "--json"});
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

    const vrdtest::ProgramRun text = vrdctl({"events", "--db", databasePath(), "--since", "1h"});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.output.contains("fault started: Processor Temperature = 80 'C (limit 70 'C)")) << text.output.data();
    EXPECT_TRUE(text.output.contains("fault ended: Processor Temperature = 44 'C (limit 70 'C)"));
    EXPECT_TRUE(text.output.contains(msg::uuidText(doomedId).toUtf8() + "  ") && text.output.contains("went offline"));
}

// A kind-1 request as the listener took it in.
struct Asked {
    QUuid addressee;
    QString topic;
    qint64 arrivedNs = 0;
};

QVector<Asked> healthRequests(const QList<vrdtest::TestMqttClient::Message>& messages)
{
    QVector<Asked> asked;
    for (const vrdtest::TestMqttClient::Message& message : messages) {
        const std::optional<msg::Envelope> request = msg::parseMessage(message.payload);
        if (!request || request->code != msg::KindCurrentSensors)
            continue;
        asked.append({msg::addressOf(request->object).value_or(QUuid()), message.topic, message.arrivedNs});
    }
    return asked;
}

// At 1,000 clients the health polling asks each client about once every ten seconds, 100
// requests a second, each on the topic of the client asked; everything the broker sends grows
// with the fleet: presence 2 N, health 0.2 N, and the answers to the keep-alive pings of three
// links per agent (about 0.3 N), under 2.6 N in all. Were the health requests delivered to every
// agent, the broker would send 0.1 N² more a second: 100 N more here.
TEST_F(FleetHealth, RequestRateAtAThousandClientsStaysWithinATenth)
{
    constexpr int kClients = 1000;
    FleetSim sim;
    ASSERT_TRUE(sim.start(broker.port(), kClients, 10));
    std::unique_ptr<Mainform> station = startStation();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return onlineCount(*station) == kClients; }, 20000)) << onlineCount(*station);

    vrdtest::TestMqttClient listener(broker.port());
    ASSERT_TRUE(listener.connectToBroker());
    ASSERT_TRUE(listener.subscribe(msg::requestTopic(kChannel)));
    ASSERT_TRUE(listener.subscribe(msg::requestTopic(kChannel) + "/+"));
    vrdtest::TestMqttClient meter(broker.port());
    ASSERT_TRUE(meter.connectToBroker());
    ASSERT_TRUE(meter.subscribe(QStringLiteral("$SYS/broker/messages/sent")));
    // A whole number of rounds once the polling is steady.
    vrdtest::waitUntil([] { return false; }, 2000);
    listener.clear();
    meter.clear();
    vrdtest::waitUntil([] { return false; }, 20000);
    const QList<vrdtest::TestMqttClient::Message> heard = listener.messages();
    const QList<vrdtest::TestMqttClient::Message> sentFigures = meter.messages();

    // The window runs from one request the listener took in to another: what lies between was
    // sent within it, however slowly the station's loop turned (a sanitizer build).
    const QVector<Asked> asked = healthRequests(heard);
    ASSERT_GT(asked.size(), 100);
    const double seconds = double(asked.last().arrivedNs - asked.first().arrivedNs) / 1e9;
    const int within = int(std::count_if(asked.begin(), asked.end(),
                                         [&](const Asked& a) { return a.arrivedNs < asked.last().arrivedNs; }));
    const double rate = double(within) / seconds;
    QHash<QUuid, int> perClient;
    int offTopic = 0;
    for (const Asked& a : asked) {
        ++perClient[a.addressee];
        offTopic += a.topic == msg::agentRequestTopic(kChannel, a.addressee) ? 0 : 1;
    }
    const int mostAsked = perClient.isEmpty() ? 0 : *std::max_element(perClient.begin(), perClient.end());

    // The broker's own count between two of its updates, less what it delivered to this test.
    ASSERT_GE(sentFigures.size(), 10);
    const auto& first = sentFigures.first();
    const auto& last = sentFigures.last();
    const double brokerSeconds = double(last.arrivedNs - first.arrivedNs) / 1e9;
    const auto inWindow = [&](const auto& m) { return m.arrivedNs > first.arrivedNs && m.arrivedNs <= last.arrivedNs; };
    const qint64 toTest = std::count_if(heard.begin(), heard.end(), inWindow) + sentFigures.size() - 1;
    const double brokerRate = double(last.payload.toLongLong() - first.payload.toLongLong() - toTest) / brokerSeconds;
    std::printf("health requests: %d in %.1f s = %.1f/s to %d clients (at most %d each), %d off their topic; "
                "broker sent %.0f/s (%.2f per client)\n",
                within, seconds, rate, int(perClient.size()), mostAsked, offTopic, brokerRate, brokerRate / kClients);
    EXPECT_LE(rate, kClients / 10.0 * 1.02);
    EXPECT_GE(rate, kClients / 10.0 * 0.9);
    EXPECT_EQ(offTopic, 0);
    EXPECT_LE(mostAsked, int(seconds / 10.0) + 2);
    EXPECT_LE(brokerRate, 2.6 * kClients);
}

// Agents that predate addressed topics (the simulator with --shared-topics) beside agents that
// read their own: every one is discovered, answers every kind the station asks, and has its
// health column filled; each is asked for its readings on the topic it reads.
TEST_F(FleetHealth, AgentsThatReadOnlyTheSharedTopicAreAskedThere)
{
    FleetSim own;
    FleetSim shared;
    ASSERT_TRUE(own.start(broker.port(), 20, 20));
    ASSERT_TRUE(shared.start(broker.port(), 20, 20, {"--shared-topics", "--seed", "18"}));
    vrdtest::TestMqttClient listener(broker.port());
    ASSERT_TRUE(listener.connectToBroker());
    ASSERT_TRUE(listener.subscribe(msg::requestTopic(kChannel)));
    ASSERT_TRUE(listener.subscribe(msg::requestTopic(kChannel) + "/+"));
    std::unique_ptr<Mainform> station = startStation();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return onlineCount(*station) == 40; }, 10000)) << onlineCount(*station);
    for (const FleetSim* sim : {&own, &shared})
        for (auto it = sim->agents.cbegin(); it != sim->agents.cend(); ++it)
            EXPECT_TRUE(vrdtest::waitUntil([&] { return !health(*station, it.key()).isEmpty(); }, 15000))
                << it->name.toStdString();

    for (const char* expected : {"fault", "healthy"}) {
        for (const FleetSim* sim : {&own, &shared}) {
            const bool troubled = QLatin1String(expected) == "fault";
            const auto it = std::find_if(sim->agents.cbegin(), sim->agents.cend(),
                                         [&](const SimAgent& a) { return (a.troubledType >= 0) == troubled; });
            ASSERT_NE(it, sim->agents.cend());
            EXPECT_EQ(health(*station, it.key()), expected) << it->name.toStdString();
        }
    }
    for (const Asked& a : healthRequests(listener.messages())) {
        const bool readsOwn = own.agents.contains(a.addressee);
        ASSERT_TRUE(readsOwn || shared.agents.contains(a.addressee));
        EXPECT_EQ(a.topic, readsOwn ? msg::agentRequestTopic(kChannel, a.addressee) : msg::requestTopic(kChannel));
    }

    // The fault histories (the last fifty, today's) of one that reads only the shared topic.
    const QUuid older = shared.agents.firstKey();
    station->slot_tvClientClicked(station->clientList().index(station->clientList().rowOf(older), 0));
    for (int query = 0; query < 2; ++query) {
        station->findChild<QComboBox*>("cbHistoryInquiry")->setCurrentIndex(query);
        station->historyModel()->removeRows(0, station->historyModel()->rowCount());
        station->findChild<QPushButton*>("btnHistoryInquiry")->click();
        EXPECT_TRUE(vrdtest::waitUntil([&] { return station->historyModel()->rowCount() > 0; }, 3000)) << query;
    }
}

} // namespace
