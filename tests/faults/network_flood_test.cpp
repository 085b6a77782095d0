// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Ten thousand hostile messages on an agent's request topic, a well-formed request among every
// twenty: the agent must answer every well-formed request, answer none of the others, and keep
// its memory flat. Figures: replies against requests, resident memory before and after, the
// flood's duration and throughput.

#include "client_process_fixture.h"
#include "messages.h"
#include "network_fleet.h"
#include "process_figures.h"
#include "qt_test_loop.h"
#include "test_broker.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString kChannel = QStringLiteral("FAULTNET2");
constexpr int kMessages = 10000;
constexpr int kWarmUpMessages = 1000;
constexpr int kHostilePerGood = 19;
// Blocks whose well-formed request is not answered yet: keeps the broker's queue for the agent
// far below the depth at which it would drop messages.
constexpr int kBlocksInFlight = 4;
constexpr int kAnswerAllowedMs = 30000;
// Resident memory may grow this much over the flood (allocator caches, the database's pages).
constexpr qint64 kGrowthAllowedKiB = 4 * 1024;

const QByteArray kBroadcast = msg::uuidText(msg::broadcastUuid()).toUtf8();

// {"SrvCall":<code>,"TUuid":"<broadcast>","Pad":"xxx…"} of exactly `size` bytes.
QByteArray paddedTo(const QByteArray& code, int size, char fill = 'x')
{
    const QByteArray head = "{\"SrvCall\":" + code + ",\"TUuid\":\"" + kBroadcast + "\",\"Pad\":\"";
    return head + QByteArray(size - head.size() - 2, fill) + "\"}";
}

QByteArray nested(int depth)
{
    const QByteArray brackets = QByteArray(depth, '[') + QByteArray(depth, ']');
    return "{\"SrvCall\":6,\"TUuid\":\"" + kBroadcast + "\",\"x\":" + brackets + "}";
}

QByteArray binaryBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

QByteArray manyKeys(int count)
{
    QByteArray text = "{\"SrvCall\":2";
    for (int i = 0; i < count; ++i)
        text += ",\"k" + QByteArray::number(i) + "\":" + QByteArray::number(i);
    return text + "}";
}

// Messages the agent must not answer: not JSON, not an object, a kind that is not a whole
// number in range, no "TUuid", an unknown kind, a one-machine kind addressed elsewhere or
// nowhere, or above the 64 KiB a message may have. (Presence and inventory are answered
// whatever "TUuid" holds, as long as it is there: they are not among these.)
QList<QByteArray> hostileMessages(const QUuid& agent)
{
    const QByteArray other = msg::uuidText(QUuid::createUuid()).toUtf8();
    const QByteArray own = msg::uuidText(agent).toUtf8();
    const auto request = [](const QByteArray& code, const QByteArray& address) {
        return "{\"SrvCall\":" + code + ",\"TUuid\":" + address + "}";
    };
    const QByteArray broadcast = "\"" + kBroadcast + "\"";
    return {
        "not JSON at all",
        "",
        binaryBytes(),
        "{\"SrvCall\":2,\"TUuid\":\"" + kBroadcast,
        request("2", broadcast) + " trailing",
        "[" + request("2", broadcast) + "]",
        "\"{\\\"SrvCall\\\":2}\"",
        request("\"2\"", broadcast),
        request("2.5", broadcast),
        request("true", broadcast),
        request("null", broadcast),
        request("[2]", broadcast),
        request("{\"n\":2}", broadcast),
        request("1e308", broadcast),
        request("-1e308", broadcast),
        request("2147483650", broadcast),
        request("-2147483649", broadcast),
        request("4294967298", broadcast),
        request("18446744073709551618", broadcast),
        request("1e999", broadcast),
        request("NaN", broadcast),
        request("Infinity", broadcast),
        request("\"" + QByteArray(60000, '2') + "\"", broadcast),
        "{\"SrvCall\":2}",
        "{\"SrvCall\":4}",
        "{\"TUuid\":" + broadcast + "}",
        request("6", broadcast),
        request("-1", broadcast),
        request("65535", broadcast),
        request("0", broadcast),
        request("1", broadcast),
        request("3", "\"" + other + "\""),
        request("5", "42"),
        request("1", "null"),
        request("3", "\"" + own + " \""),
        request("5", "\"" + own.mid(1) + "\""),
        request("1", "[\"" + own + "\"]"),
        request("1", "\"'; DROP TABLE SENSOR_TBL; --\""),
        request("5", "\"' OR '1'='1\""),
        request("3", "\"<b><font color=red>x</font></b><img src=x onerror=alert(1)>\""),
        request("3", "\"\xff\xfe\xfd\""),
        request("1", "\"\\u0000" + own + "\""),
        QByteArray(100000, '['),
        nested(5000),
        manyKeys(5000),
        paddedTo("7", msg::kMaxPayloadBytes),
        "{\"SrvCall\":2,\"Pad\":\"" + QByteArray(msg::kMaxPayloadBytes - 24, '\'') + "\"}",
        paddedTo("2", msg::kMaxPayloadBytes + 1),
        paddedTo("4", msg::kMaxPayloadBytes + 1, '<'),
        paddedTo("2", 256 * 1024),
    };
}

