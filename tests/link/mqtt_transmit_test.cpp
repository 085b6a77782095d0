// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "messages.h"
#include "mqtt_transmit.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Policy = MqttTransmit::ReconnectPolicy;
using vrdtest::waitUntil;

// Collects what a link hands on.
struct Inbox {
    explicit Inbox(MqttTransmit& link)
    {
        QObject::connect(&link, &MqttTransmit::SignalMqttReceived, &link,
                         [this](const MqttMessage& message) { messages.append(message); });
    }
    QList<QByteArray> payloads() const
    {
        QList<QByteArray> result;
        for (const MqttMessage& message : messages)
            result.append(message.payload());
        return result;
    }
    QList<MqttMessage> messages;
};

class LinkOnBroker : public ::testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    }

    std::unique_ptr<MqttTransmit> link(const QString& topic, Policy policy = Policy::Client)
    {
        return std::make_unique<MqttTransmit>(broker.address(), broker.port(), topic, policy);
    }

    static bool subscribed(MqttTransmit& link, int timeoutMs = 3000)
    {
        return waitUntil([&] { return link.isSubscribed(); }, timeoutMs);
    }

    vrdtest::TestBroker broker;
};

TEST_F(LinkOnBroker, TwoLinksExchangeMessagesInOrder)
{
    auto sender = link(QStringLiteral("VARDEN6H2C"), Policy::Browser);
    auto receiver = link(QStringLiteral("VARDEN6H2C"), Policy::Client);
    Inbox sent(*sender);
    Inbox received(*receiver);
    sender->connectToHost();
    receiver->connectToHost();
    ASSERT_TRUE(subscribed(*sender));
    ASSERT_TRUE(subscribed(*receiver));
    EXPECT_TRUE(sender->isConnectedToHost());

    QList<QByteArray> burst;
    for (int i = 0; i < 200; ++i)
        burst.append(msg::buildRequest(msg::KindProcessorLoad, QUuid::createUuid()) + QByteArray::number(i));
    for (const QByteArray& payload : burst)
        ASSERT_TRUE(sender->PublishPayload(payload));

    ASSERT_TRUE(waitUntil([&] { return received.messages.size() >= burst.size(); }, 5000));
    EXPECT_EQ(received.payloads(), burst);
    const MqttMessage& first = received.messages.first();
    EXPECT_EQ(first.topic(), QStringLiteral("VARDEN6H2C"));
    EXPECT_EQ(first.qos(), 0);
    EXPECT_FALSE(first.retain());
    // A link hears its own topic, its own messages included.
    EXPECT_TRUE(waitUntil([&] { return sent.messages.size() >= burst.size(); }, 5000));
    // Two links in one process stay connected side by side (distinct client identifiers).
    EXPECT_TRUE(sender->isConnectedToHost());
    EXPECT_TRUE(receiver->isConnectedToHost());
}

TEST_F(LinkOnBroker, PayloadLargerThanTheSocketBufferLeavesWhole)
{
    // Far more than the kernel takes at once: the rest must leave as the socket drains,
    // with nothing arriving that would make the link write anyway.
    auto sender = link(QStringLiteral("bulk"));
    sender->connectToHost();
    ASSERT_TRUE(subscribed(*sender));
    vrdtest::TestMqttClient peer(broker.port());
    ASSERT_TRUE(peer.connectToBroker());
    ASSERT_TRUE(peer.subscribe(QStringLiteral("bulk")));

    const QByteArray payload(16 * 1024 * 1024, 'v');
    ASSERT_TRUE(sender->PublishPayload(payload));
    ASSERT_TRUE(peer.waitForMessages(1, 5000));
    EXPECT_EQ(peer.payloads().first(), payload);
}

TEST_F(LinkOnBroker, HearsOnlyItsOwnTopic)
{
    auto replies = link(QStringLiteral("VARDEN6C2H"));
    Inbox inbox(*replies);
    replies->connectToHost();
    ASSERT_TRUE(subscribed(*replies));

    vrdtest::TestMqttClient peer(broker.port());
    ASSERT_TRUE(peer.connectToBroker());
    peer.publish(QStringLiteral("VARDEN6H2C"), "request");
    peer.publish(QStringLiteral("NORDA"), "hq");
    peer.publish(QStringLiteral("VARDEN6C2H"), "reply");
    ASSERT_TRUE(waitUntil([&] { return !inbox.messages.isEmpty(); }, 2000));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(inbox.payloads(), QList<QByteArray>{"reply"});
}

