// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "test_broker.h"
#include "test_mqtt_client.h"

#include <gtest/gtest.h>

namespace {

class BrokerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    }

    vrdtest::TestBroker broker;
};

TEST_F(BrokerFixture, PeersExchangeMessages)
{
    vrdtest::TestMqttClient listener(broker.port());
    vrdtest::TestMqttClient talker(broker.port());
    ASSERT_TRUE(listener.connectToBroker());
    ASSERT_TRUE(talker.connectToBroker());
    ASSERT_TRUE(listener.subscribe(QStringLiteral("fixtureC2H")));

    ASSERT_TRUE(talker.publish(QStringLiteral("fixtureC2H"), "first"));
    ASSERT_TRUE(talker.publish(QStringLiteral("elsewhere"), "ignored"));
    ASSERT_TRUE(talker.publish(QStringLiteral("fixtureC2H"), QByteArray("\0second", 7)));
    ASSERT_TRUE(listener.waitForMessages(2, 2000));
    EXPECT_EQ(listener.payloads(), (QList<QByteArray>{"first", QByteArray("\0second", 7)}));
    EXPECT_EQ(listener.messages().first().topic, QStringLiteral("fixtureC2H"));
}

TEST_F(BrokerFixture, RestartsOnTheSamePort)
{
    const quint16 port = broker.port();
    vrdtest::TestMqttClient before(port);
    ASSERT_TRUE(before.connectToBroker());

    broker.stop();
    EXPECT_FALSE(broker.isRunning());
    EXPECT_TRUE(vrdtest::waitUntil([&] { return !before.isConnected(); }, 2000));

    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    EXPECT_EQ(broker.port(), port);
    vrdtest::TestMqttClient after(port);
    EXPECT_TRUE(after.connectToBroker());
}

TEST(BrokerFixtureAlone, StoppedBrokerRefusesClients)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    vrdtest::TestMqttClient client(broker.port());
    EXPECT_FALSE(client.connectToBroker(300));
}

} // namespace