// Well-formed requests the agent must answer, one of each kind in turn.
QList<QByteArray> goodRequests(const QUuid& agent)
{
    return {msg::buildRequest(msg::KindCurrentSensors, agent),
            msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()),
            msg::buildRequest(msg::KindLastFaults, agent),
            msg::buildRequest(msg::KindInventory, msg::broadcastUuid()),
            msg::buildRequest(msg::KindTodaysFaults, agent)};
}

int kindOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object().value(QStringLiteral("SrvCall")).toInt(-1);
}

// Replies per kind among what the listener received.
std::map<int, int> repliesByKind(const vrdtest::TestMqttClient& listener)
{
    std::map<int, int> counts;
    for (const QByteArray& payload : listener.payloads())
        ++counts[kindOf(payload)];
    return counts;
}

// Under the address sanitizer freed memory waits in a quarantine of up to 256 MiB, which the
// flood's 140 MiB would fill: the agent gets a small one, so that its resident memory shows what
// it holds.
void keepSanitizerQuarantineSmall()
{
#if defined(__SANITIZE_ADDRESS__)
    const QByteArray options = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", options + (options.isEmpty() ? "" : ":") + "quarantine_size_mb=2");
#endif
}

struct FloodResult {
    std::map<int, int> goodSent; // by kind
    int goodTotal = 0;
    qint64 bytes = 0;
    qint64 elapsedMs = 0;
    bool paced = true; // every block's answer came within the time allowed
};

class NetworkFaultFlood : public testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        keepSanitizerQuarantineSmall();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        clienttest::ClientOptions options;
        options.port = broker.port();
        options.channel = kChannel;
        agent = std::make_unique<clienttest::ClientUnderTest>(options);
        ASSERT_TRUE(agent->start()) << agent->errors();
        const QSet<QUuid> answered = clienttest::Station(broker.port(), kChannel).awaitClients(1, 20000);
        ASSERT_EQ(answered.size(), 1);
        identity = *answered.begin();
        pid = nettest::processInDirectory(QFileInfo(agent->workFile(QStringLiteral("VRD.INI"))).absolutePath());
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(nettest::awaitConnections(pid, broker.port(), 3));
        ASSERT_TRUE(sender.connectToBroker());
        ASSERT_TRUE(listener.connectToBroker());
        ASSERT_TRUE(listener.subscribe(msg::replyTopic(kChannel)));
    }

    // Sends `count` messages, one well-formed among every kHostilePerGood + 1, and waits for
    // the answers as it goes.
    FloodResult flood(int count)
    {
        const QList<QByteArray> hostile = hostileMessages(identity);
        const QList<QByteArray> good = goodRequests(identity);
        listener.clear();
        FloodResult result;
        QElapsedTimer elapsed;
        elapsed.start();
        for (int sent = 0; sent < count; ++sent) {
            const bool isGood = sent % (kHostilePerGood + 1) == kHostilePerGood;
            const QByteArray& payload =
                isGood ? good[result.goodTotal % good.size()] : hostile[(sent - result.goodTotal) % hostile.size()];
            if (isGood) {
                ++result.goodSent[kindOf(payload)];
                ++result.goodTotal;
                result.paced = result.paced && vrdtest::waitUntil([&] {
                    return listener.payloads().size() >= result.goodTotal - kBlocksInFlight;
                }, kAnswerAllowedMs);
            }
            sender.publish(msg::requestTopic(kChannel), payload);
            result.bytes += payload.size();
        }
        // The agent answers in order: once it has answered one more request after the flood,
        // every message of the flood has been dealt with.
        ++result.goodSent[msg::KindInventory];
        ++result.goodTotal;
        sender.publish(msg::requestTopic(kChannel), msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
        const int inventories = result.goodSent[msg::KindInventory];
        vrdtest::waitUntil([&] { return repliesByKind(listener)[msg::KindInventory] >= inventories; },
                           kAnswerAllowedMs);
        result.elapsedMs = elapsed.elapsed();
        return result;
    }

    vrdtest::TestBroker broker;
    std::unique_ptr<clienttest::ClientUnderTest> agent;
    QUuid identity;
    qint64 pid = 0;
    vrdtest::TestMqttClient sender{broker.port()};
    vrdtest::TestMqttClient listener{broker.port()};
};