// A publish-only link (an agent's reply link) reaches the subscribers of its topic but hears
// nothing on it, neither its own messages nor another publisher's, also after a reconnect.
TEST_F(LinkOnBroker, PublishOnlyLinkSendsButNeverReceives)
{
    auto replies = link(QStringLiteral("VARDEN6C2H"));
    replies->setSubscribing(false);
    Inbox inbox(*replies);
    vrdtest::TestMqttClient station(broker.port());
    ASSERT_TRUE(station.connectToBroker());
    ASSERT_TRUE(station.subscribe(QStringLiteral("VARDEN6C2H")));
    for (int connection = 0; connection < 2; ++connection) {
        replies->connectToHost();
        ASSERT_TRUE(waitUntil([&] { return replies->isConnectedToHost(); }, 3000));
        ASSERT_TRUE(replies->PublishPayload("own reply"));
        ASSERT_TRUE(station.publish(QStringLiteral("VARDEN6C2H"), "another agent's reply"));
        ASSERT_TRUE(station.waitForMessages(2, 2000));
        waitUntil([] { return false; }, 300);
        EXPECT_TRUE(inbox.messages.isEmpty());
        EXPECT_FALSE(replies->isSubscribed());
        station.clear();
        replies->disconnectFromHost();
    }
}

// An agent's request link reads the shared topic and its own; a station's reply link the shared
// topic and every per-user one. Each message arrives once, also after the broker restarts.
TEST_F(LinkOnBroker, ExtraSubscriptionsAreReadBesideTheTopicAndComeBackAfterARestart)
{
    const QUuid agent = QUuid::createUuid();
    auto requests = link(msg::requestTopic(QStringLiteral("VARDEN6")));
    requests->addSubscription(msg::agentRequestTopic(QStringLiteral("VARDEN6"), agent));
    auto replies = link(msg::replyTopic(QStringLiteral("VARDEN6")));
    replies->addSubscription(msg::anyUserReplyTopic(QStringLiteral("VARDEN6")));
    Inbox requestInbox(*requests);
    Inbox replyInbox(*replies);
    for (int connection = 0; connection < 2; ++connection) {
        requests->connectToHost();
        replies->connectToHost();
        ASSERT_TRUE(subscribed(*requests));
        ASSERT_TRUE(subscribed(*replies));
        vrdtest::TestMqttClient peer(broker.port());
        ASSERT_TRUE(peer.connectToBroker());
        requestInbox.messages.clear();
        replyInbox.messages.clear();
        const QString own = msg::agentRequestTopic(QStringLiteral("VARDEN6"), agent);
        peer.publish(QStringLiteral("VARDEN6H2C"), "shared request");
        peer.publish(own, "own request");
        peer.publish(msg::agentRequestTopic(QStringLiteral("VARDEN6"), QUuid::createUuid()), "another agent's");
        peer.publish(QStringLiteral("VARDEN6C2H"), "shared reply");
        peer.publish(QStringLiteral("VARDEN6C2H/agents"), "user reply");
        peer.publish(QStringLiteral("VARDEN6C2H/agents/deeper"), "two levels down");
        ASSERT_TRUE(waitUntil(
            [&] { return replyInbox.messages.size() >= 2 && requestInbox.messages.size() >= 2; }, 3000));
        waitUntil([] { return false; }, 300);
        EXPECT_EQ(requestInbox.payloads(), (QList<QByteArray>{"shared request", "own request"}));
        EXPECT_EQ(requestInbox.messages.value(1).topic(), own);
        EXPECT_EQ(replyInbox.payloads(), (QList<QByteArray>{"shared reply", "user reply"}));
        broker.stop();
        ASSERT_TRUE(waitUntil([&] { return !requests->isConnectedToHost() && !replies->isConnectedToHost(); }, 3000));
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    }
}

// A station's request link publishes a request for one agent on that agent's topic.
TEST_F(LinkOnBroker, PublishesOnAGivenTopicAndRefusesAWildcardOrControlCharacterWithoutLosingTheConnection)
{
    auto requests = link(QStringLiteral("VARDEN6H2C"), Policy::Browser);
    requests->setSubscribing(false);
    vrdtest::TestMqttClient agent(broker.port());
    ASSERT_TRUE(agent.connectToBroker());
    ASSERT_TRUE(agent.subscribe(QStringLiteral("VARDEN6H2C/#")));
    requests->connectToHost();
    ASSERT_TRUE(waitUntil([&] { return requests->isConnectedToHost(); }, 3000));

    EXPECT_FALSE(requests->PublishPayload("wildcard", QStringLiteral("VARDEN6H2C/+")));
    EXPECT_FALSE(requests->PublishPayload("wildcard", QStringLiteral("VARDEN6H2C/#")));
    EXPECT_FALSE(requests->PublishPayload("control character", QStringLiteral("VARDEN6C2H/a\x01")));
    EXPECT_TRUE(requests->PublishPayload("to one", QStringLiteral("VARDEN6H2C/{x}")));
    EXPECT_TRUE(requests->PublishPayload("to all"));
    ASSERT_TRUE(agent.waitForMessages(2, 2000));
    waitUntil([] { return false; }, 200);
    const QList<vrdtest::TestMqttClient::Message> got = agent.messages();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].topic, QStringLiteral("VARDEN6H2C/{x}"));
    EXPECT_EQ(got[0].payload, "to one");
    EXPECT_EQ(got[1].topic, QStringLiteral("VARDEN6H2C"));
    EXPECT_TRUE(requests->isConnectedToHost());
}

