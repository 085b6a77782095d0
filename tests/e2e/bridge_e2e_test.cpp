// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Scale-out on the broker's own bridging: two site brokers, each bridged to a head-office
// broker (requests carried in, replies carried out), real agents on the sites (one replying on
// its user's topic), the station and vrdctl at head office. Every agent is discovered, answers
// each request once and is asked for its readings on its own topic; after one site broker
// restarts, its agents answer again within 5 s of its bridge coming back. The bridge lines are
// those of docs/deployment.md.

#include "agent_process.h"
#include "mainform.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "program_run.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

const QString kChannel = QStringLiteral("VARDEN6");
constexpr int kAnswerAfterBridgeMs = 5000;

// A site broker's bridge to head office: the channel's requests in, its replies out.
QByteArray bridgeTo(quint16 headOfficePort, const QByteArray& site)
{
    const QByteArray channel = kChannel.toUtf8();
    return "connection " + site + "-to-hq\n"
           "address 127.0.0.1:" + QByteArray::number(headOfficePort) + "\n"
           "topic " + channel + "H2C/# in 0\n"
           "topic " + channel + "C2H/# out 0\n"
           "cleansession true\n"
           "restart_timeout 1\n"
           "notifications true\n";
}

int vrdctl(quint16 port, const QStringList& arguments)
{
    return vrdtest::runProgram(QStringLiteral(VRD_BIN_DIR "/vrdctl"),
                               QStringList{"--host", "127.0.0.1", "--port", QString::number(port), "--channel",
                                           kChannel, "--timeout", "2000"} + arguments,
                               10000)
        .exitCode;
}

// Identities that answer one presence request published at head office within timeoutMs, each
// with the number of its answers.
std::map<QUuid, int> answers(vrdtest::TestMqttClient& hq, int timeoutMs)
{
    hq.clear();
    hq.publish(msg::requestTopic(kChannel), msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()));
    vrdtest::waitUntil([] { return false; }, timeoutMs);
    std::map<QUuid, int> seen;
    for (const QByteArray& payload : hq.payloads())
        if (auto reply = msg::parseMessage(payload); reply && reply->code == msg::KindProcessorLoad)
            if (auto from = msg::addressOf(reply->object))
                ++seen[*from];
    return seen;
}

std::set<QUuid> answering(vrdtest::TestMqttClient& hq, int timeoutMs)
{
    std::set<QUuid> seen;
    for (const auto& [id, count] : answers(hq, timeoutMs))
        seen.insert(id);
    return seen;
}

bool includes(const std::set<QUuid>& seen, const std::vector<QUuid>& wanted)
{
    for (const QUuid& id : wanted)
        if (!seen.count(id))
            return false;
    return true;
}

class BridgedSites : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(hq.start()) << hq.output().toStdString();
        siteA.setExtraConfig(bridgeTo(hq.port(), "site-a"));
        siteB.setExtraConfig(bridgeTo(hq.port(), "site-b"));
        ASSERT_TRUE(siteA.start()) << siteA.output().toStdString();
        ASSERT_TRUE(siteB.start()) << siteB.output().toStdString();
        for (const char* board : {"winbond-w83627thf-295.json", "fintek-f81866.json"})
            agentsA.push_back(std::make_unique<AgentProcess>(QLatin1String(board), siteA.port(), kChannel));
        agentsB.push_back(std::make_unique<AgentProcess>(QStringLiteral("fintek-f71889.json"), siteB.port(), kChannel));
        agentsB.back()->addCloudLines("USER=site-b\r\nPASSWORD=anything\r\n");
        for (auto* group : {&agentsA, &agentsB})
            for (auto& agent : *group)
                ASSERT_TRUE(agent->start());
        for (auto* group : {&agentsA, &agentsB}) {
            for (auto& agent : *group) {
                QUuid id;
                ASSERT_TRUE(vrdtest::waitUntil([&] { return !(id = agent->identity()).isNull(); }, 15000));
                (group == &agentsA ? idsA : idsB).push_back(id);
            }
        }
        QFile ini(stationDir.filePath("VRD.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n").arg(hq.port()).arg(kChannel).toUtf8());
    }

    std::vector<QUuid> everyone() const
    {
        std::vector<QUuid> all = idsA;
        all.insert(all.end(), idsB.begin(), idsB.end());
        return all;
    }

    vrdtest::TestBroker hq;
    vrdtest::TestBroker siteA;
    vrdtest::TestBroker siteB;
    std::vector<std::unique_ptr<AgentProcess>> agentsA;
    std::vector<std::unique_ptr<AgentProcess>> agentsB;
    std::vector<QUuid> idsA;
    std::vector<QUuid> idsB;
    QTemporaryDir stationDir;
};

