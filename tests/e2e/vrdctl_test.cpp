// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl against simulated agents on a real broker: every command, its JSON, the plugin exit
// codes, and the defaults it takes from VRD.INI.

#include "client_accounts.h"
#include "messages.h"
#include "program_run.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString kChannel = QStringLiteral("CTL");

struct Outcome {
    int exitCode = -1;
    QString out;
};

class VrdctlTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vrdtest::ensureCoreApplication();
        broker = new vrdtest::TestBroker;
        ASSERT_TRUE(broker->start()) << broker->output().toStdString();
        // Every agent holds one reading out of its limits for good.
        fleet = new QProcess;
        fleet->start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                     {"--port", QString::number(broker->port()), "--channel", kChannel, "--agents", "3", "--seed",
                      "7", "--troubled-percent", "100", "--print-agents"});
        ASSERT_TRUE(fleet->waitForStarted(5000));
        QString printed;
        while (!printed.contains("ready\n") && fleet->waitForReadyRead(5000))
            printed += QString::fromUtf8(fleet->readAllStandardOutput());
        ASSERT_TRUE(printed.contains("ready\n")) << printed.toStdString();
        for (const QString& line : printed.split('\n')) {
            const QStringList fields = line.split(' ');
            if (fields.size() == 4 && fields[0] == "agent")
                agents[fields[1]] = {fields[2], fields[3].toInt()};
        }
        ASSERT_EQ(agents.size(), 3u);
    }

    static void TearDownTestSuite()
    {
        fleet->terminate();
        fleet->waitForFinished(5000);
        delete fleet;
        delete broker;
    }

    static Outcome vrdctl(const QStringList& arguments, const QString& workingDirectory = QString(),
                      bool withBroker = true)
    {
        QStringList all = arguments;
        if (withBroker)
            all = QStringList{"--port", QString::number(broker->port()), "--channel", kChannel} + arguments;
        const vrdtest::ProgramRun run =
            vrdtest::runProgram(QStringLiteral(VRD_BIN_DIR "/vrdctl"), all, 15000, workingDirectory);
        return {run.exitCode, QString::fromUtf8(run.output)};
    }

    static QString someAgent() { return agents.begin()->first; }

    struct Agent {
        QString name;
        int troubledType;
    };
    static inline vrdtest::TestBroker* broker = nullptr;
    static inline QProcess* fleet = nullptr;
    static inline std::map<QString, Agent> agents;
};

TEST_F(VrdctlTest, ListShowsEveryAgentWithItsInventoryAndLoad)
{
    const Outcome run = vrdctl({"--json", "list"});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3) << run.out.toStdString();
    for (const QJsonValue& row : rows) {
        const QString id = row.toObject().value("uuid").toString();
        ASSERT_EQ(agents.count(id), 1u) << id.toStdString();
        EXPECT_EQ(row.toObject().value("name").toString(), agents[id].name);
        EXPECT_TRUE(row.toObject().value("load").isDouble());
    }
    const Outcome text = vrdctl({"list"});
    for (const auto& [id, agent] : agents)
        EXPECT_TRUE(text.out.contains(id + "  " + agent.name)) << text.out.toStdString();
}

TEST_F(VrdctlTest, SensorsMarkTheReadingOutOfItsLimits)
{
    const QString id = someAgent();
    const Outcome run = vrdctl({"--json", "sensors", id});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonObject reply = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(reply.value("uuid").toString(), id);
    const QJsonArray sensors = reply.value("sensors").toArray();
    ASSERT_EQ(sensors.size(), 10);
    bool troubledSeen = false;
    for (const QJsonValue& sensor : sensors) {
        if (sensor.toObject().value("type").toInt() != agents[id].troubledType)
            continue;
        troubledSeen = true;
        EXPECT_TRUE(sensor.toObject().value("enabled").toBool());
        EXPECT_TRUE(sensor.toObject().value("outOfLimits").toBool());
    }
    EXPECT_TRUE(troubledSeen);
    const Outcome text = vrdctl({"sensors", id});
    EXPECT_TRUE(text.out.contains("OUT OF LIMITS")) << text.out.toStdString();
    EXPECT_TRUE(text.out.startsWith("!") || text.out.contains("\n!")) << text.out.toStdString();
}

TEST_F(VrdctlTest, FaultsListTheAgentsHistory)
{
    const Outcome run = vrdctl({"--json", "faults", someAgent()});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonArray faults = QJsonDocument::fromJson(run.out.toUtf8()).object().value("faults").toArray();
    ASSERT_FALSE(faults.isEmpty()) << run.out.toStdString();
    EXPECT_LE(faults.size(), 50);
    EXPECT_FALSE(faults.first().toObject().value("text").toString().isEmpty());
    EXPECT_EQ(vrdctl({"--today", "faults", someAgent()}).exitCode, 0);
}

// The simulated agents predate the history request: no answer, exit 3; a history without a
// type is refused before anything is sent.
TEST_F(VrdctlTest, HistoryOfAnAgentWithoutHistoryIsUnknown)
{
    EXPECT_EQ(3, vrdctl({"--timeout", "500", "history", someAgent(), "--type", "8"}).exitCode);
    EXPECT_EQ(1, vrdctl({"history", someAgent()}).exitCode);
    EXPECT_EQ(3, vrdctl({"history", someAgent(), "--type", "11"}).exitCode);
}