TEST_F(LinkOnBroker, EmptyChannelGivesBareSuffixTopics)
{
    auto requests = link(msg::requestTopic(QString()));
    auto replies = link(msg::replyTopic(QString()));
    Inbox inbox(*replies);
    requests->connectToHost();
    replies->connectToHost();
    ASSERT_TRUE(subscribed(*requests));
    ASSERT_TRUE(subscribed(*replies));

    vrdtest::TestMqttClient peer(broker.port());
    ASSERT_TRUE(peer.connectToBroker());
    ASSERT_TRUE(peer.subscribe(QStringLiteral("H2C")));
    ASSERT_TRUE(requests->PublishPayload("to clients"));
    ASSERT_TRUE(peer.publish(QStringLiteral("C2H"), "to browser"));

    ASSERT_TRUE(peer.waitForMessages(1, 2000));
    EXPECT_EQ(peer.messages().first().topic, QStringLiteral("H2C"));
    ASSERT_TRUE(waitUntil([&] { return !inbox.messages.isEmpty(); }, 2000));
    EXPECT_EQ(inbox.messages.first().topic(), QStringLiteral("C2H"));
}

TEST_F(LinkOnBroker, ClientPolicySubscribesAgainAfterBrokerRestart)
{
    auto requests = link(QStringLiteral("VARDEN6H2C"), Policy::Client);
    Inbox inbox(*requests);
    requests->connectToHost();
    ASSERT_TRUE(subscribed(*requests));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !requests->isConnectedToHost(); }, 3000));
    EXPECT_FALSE(requests->isSubscribed());
    waitUntil([] { return false; }, 1500); // a few refused attempts while the broker is down

    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    QElapsedTimer sinceAccepting;
    sinceAccepting.start();
    ASSERT_TRUE(subscribed(*requests, 2000)) << "not subscribed again within 2 s";
    EXPECT_LT(sinceAccepting.elapsed(), 2000);

    vrdtest::TestMqttClient browser(broker.port());
    ASSERT_TRUE(browser.connectToBroker());
    ASSERT_TRUE(browser.publish(QStringLiteral("VARDEN6H2C"), "after restart"));
    ASSERT_TRUE(waitUntil([&] { return !inbox.messages.isEmpty(); }, 2000));
    EXPECT_EQ(inbox.payloads(), QList<QByteArray>{"after restart"});
}

TEST_F(LinkOnBroker, BrowserPolicyReconnectsAfterTenSeconds)
{
    auto replies = link(QStringLiteral("VARDEN6C2H"), Policy::Browser);
    replies->connectToHost();
    ASSERT_TRUE(subscribed(*replies));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !replies->isConnectedToHost(); }, 3000));
    QElapsedTimer sinceDown;
    sinceDown.start();
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();

    EXPECT_FALSE(waitUntil([&] { return replies->isConnectedToHost(); }, 8000)) << "retried before 10 s";
    EXPECT_TRUE(subscribed(*replies, 4000));
    EXPECT_GE(sinceDown.elapsed(), 9500);
}

TEST_F(LinkOnBroker, IdleLinkOutlivesTheKeepAlive)
{
    // The broker drops a client that stays silent for 1.5 keep-alive periods (15 s, checked
    // about every 2 s).
    auto idle = link(QStringLiteral("VARDEN6H2C"));
    idle->connectToHost();
    ASSERT_TRUE(subscribed(*idle));
    EXPECT_FALSE(waitUntil([&] { return !idle->isSubscribed(); }, 20000)) << "the connection dropped while idle";
}

TEST_F(LinkOnBroker, PayloadGivenWhileDownIsDropped)
{
    auto replies = link(QStringLiteral("VARDEN6C2H"));
    vrdtest::TestMqttClient browser(broker.port());
    ASSERT_TRUE(browser.connectToBroker());
    ASSERT_TRUE(browser.subscribe(QStringLiteral("VARDEN6C2H")));

    EXPECT_FALSE(replies->PublishPayload("lost"));
    replies->connectToHost();
    ASSERT_TRUE(subscribed(*replies));
    ASSERT_TRUE(replies->PublishPayload("sent"));
    ASSERT_TRUE(browser.waitForMessages(1, 2000));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(browser.payloads(), QList<QByteArray>{"sent"});
}