TEST_F(NetworkFaultFlood, TheAgentAnswersEveryGoodRequestAndNoHostileOneWithFlatMemory)
{
    // A first round fills the allocator's and the database's caches.
    flood(kWarmUpMessages);
    const qint64 residentBefore = vrdtest::residentKiB(pid);
    const qint64 readBefore = nettest::bytesRead(pid);
    const QSet<QByteArray> connectionsBefore = nettest::socketsTo(pid, broker.port());
    const size_t errorsBefore = agent->errors().size();

    const FloodResult result = flood(kMessages);
    const qint64 residentAfter = vrdtest::residentKiB(pid);
    // The flood reached the agent, not just the broker.
    const qint64 readDuringFlood = nettest::bytesRead(pid) - readBefore;
    const std::map<int, int> replies = repliesByKind(listener);
    const nettest::Stalls stalls = nettest::stallsIn(agent->errors().substr(errorsBefore));

    int answeredGood = 0;
    int answeredHostile = 0;
    for (const auto& [kind, count] : replies) {
        const int expected = result.goodSent.count(kind) ? result.goodSent.at(kind) : 0;
        answeredGood += std::min(count, expected);
        answeredHostile += std::max(0, count - expected);
    }
    EXPECT_TRUE(result.paced);
    EXPECT_EQ(nettest::socketsTo(pid, broker.port()), connectionsBefore) << "a link reconnected during the flood";
    EXPECT_GE(readDuringFlood, result.bytes);
    EXPECT_EQ(answeredGood, result.goodTotal);
    EXPECT_EQ(answeredHostile, 0);
    EXPECT_GT(residentBefore, 0);
    EXPECT_LE(residentAfter - residentBefore, kGrowthAllowedKiB);
    EXPECT_LT(stalls.longestMs, nettest::kStallAllowedMs) << agent->errors();
    EXPECT_TRUE(agent->isRunning()) << agent->errors();
    EXPECT_FALSE(broker.output().contains(QLatin1String("dropped")))
        << "the broker dropped messages: the flood outran it, not the agent";
    EXPECT_TRUE(agent->stop()) << agent->errors();

    nettest::reportFigure("good_answered", "replies to well-formed requests " + std::to_string(answeredGood) +
                                               " of " + std::to_string(result.goodTotal) + " sent");
    nettest::reportFigure("hostile_answered", "replies to hostile messages " + std::to_string(answeredHostile) +
                                                  " of " + std::to_string(kMessages - result.goodTotal + 1) + " sent");
    nettest::reportFigure("resident_kib", "agent VmRSS before " + std::to_string(residentBefore) + " KiB, after " +
                                              std::to_string(residentAfter) + " KiB (allowed growth " +
                                              std::to_string(kGrowthAllowedKiB) + " KiB)");
    nettest::reportFigure("flood_duration",
                          "flood of " + std::to_string(kMessages) + " messages (" +
                              std::to_string(result.bytes / 1024) + " KiB) in " + std::to_string(result.elapsedMs) +
                              " ms, " + std::to_string(kMessages * 1000 / std::max<qint64>(1, result.elapsedMs)) +
                              " messages/s; the agent read " + std::to_string(readDuringFlood / 1024) +
                              " KiB meanwhile");
    nettest::reportFigure("stalls", "event-loop stalls of the agent during the flood: " + nettest::stallText(stalls));
}

} // namespace
