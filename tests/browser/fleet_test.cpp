// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The fleet simulator against the real broker: its addressing rule, and the station watching it.

#include "station_fixture.h"

#include "mqtt_transmit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <QLabel>

using namespace stationtest;

namespace {

class FleetTest : public StationTest {
protected:
    void SetUp() override
    {
        StationTest::SetUp();
        requester = std::make_unique<vrdtest::TestMqttClient>(broker.port());
        ASSERT_TRUE(requester->connectToBroker());
        ASSERT_TRUE(requester->subscribe(msg::replyTopic(QLatin1String(kChannel))));
    }

    QList<msg::Envelope> receivedReplies() const
    {
        QList<msg::Envelope> replies;
        for (const QByteArray& payload : requester->payloads())
            replies << parsed(payload);
        return replies;
    }

    // Sends a request, then a barrier every agent answers once, of a kind the request is not:
    // presence, or today's faults of each agent when the request is presence. Each agent answers
    // in order on its own connection, so once every agent's barrier reply is in, so are its
    // replies to the request; the agents' connections are not ordered among themselves. Returns
    // the replies to the request.
    QList<msg::Envelope> ask(const QByteArray& request)
    {
        const int requestKind = QJsonDocument::fromJson(request).object().value(QLatin1String("SrvCall")).toInt();
        const int barrierKind = requestKind == msg::KindProcessorLoad ? msg::KindTodaysFaults : msg::KindProcessorLoad;
        requester->clear();
        const QString topic = msg::requestTopic(QLatin1String(kChannel));
        EXPECT_TRUE(requester->publish(topic, request));
        if (barrierKind == msg::KindProcessorLoad) {
            EXPECT_TRUE(requester->publish(topic, msg::buildRequest(barrierKind, msg::broadcastUuid())));
        } else {
            for (const FleetProcess::AgentLine& agent : fleet.agents())
                EXPECT_TRUE(requester->publish(topic, msg::buildRequest(barrierKind, agent.identity)));
        }
        QList<msg::Envelope> replies;
        EXPECT_TRUE(vrdtest::waitUntil(
            [&] {
                replies = receivedReplies();
                QSet<QUuid> passed;
                for (const msg::Envelope& reply : replies)
                    if (reply.code == barrierKind)
                        passed.insert(msg::addressOf(reply.object).value_or(QUuid()));
                return passed.size() == fleet.agents().size();
            },
            10000));
        replies.erase(std::remove_if(replies.begin(), replies.end(),
                                     [&](const msg::Envelope& reply) { return reply.code == barrierKind; }),
                      replies.end());
        return replies;
    }

    std::unique_ptr<vrdtest::TestMqttClient> requester;
    FleetProcess fleet;
};

TEST_F(FleetTest, AnswersByTheAddressingRule)
{
    ASSERT_TRUE(fleet.start(broker.port(), 3)) << fleet.output().toStdString();
    ASSERT_EQ(fleet.agents().size(), 3);
    const QUuid first = fleet.agents().first().identity;
    const QString firstBare = msg::uuidText(first).mid(1, 36).toUpper();

    struct Case {
        const char* name;
        QByteArray request;
        int code;
        int replies;
    };
    const Case cases[] = {
        {"inventory to anyone", R"({"SrvCall":4,"TUuid":"x"})", msg::KindInventory, 3},
        {"sensors to nobody", R"({"SrvCall":1,"TUuid":"x"})", 0, 0},
        {"sensors without addressee", R"({"SrvCall":1})", 0, 0},
        {"inventory without addressee", R"({"SrvCall":4})", 0, 0},
        {"unknown kind", R"({"SrvCall":7,"TUuid":"x"})", 0, 0},
        {"sensors, identity bare and upper case",
         QByteArray(R"({"SrvCall":1,"TUuid":")") + firstBare.toLatin1() + "\"}", msg::KindCurrentSensors, 1},
        {"last faults", msg::buildRequest(msg::KindLastFaults, first), msg::KindLastFaults, 1},
        {"today's faults", msg::buildRequest(msg::KindTodaysFaults, first), msg::KindTodaysFaults, 1},
    };
    for (const Case& c : cases) {
        const QList<msg::Envelope> replies = ask(c.request);
        ASSERT_EQ(replies.size(), c.replies) << c.name;
        for (const msg::Envelope& reply : replies) {
            EXPECT_EQ(reply.code, c.code) << c.name;
            if (c.replies == 1) {
                EXPECT_EQ(msg::addressOf(reply.object), first) << c.name;
            }
        }
    }

    // Presence: one reply from each agent.
    const QList<msg::Envelope> presence = ask(msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()));
    QSet<QUuid> answered;
    for (const msg::Envelope& reply : presence) {
        EXPECT_EQ(reply.code, int(msg::KindProcessorLoad));
        answered.insert(msg::addressOf(reply.object).value_or(QUuid()));
    }
    EXPECT_EQ(answered.size(), 3);
}

