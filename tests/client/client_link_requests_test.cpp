// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The real VrdClient answering requests through a real broker: who answers what, several
// clients on one channel, fault history from its database, and the topics a channel gives.

#include "client_process_fixture.h"
#include "messages.h"
#include "test_broker.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <memory>

using namespace clienttest;

namespace {

const QJsonValue kNoAddress(QJsonValue::Undefined);

class ClientRequestsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    }

    ClientOptions options(const QString& channel = QStringLiteral("VARDEN6")) const
    {
        ClientOptions o;
        o.port = broker.port();
        o.channel = channel;
        return o;
    }

    vrdtest::TestBroker broker;
};

QStringList codesOf(const QList<QJsonObject>& replies)
{
    QStringList codes;
    for (const QJsonObject& reply : replies)
        codes << QString::number(reply.value("SrvCall").toInt(-1));
    return codes;
}

TEST_F(ClientRequestsTest, AddressingRule)
{
    ClientUnderTest client(options());
    ASSERT_TRUE(client.start()) << client.errors();
    const QUuid own = client.storedIdentity();
    ASSERT_FALSE(own.isNull());
    Station station(broker.port(), "VARDEN6");
    ASSERT_TRUE(station.isReady());
    ASSERT_EQ(station.awaitClients(1), QSet<QUuid>{own});

    const QString ownLower = msg::uuidText(own);
    const QString ownBare = ownLower.mid(1, 36).toUpper();
    const QString broadcast = msg::uuidText(msg::broadcastUuid());
    const QString other = QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}");

    struct Case {
        int code;
        QJsonValue address;
        int reply; // -1: none
    };
    const Case cases[] = {
        {0, ownLower, -1},    {0, broadcast, -1},   {1, ownLower, 1},      {1, ownBare, 1},
        {1, broadcast, -1},   {1, other, -1},       {1, "x", -1},          {1, kNoAddress, -1},
        {2, broadcast, 2},    {2, other, 2},        {2, "x", 2},           {2, kNoAddress, -1},
        {3, ownBare, 3},      {3, broadcast, -1},   {3, other, -1},        {3, "x", -1},
        {3, kNoAddress, -1},  {4, broadcast, 4},    {4, "x", 4},           {4, kNoAddress, -1},
        {5, ownBare, 5},      {5, broadcast, -1},   {5, other, -1},        {5, "x", -1},
        {5, kNoAddress, -1},  {6, ownLower, -1},    {6, broadcast, -1},    {65535, ownLower, -1},
        {65535, broadcast, -1},
    };
    // The same rule on the shared topic, as a station that knows no other asks, and on the
    // client's own topic; only presence and inventory replies say that it reads one.
    for (const QString& topic : {msg::requestTopic("VARDEN6"), msg::agentRequestTopic("VARDEN6", own)}) {
        for (const Case& c : cases) {
            const QByteArray sent = request(c.code, c.address);
            SCOPED_TRACE(topic.toStdString() + " " + sent.toStdString());
            const QList<QJsonObject> replies = station.ask(sent, 1, 3000, topic);
            if (c.reply < 0) {
                EXPECT_TRUE(replies.isEmpty()) << codesOf(replies).join(' ').toStdString();
                continue;
            }
            ASSERT_EQ(replies.size(), 1) << codesOf(replies).join(' ').toStdString();
            EXPECT_EQ(replies[0].value("SrvCall").toInt(-1), c.reply);
            EXPECT_EQ(replies[0].value("TUuid").toString(), ownLower);
            EXPECT_EQ(msg::announcesOwnTopic(replies[0]), c.reply == 2 || c.reply == 4);
        }
    }
    // Another agent's own topic reaches this one not at all.
    EXPECT_TRUE(station.ask(request(2, broadcast), 1, 1000, msg::agentRequestTopic("VARDEN6", QUuid(other))).isEmpty());
}