TEST_F(VrdctlTest, CheckUsesMonitoringPluginExitCodes)
{
    const Outcome critical = vrdctl({"check", someAgent()});
    EXPECT_EQ(critical.exitCode, 2);
    EXPECT_TRUE(critical.out.startsWith("CRITICAL: ")) << critical.out.toStdString();
    const Outcome unknown = vrdctl({"--timeout", "800", "check", "{00000000-0000-0000-0000-00000000abcd}"});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_TRUE(unknown.out.startsWith("UNKNOWN: ")) << unknown.out.toStdString();
    for (const QStringList& wrong : {QStringList{"check", "not-an-identity"}, QStringList{"check"},
                                     QStringList{"reboot", someAgent()}})
        EXPECT_EQ(vrdctl(wrong).exitCode, 3) << wrong.join(' ').toStdString();
    EXPECT_EQ(vrdctl({"--timeout", "500", "--port", "1", "list"}).exitCode, 3); // no broker there
}

// vrdctl asks an agent on its own topic; one that reads only the shared topic (an agent of an
// older version) is asked there once half the time has passed without an answer.
TEST_F(VrdctlTest, AsksOnTheAgentsOwnTopicAndFallsBackToTheSharedOne)
{
    const QString older = kChannel + "OLD";
    QProcess sharedOnly;
    sharedOnly.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                     {"--port", QString::number(broker->port()), "--channel", older, "--agents", "1", "--seed", "8",
                      "--troubled-percent", "0", "--print-agents", "--shared-topics"});
    ASSERT_TRUE(sharedOnly.waitForStarted(5000));
    QString printed;
    while (!printed.contains("ready\n") && sharedOnly.waitForReadyRead(5000))
        printed += QString::fromUtf8(sharedOnly.readAllStandardOutput());
    const QString olderId = printed.section(' ', 1, 1);
    ASSERT_FALSE(msg::parseUuid(olderId).isNull()) << printed.toStdString();

    struct Case {
        QString channel;
        QString agent;
        QStringList topics; // of the requests, in order
        int exitCode;
    };
    const Case cases[] = {
        {kChannel, someAgent(), {msg::agentRequestTopic(kChannel, msg::parseUuid(someAgent()))}, 2},
        {older, olderId, {msg::agentRequestTopic(older, msg::parseUuid(olderId)), msg::requestTopic(older)}, 0},
    };
    for (const Case& c : cases) {
        vrdtest::TestMqttClient listener(broker->port());
        ASSERT_TRUE(listener.connectToBroker());
        ASSERT_TRUE(listener.subscribe(msg::requestTopic(c.channel)));
        ASSERT_TRUE(listener.subscribe(msg::requestTopic(c.channel) + "/+"));
        EXPECT_EQ(vrdctl({"--channel", c.channel, "--timeout", "2000", "check", c.agent}).exitCode, c.exitCode)
            << c.agent.toStdString();
        QStringList topics;
        for (const vrdtest::TestMqttClient::Message& message : listener.messages())
            topics << message.topic;
        EXPECT_EQ(topics, c.topics) << c.agent.toStdString();
    }
    sharedOnly.terminate();
    sharedOnly.waitForFinished(5000);
}

TEST_F(VrdctlTest, RefusesAPortBeyondTheTcpRange)
{
    // 65536 above the broker's port would wrap round to it if taken modulo 16 bits.
    const QString wrapped = QString::number(broker->port() + 65536);
    EXPECT_EQ(vrdctl({"--port", wrapped, "list"}, QString(), false).exitCode, 3);
}

TEST_F(VrdctlTest, DefaultsComeFromTheIniFileInTheWorkingDirectory)
{
    QTemporaryDir dir;
    QFile ini(dir.filePath("VRD.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n").arg(broker->port()).arg(kChannel).toUtf8());
    ini.close();
    const Outcome run = vrdctl({"--json", "list"}, dir.path(), false);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).array().size(), 3) << run.out.toStdString();
}

// The station's registry ties the agent to another account than the one it answers on (the
// simulated agents answer on the shared reply topic): its answers are refused until the tie is
// released, and a registry from before ties were kept ties nothing.
TEST_F(VrdctlTest, RefusesAnswersTheStationsTiesRefuseUntilReleased)
{
    QTemporaryDir dir;
    const QString registry = dir.filePath("Client.sqlite");
    const QString older = dir.filePath("older.sqlite");
    const QUuid agent = msg::parseUuid(someAgent());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "registry");
        db.setDatabaseName(registry);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(client_accounts::createTable(db));
        ASSERT_TRUE(client_accounts::store(db, agent, "elsewhere", 1));
        db.close();
        db.setDatabaseName(older);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec("CREATE TABLE CLIENTINFO_TBL( GUID CHAR(64) PRIMARY KEY );"));
        db.close();
    }
    QSqlDatabase::removeDatabase("registry");

    const Outcome refused = vrdctl({"--timeout", "1500", "--db", registry, "check", someAgent()});
    EXPECT_EQ(refused.exitCode, 3) << refused.out.toStdString();
    EXPECT_TRUE(refused.out.startsWith("UNKNOWN: no answer")) << refused.out.toStdString();
    EXPECT_EQ(vrdctl({"--db", older, "check", someAgent()}).exitCode, 2);

    const Outcome released = vrdctl({"--db", registry, "release", someAgent()}, QString(), false);
    EXPECT_EQ(released.exitCode, 0);
    EXPECT_EQ(released.out, "released " + someAgent() + " from account elsewhere: the next reply of any account "
                                                          "ties it again\n");
    EXPECT_EQ(vrdctl({"--db", registry, "check", someAgent()}).exitCode, 2);
    EXPECT_EQ(vrdctl({"--db", registry, "release", someAgent()}, QString(), false).exitCode, 1);
    EXPECT_EQ(vrdctl({"--db", dir.filePath("missing.sqlite"), "check", someAgent()}).exitCode, 3);
}

} // namespace
