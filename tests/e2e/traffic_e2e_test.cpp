// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Broker traffic with real agents: one presence request to N agents must cost the broker N
// deliveries of the request and N of the replies, not N more per agent. Counted by the broker
// itself ($SYS/broker/messages/sent, published every second here).

#include "agent_process.h"
#include "messages.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace {

const QString kChannel = QStringLiteral("TRAFFIC");
const QString kSentTopic = QStringLiteral("$SYS/broker/messages/sent");
constexpr int kRequests = 10;

// The broker's count of messages sent, as of its next $SYS update.
qint64 nextSentFigure(vrdtest::TestMqttClient& meter)
{
    meter.clear();
    if (!meter.waitForMessages(1, 3000))
        return -1;
    return meter.payloads().last().toLongLong();
}

std::set<QUuid> presenceRepliers(const vrdtest::TestMqttClient& station)
{
    std::set<QUuid> seen;
    for (const QByteArray& payload : station.payloads())
        if (auto reply = msg::parseMessage(payload); reply && reply->code == msg::KindProcessorLoad)
            if (auto from = msg::addressOf(reply->object))
                seen.insert(*from);
    return seen;
}

TEST(Traffic, OnePresenceRequestCostsTheBrokerTwoMessagesPerAgent)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    broker.setExtraConfig("sys_interval 1\n");
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    std::vector<std::unique_ptr<AgentProcess>> agents;
    for (const char* board : {"winbond-w83627thf-295.json", "fintek-f81866.json", "chipid-c452.json"}) {
        agents.push_back(std::make_unique<AgentProcess>(QLatin1String(board), broker.port(), kChannel));
        ASSERT_TRUE(agents.back()->start());
    }
    const size_t fleet = agents.size();

    vrdtest::TestMqttClient station(broker.port());
    ASSERT_TRUE(station.connectToBroker());
    ASSERT_TRUE(station.subscribe(msg::replyTopic(kChannel)));
    const QByteArray presence = msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            station.publish(msg::requestTopic(kChannel), presence);
            vrdtest::waitUntil([] { return false; }, 300);
            return presenceRepliers(station).size() == fleet;
        },
        15000));

    vrdtest::TestMqttClient meter(broker.port());
    ASSERT_TRUE(meter.connectToBroker());
    ASSERT_TRUE(meter.subscribe(kSentTopic));
    vrdtest::waitUntil([] { return false; }, 500); // the last replies of the start-up drain
    const qint64 before = nextSentFigure(meter);
    ASSERT_GE(before, 0);
    QElapsedTimer measured;
    measured.start();
    station.clear();
    for (int i = 0; i < kRequests; ++i) {
        station.publish(msg::requestTopic(kChannel), presence);
        vrdtest::waitUntil([] { return false; }, 100);
    }
    ASSERT_TRUE(station.waitForMessages(int(fleet) * kRequests, 5000));
    vrdtest::waitUntil([] { return false; }, 500);
    nextSentFigure(meter); // may have been taken while replies were still on their way
    const qint64 after = nextSentFigure(meter);
    const qint64 sysUpdates = measured.elapsed() / 1000 + 2; // one $SYS message a second to the meter

    // Each request reaches every agent's request link, each reply the station only. With the
    // agents' reply links subscribed, every reply would also reach every agent: +N per reply.
    const qint64 sent = after - before;
    EXPECT_GE(sent, qint64(2 * fleet * kRequests));
    EXPECT_LE(sent, qint64(2 * fleet * kRequests) + sysUpdates) << "broker sent " << sent << " messages";
}

} // namespace