// With a USER that can be one topic level the client replies on its user's topic; with one that
// cannot, on the shared topic, and says so once on standard error.
TEST_F(ClientRequestsTest, RepliesGoOnTheUsersOwnTopic)
{
    struct Case {
        const char* user;
        const char* topic;
        const char* told; // on standard error; "" nothing
    };
    const Case cases[] = {
        {"", "VARDEN6C2H", ""},
        {"site.agents", "VARDEN6C2H/site.agents", ""},
        {"site/agents", "VARDEN6C2H", "USER contains '/' and cannot be one topic level: replies go on VARDEN6C2H"},
        {"agents#", "VARDEN6C2H", "USER contains '#' and cannot be one topic level: replies go on VARDEN6C2H"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        ClientOptions o = options();
        if (*c.user)
            o.cloud = QByteArray("USER=") + c.user + "\r\nPASSWORD=secret\r\n";
        ClientUnderTest client(o);
        ASSERT_TRUE(client.start()) << client.errors();
        vrdtest::TestMqttClient station(broker.port());
        ASSERT_TRUE(station.connectToBroker());
        ASSERT_TRUE(station.subscribe(QStringLiteral("VARDEN6C2H/#")));
        ASSERT_TRUE(vrdtest::waitUntil(
            [&] {
                station.publish(msg::requestTopic("VARDEN6"), request(2, "x"));
                return station.waitForMessages(1, 200);
            },
            5000));
        EXPECT_EQ(station.messages().first().topic, QString::fromLatin1(c.topic));
        if (*c.told) {
            EXPECT_TRUE(client.waitForErrorText(QString::fromLatin1(c.told), 2000)) << client.errors();
            EXPECT_EQ(QString::fromStdString(client.errors()).count(QLatin1String("topic level")), 1);
        } else {
            EXPECT_EQ(client.errors().find("topic level"), std::string::npos) << client.errors();
        }
    }
}

TEST_F(ClientRequestsTest, TwoClientsOnOneChannelBothAnswerABroadcast)
{
    ClientUnderTest first(options()), second(options());
    ASSERT_TRUE(first.launch() && second.launch());
    ASSERT_TRUE(first.waitUntilStarted()) << first.errors();
    ASSERT_TRUE(second.waitUntilStarted()) << second.errors();
    const QSet<QString> identities{msg::uuidText(first.storedIdentity()), msg::uuidText(second.storedIdentity())};
    ASSERT_EQ(identities.size(), 2);

    Station station(broker.port(), "VARDEN6");
    ASSERT_TRUE(station.isReady());
    ASSERT_EQ(station.awaitClients(2).size(), 2);
    for (int code : {msg::KindProcessorLoad, msg::KindInventory}) {
        SCOPED_TRACE(code);
        const QList<QJsonObject> replies = station.ask(msg::buildRequest(code, msg::broadcastUuid()), 2);
        QSet<QString> answered;
        for (const QJsonObject& reply : replies)
            answered.insert(reply.value("TUuid").toString());
        EXPECT_EQ(replies.size(), 2);
        EXPECT_EQ(answered, identities);
    }
}

// Faults dated from a base time on, one every ten seconds, cycling through the sensor types.
QVector<StoredRow> faultRun(const QDateTime& from, int count)
{
    QVector<StoredRow> rows;
    for (int i = 0; i < count; ++i) {
        const QDateTime when = from.addSecs(10 * i);
        const int type = i % 10;
        rows.append({when, SensorCpuLoad, 7, 0});   // logged beside every fault, never a fault
        rows.append({when, type, 1000 + i, 1});
        rows.append({when, (type + 1) % 10, 50, 0}); // healthy reading
    }
    return rows;
}

QVector<StoredRow> newestFaults(const QVector<StoredRow>& rows, const QDate& since, int limit)
{
    QVector<StoredRow> faults;
    for (auto row = rows.crbegin(); row != rows.crend() && faults.size() < limit; ++row)
        if (row->err == 1 && row->when.date() >= since)
            faults.append(*row);
    return faults;
}

TEST_F(ClientRequestsTest, FaultHistoryNewestFirstAtMostFifty)
{
    const QDate today = QDate::currentDate();
    QVector<StoredRow> history = faultRun(QDateTime(today.addDays(-1), QTime(10, 0)), 30);
    history += faultRun(QDateTime(today, QTime(0, 0)), 38);
    // The two newest faults, with the texts the station shows.
    const QDateTime newest(today, QTime(0, 7, 0));
    history.append({newest.addSecs(-10), SensorN5V, 4512, 1});
    history.append({newest, SensorCpuTemp, 75, 1});

    struct Case {
        const char* channel;
        QVector<StoredRow> rows; // empty: the client's first run
        int last50;
        int today;
    };
    const Case cases[] = {{"EMPTY", {}, 0, 0}, {"FULL", history, 50, 40}};

    std::vector<std::unique_ptr<ClientUnderTest>> clients;
    for (const Case& c : cases) {
        clients.push_back(std::make_unique<ClientUnderTest>(options(c.channel)));
        if (!c.rows.isEmpty()) {
            ASSERT_TRUE(writeClientDatabase(clients.back()->workFile("sysinfo2.sqlite"),
                                            "{5EC0C0A0-0000-4000-8000-00000000FA17}", c.rows));
        }
        ASSERT_TRUE(clients.back()->launch());
    }
    for (size_t i = 0; i < clients.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.channel);
        ClientUnderTest& client = *clients[i];
        ASSERT_TRUE(client.waitUntilStarted()) << client.errors();
        const QUuid host = client.storedIdentity();
        if (!c.rows.isEmpty()) {
            EXPECT_EQ(msg::uuidText(host), "{5ec0c0a0-0000-4000-8000-00000000fa17}");
        }
        Station station(broker.port(), c.channel);
        ASSERT_TRUE(station.isReady());
        ASSERT_EQ(station.awaitClients(1), QSet<QUuid>{host});

        for (const auto& [code, expected] : {std::pair{msg::KindLastFaults, c.last50}, {msg::KindTodaysFaults, c.today}}) {
            SCOPED_TRACE(code);
            const QList<QJsonObject> replies = station.ask(msg::buildRequest(code, host));
            ASSERT_EQ(replies.size(), 1);
            ASSERT_TRUE(replies[0].value("Err50").isArray()) << "the key is sent even with nothing to list";
            const QJsonArray faults = replies[0].value("Err50").toArray();
            const QVector<StoredRow> stored =
                newestFaults(c.rows, code == msg::KindTodaysFaults ? today : QDate(), msg::kMaxFaultEntries);
            ASSERT_EQ(faults.size(), expected);
            ASSERT_EQ(stored.size(), expected);
            for (int f = 0; f < faults.size(); ++f) {
                const QJsonObject fault = faults[f].toObject();
                EXPECT_EQ(fault.value("TYPE").toInt(-1), stored[f].type) << f;
                EXPECT_EQ(fault.value("DT").toString(), QString::number(stored[f].when.toSecsSinceEpoch())) << f;
            }
            if (expected >= 2) {
                EXPECT_EQ(faults[0].toObject().value("MSG").toString(), "Processor Temperature = 75 'C");
                EXPECT_EQ(faults[1].toObject().value("MSG").toString(), "- 5V = 4.512 V");
            }
        }
    }
}

TEST_F(ClientRequestsTest, ChannelNamesTheTopics)
{
    // Two clients side by side on channels that must not hear each other.
    const char* channels[] = {"", "VARDEN6"};
    std::vector<std::unique_ptr<ClientUnderTest>> clients;
    for (const char* channel : channels) {
        clients.push_back(std::make_unique<ClientUnderTest>(options(channel)));
        ASSERT_TRUE(clients.back()->launch());
    }
    for (size_t i = 0; i < clients.size(); ++i) {
        const QString channel = channels[i];
        SCOPED_TRACE(channel.toStdString());
        ASSERT_TRUE(clients[i]->waitUntilStarted()) << clients[i]->errors();

        // The station's topics are channel + "H2C" and channel + "C2H", nothing more.
        Station station(broker.port(), channel);
        ASSERT_TRUE(station.isReady());
        ASSERT_EQ(station.awaitClients(1), QSet<QUuid>{clients[i]->storedIdentity()});
        const QList<QJsonObject> replies = station.ask(msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
        ASSERT_EQ(replies.size(), 1);
        EXPECT_EQ(replyIdentity(replies[0]), clients[i]->storedIdentity());
    }
}

} // namespace