TEST_F(LinkOnBroker, DisconnectStopsReconnectingUntilAskedAgain)
{
    auto requests = link(QStringLiteral("VARDEN6H2C"), Policy::Client);
    requests->connectToHost();
    ASSERT_TRUE(subscribed(*requests));

    requests->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return !requests->isConnectedToHost(); }, 2000));
    EXPECT_FALSE(waitUntil([&] { return requests->isConnectedToHost(); }, 2500));

    requests->connectToHost();
    EXPECT_TRUE(subscribed(*requests));
}

TEST(LinkAlone, SilentPeerAttemptIsAbandonedAfterTheKeepAlive)
{
    // Something that takes the TCP connection but never answers the MQTT handshake.
    vrdtest::ensureCoreApplication();
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    int accepted = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (silent.nextPendingConnection()) // kept open as children of the server
            ++accepted;
    });
    MqttTransmit link(QHostAddress(QHostAddress::LocalHost), silent.serverPort(), QStringLiteral("VARDEN6H2C"),
                      Policy::Client);
    link.connectToHost();
    ASSERT_TRUE(waitUntil([&] { return accepted == 1; }, 2000));
    EXPECT_FALSE(waitUntil([&] { return accepted > 1; }, 5000)) << "an attempt under way was restarted";
    EXPECT_TRUE(waitUntil([&] { return accepted > 1; }, 8000)) << "the silent attempt was never given up";
    EXPECT_FALSE(link.isConnectedToHost());
}

TEST_F(LinkOnBroker, HostNameInsteadOfAddressNeverConnects)
{
    for (const char* host : {"localhost", "127.0.0.1.", "", "broker.invalid"}) {
        MqttTransmit named(QHostAddress(QString::fromLatin1(host)), broker.port(), QStringLiteral("VARDEN6H2C"),
                           Policy::Client);
        QElapsedTimer call;
        call.start();
        named.connectToHost();
        EXPECT_LT(call.elapsed(), 50) << host;
        EXPECT_FALSE(waitUntil([&] { return named.isConnectedToHost(); }, 1200)) << host;
        EXPECT_FALSE(named.PublishPayload("x")) << host;
    }
}

// Collects Qt's warnings, such as those about timers driven from the wrong thread.
class WarningTrap {
public:
    WarningTrap() { s_previous = qInstallMessageHandler(&WarningTrap::handle); }
    ~WarningTrap() { qInstallMessageHandler(s_previous); }
    static QStringList warnings()
    {
        QMutexLocker lock(&s_mutex);
        return s_warnings;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type < QtWarningMsg)
            return;
        QMutexLocker lock(&s_mutex);
        s_warnings.append(text);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QMutex s_mutex;
    static inline QStringList s_warnings;
};

// Quits and joins on every way out of a test.
struct WorkerThread : QThread {
    ~WorkerThread() override
    {
        quit();
        wait();
    }
};

TEST_F(LinkOnBroker, LinkMovedToAWorkerThreadRunsThere)
{
    WarningTrap trap;
    WorkerThread worker;
    worker.start();
    auto* requests = new MqttTransmit(broker.address(), broker.port(), QStringLiteral("VARDEN6H2C"), Policy::Client);
    requests->moveToThread(&worker);
    QObject::connect(&worker, &QThread::finished, requests, &QObject::deleteLater);

    QThread* deliveredOn = nullptr;
    QAtomicInt delivered = 0;
    QObject::connect(requests, &MqttTransmit::SignalMqttReceived, requests, [&](const MqttMessage&) {
        deliveredOn = QThread::currentThread();
        delivered.storeRelease(1);
    });
    auto subscribedThere = [requests] {
        bool subscribed = false;
        QMetaObject::invokeMethod(
            requests, [&] { subscribed = requests->isSubscribed(); }, Qt::BlockingQueuedConnection);
        return subscribed;
    };
    QMetaObject::invokeMethod(requests, [requests] { requests->connectToHost(); });
    ASSERT_TRUE(waitUntil(subscribedThere, 3000));

    // Its timers moved along: the reconnection runs on the worker as well.
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !subscribedThere(); }, 3000));
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    ASSERT_TRUE(waitUntil(subscribedThere, 3000));

    vrdtest::TestMqttClient browser(broker.port());
    ASSERT_TRUE(browser.connectToBroker());
    ASSERT_TRUE(browser.publish(QStringLiteral("VARDEN6H2C"), "hello"));
    ASSERT_TRUE(waitUntil([&] { return delivered.loadAcquire() != 0; }, 2000));
    EXPECT_EQ(deliveredOn, &worker);
    EXPECT_TRUE(WarningTrap::warnings().isEmpty()) << WarningTrap::warnings().join('\n').toStdString();
}

} // namespace