TEST_F(BridgedSites, HeadOfficeDiscoversAndHearsEverySiteAgentAlsoAfterASiteBrokerRestart)
{
    vrdtest::TestMqttClient office(hq.port());
    ASSERT_TRUE(office.connectToBroker());
    ASSERT_TRUE(office.subscribe(msg::replyTopic(kChannel)));
    ASSERT_TRUE(office.subscribe(msg::anyUserReplyTopic(kChannel)));
    ASSERT_TRUE(office.subscribe(msg::requestTopic(kChannel) + "/+"));
    ASSERT_TRUE(office.subscribe(QStringLiteral("$SYS/broker/connection/#")));
    ASSERT_TRUE(vrdtest::waitUntil([&] { return includes(answering(office, 500), everyone()); }, 20000))
        << siteA.output().toStdString();
    // One answer each: the bridge carries a request once, whichever topic it is on.
    for (const auto& [id, count] : answers(office, 500))
        EXPECT_EQ(count, 1) << msg::uuidText(id).toStdString();
    const QString userTopic = msg::replyTopic(kChannel) + "/site-b";
    const QList<vrdtest::TestMqttClient::Message> heard = office.messages();
    EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [&](const auto& m) { return m.topic == userTopic; }));

    Mainform station(stationDir.path());
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] { return station.requestLink()->isConnectedToHost() && station.replyReader().isSubscribed(); }, 3000));
    station.findChild<QPushButton*>("btnClientRefresh")->click();
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            station.slot_TimerEvent();
            return station.clientList().onlineCount() == int(everyone().size());
        },
        10000));
    for (const QUuid& id : everyone())
        EXPECT_EQ(vrdctl(hq.port(), {"check", msg::uuidText(id)}), 0) << msg::uuidText(id).toStdString();
    // The health column, asked on each agent's own topic across the bridge.
    for (const QUuid& id : everyone())
        EXPECT_TRUE(vrdtest::waitUntil(
            [&] {
                ClientList& list = station.clientList();
                const QModelIndex health = list.index(list.rowOf(id), ClientList::kHealthColumn);
                return health.data().toString() == "healthy" || health.data().toString() == "fault";
            },
            15000))
            << msg::uuidText(id).toStdString();
    EXPECT_EQ(station.requestTopicFor(idsB.front()), msg::agentRequestTopic(kChannel, idsB.front()));

    // Site A's broker goes away and comes back on its port; nobody else is restarted.
    office.clear();
    siteA.stop();
    ASSERT_TRUE(siteA.start()) << siteA.output().toStdString();
    QElapsedTimer sinceBridge;
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            for (const vrdtest::TestMqttClient::Message& message : office.messages())
                if (message.topic.contains(QStringLiteral("site-a")) && message.payload == "1")
                    return true;
            return false;
        },
        15000))
        << siteA.output().toStdString();
    sinceBridge.start();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return includes(answering(office, 250), idsA); }, kAnswerAfterBridgeMs));
    EXPECT_LE(sinceBridge.elapsed(), kAnswerAfterBridgeMs);
    std::printf("site A agents answered %lld ms after its bridge came back\n", static_cast<long long>(sinceBridge.elapsed()));
    const QDateTime answeredAgain = QDateTime::currentDateTime().addSecs(-1);
    for (const QUuid& id : idsA)
        EXPECT_EQ(vrdctl(hq.port(), {"check", msg::uuidText(id)}), 0);
    // The station at head office kept its links and sees them again.
    EXPECT_TRUE(vrdtest::waitUntil(
        [&] {
            for (const QUuid& id : idsA) {
                const QModelIndex status = station.clientList().index(station.clientList().rowOf(id), 1);
                if (status.data(ClientList::LastSeenRole).toDateTime() < answeredAgain)
                    return false;
            }
            return true;
        },
        5000));
}

} // namespace