TEST_F(FleetTest, RepliesCarryConsistentFigures)
{
    ASSERT_TRUE(fleet.start(broker.port(), 4, {QStringLiteral("--troubled-percent"), QStringLiteral("100")}))
        << fleet.output().toStdString();
    for (const FleetProcess::AgentLine& agent : fleet.agents()) {
        ASSERT_TRUE(agent.troubledType == SensorCpuTemp || agent.troubledType == SensorVcore);
        const QList<msg::Envelope> sensors = ask(msg::buildRequest(msg::KindCurrentSensors, agent.identity));
        ASSERT_EQ(sensors.size(), 1);
        const msg::SensorReport report = msg::parseSensorReply(sensors.first().object);
        const msg::SensorFigures& troubled = report.byType[size_t(agent.troubledType)];
        EXPECT_TRUE(troubled.enabled);
        EXPECT_GT(troubled.reading, troubled.high) << "a troubled reading is above its limit";

        const QList<msg::Envelope> faults = ask(msg::buildRequest(msg::KindLastFaults, agent.identity));
        ASSERT_EQ(faults.size(), 1);
        const QVector<msg::FaultEntry> entries = msg::parseFaultReply(faults.first().object);
        EXPECT_LE(entries.size(), msg::kMaxFaultEntries);
        for (int i = 1; i < entries.size(); ++i)
            EXPECT_GE(entries[i - 1].utcSeconds, entries[i].utcSeconds) << "newest first";

        const QList<msg::Envelope> inventory = ask(msg::buildRequest(msg::KindInventory, agent.identity));
        ASSERT_EQ(inventory.size(), 4);
    }
}

TEST_F(FleetTest, StationDiscoversWatchesAndShowsTheFleet)
{
    ASSERT_TRUE(fleet.start(broker.port(), 5, {QStringLiteral("--troubled-percent"), QStringLiteral("100")}))
        << fleet.output().toStdString();
    startStation();

    station->slot_btnClientRefreshClicked(false);
    ASSERT_TRUE(vrdtest::waitUntil([&] { return station->clientList().rowCount() == 5; }, 5000));
    EXPECT_EQ(writtenRows(*station, dir).size(), 5);

    tick();
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            station->slot_TimerEvent();
            for (int row = 0; row < 5; ++row) {
                const QVariant icon = station->clientList().index(row, 1).data(Qt::DecorationRole);
                if (qvariant_cast<QIcon>(icon).cacheKey() != station->onlineIcon().cacheKey())
                    return false;
            }
            return true;
        },
        5000));

    const FleetProcess::AgentLine agent = fleet.agents().first();
    click(station->clientList().rowOf(agent.identity));
    station->slot_TimerEvent();
    const char* troubledLabel = agent.troubledType == SensorCpuTemp ? "labCPUTemp" : "labVcore";
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !widget<QLabel>(troubledLabel)->text().isEmpty(); }, 5000));
    EXPECT_TRUE(widget<QLabel>(troubledLabel)->text().startsWith(QStringLiteral("<font color=\"Red\">")));
    EXPECT_FALSE(widget<QLabel>("labCPUName")->text().isEmpty());

    station->slot_btnHistoryInquiryClicked(false);
    ASSERT_TRUE(vrdtest::waitUntil([&] { return station->historyModel()->rowCount() > 0; }, 5000));
}

} // namespace
