// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// When the real VrdClient connects to the broker: only when enabled and given an address, and
// again by itself after the broker went away and came back.

#include "client_process_fixture.h"
#include "messages.h"
#include "test_broker.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace clienttest;

namespace {

class ClientConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    }

    vrdtest::TestBroker broker;
};

// The request, reply and HQ links.
constexpr int kLinksPerClient = 3;

TEST_F(ClientConnectionTest, OnlyAnEnabledClientWithAnAddressConnects)
{
    struct Case {
        const char* name;
        bool enable;
        const char* host;
        int connections;
    };
    const Case cases[] = {
        {"enabled, address", true, "127.0.0.1", kLinksPerClient},
        {"disabled", false, "127.0.0.1", 0},
        {"host name", true, "localhost", 0},
    };
    std::vector<std::unique_ptr<ClientUnderTest>> clients;
    for (const Case& c : cases) {
        ClientOptions options;
        options.port = broker.port();
        options.enable = c.enable;
        options.host = c.host;
        clients.push_back(std::make_unique<ClientUnderTest>(options));
        ASSERT_TRUE(clients.back()->launch());
    }
    for (auto& client : clients)
        ASSERT_TRUE(client->waitUntilStarted()) << client->errors();

    // The connecting client answers, so every client had its chance to connect.
    Station station(broker.port(), "VARDEN6");
    ASSERT_TRUE(station.isReady());
    EXPECT_EQ(station.awaitClients(1), QSet<QUuid>{clients[0]->storedIdentity()});
    // Watched for longer than one reconnect period (1 s): a client that retries has tried again.
    std::vector<int> most(clients.size(), 0);
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < 1500) {
        for (size_t i = 0; i < clients.size(); ++i)
            most[i] = std::max(most[i], clients[i]->connectionsTo(broker.port()));
        QThread::msleep(20);
    }
    for (size_t i = 0; i < clients.size(); ++i)
        EXPECT_EQ(most[i], cases[i].connections) << cases[i].name;

    // Not even a short-lived connection: the broker met only the enabled client's links and the station.
    const QString log = broker.output();
    EXPECT_EQ(log.count("New client connected"), kLinksPerClient + 1) << log.toStdString();
}

TEST_F(ClientConnectionTest, ReconnectsAndAnswersAfterTheBrokerReturns)
{
    ClientOptions options;
    options.port = broker.port();
    ClientUnderTest client(options);
    ASSERT_TRUE(client.start()) << client.errors();
    const QUuid host = client.storedIdentity();
    {
        Station station(broker.port(), "VARDEN6");
        ASSERT_TRUE(station.isReady());
        ASSERT_EQ(station.awaitClients(1), QSet<QUuid>{host});
    }

    broker.stop();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return client.connectionsTo(broker.port()) == 0; }, 3000));
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    QElapsedTimer sinceBack;
    sinceBack.start();

    Station station(broker.port(), "VARDEN6");
    ASSERT_TRUE(station.isReady());
    EXPECT_EQ(station.awaitClients(1, 2000), QSet<QUuid>{host});
    const qint64 answeredAfterMs = sinceBack.elapsed();
    EXPECT_LT(answeredAfterMs, 2000);
    EXPECT_TRUE(vrdtest::waitUntil([&] { return client.connectionsTo(broker.port()) == kLinksPerClient; }, 1000));
    EXPECT_TRUE(client.isRunning());
    RecordProperty("answered_after_ms", int(answeredAfterMs));
}

} // namespace
