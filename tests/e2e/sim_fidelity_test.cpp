// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The simulator must answer as an agent does: one simulated agent and one real VrdClient on the
// same simulated board, asked every kind of request; their replies must carry the same keys at
// every level, and the same values where they do not depend on the machine's moment (readings,
// switches and limits of the board; the machine's inventory).

#include "agent_process.h"
#include "messages.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString kChannel = QStringLiteral("FIDELITY");
const QString kBoard = QStringLiteral("winbond-w83627thf-295.json");

// Every key path of a JSON value ("CurrSensor[0].SenVcore"); arrays by their first element.
void keyPaths(const QJsonValue& value, const QString& at, QStringList& paths)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString path = at.isEmpty() ? it.key() : at + QLatin1Char('.') + it.key();
            paths << path;
            keyPaths(it.value(), path, paths);
        }
    } else if (value.isArray() && !value.toArray().isEmpty()) {
        keyPaths(value.toArray().first(), at + QStringLiteral("[0]"), paths);
    }
}

QStringList keyPaths(const QJsonObject& object)
{
    QStringList paths;
    keyPaths(object, QString(), paths);
    paths.sort();
    return paths;
}

class SimulatorProcess {
public:
    ~SimulatorProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    // Starts one agent on the board and returns its identity once it is ready.
    QUuid start(quint16 port)
    {
        m_process.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                        {"--port", QString::number(port), "--channel", kChannel, "--agents", "1", "--board",
                         QStringLiteral(VRD_SOURCE_DIR "/boards/") + kBoard, "--print-agents"});
        QUuid identity;
        vrdtest::waitUntil(
            [&] {
                m_output += m_process.readAllStandardOutput() + m_process.readAllStandardError();
                return m_output.contains("ready");
            },
            15000);
        for (const QByteArray& line : m_output.split('\n'))
            if (line.startsWith("agent "))
                identity = msg::parseUuid(QString::fromUtf8(line.split(' ').value(1)));
        return m_output.contains("ready") ? identity : QUuid();
    }

    QString output() const { return QString::fromUtf8(m_output); }

private:
    QProcess m_process;
    QByteArray m_output;
};

TEST(SimulatorFidelity, OneSimulatedAndOneRealAgentOnTheSameBoardAnswerAlike)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    AgentProcess real(kBoard, broker.port(), kChannel);
    ASSERT_TRUE(real.start());
    SimulatorProcess simulator;
    const QUuid simulated = simulator.start(broker.port());
    ASSERT_FALSE(simulated.isNull()) << simulator.output().toStdString();

    vrdtest::TestMqttClient station(broker.port());
    ASSERT_TRUE(station.connectToBroker());
    ASSERT_TRUE(station.subscribe(msg::replyTopic(kChannel)));
    QUuid realId;
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            realId = real.identity();
            return !realId.isNull();
        },
        15000))
        << real.output().toStdString();

    // code -> (identity -> reply object)
    std::map<int, std::map<QUuid, QJsonObject>> replies;
    const auto ask = [&](int code, const QUuid& to) {
        station.publish(msg::requestTopic(kChannel), msg::buildRequest(code, to));
    };
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            station.clear();
            for (int code : {msg::KindProcessorLoad, msg::KindInventory})
                ask(code, msg::broadcastUuid());
            for (int code : {msg::KindCurrentSensors, msg::KindLastFaults, msg::KindTodaysFaults})
                for (const QUuid& to : {realId, simulated})
                    ask(code, to);
            vrdtest::waitUntil([] { return false; }, 500);
            for (const QByteArray& payload : station.payloads())
                if (auto reply = msg::parseMessage(payload))
                    if (auto from = msg::addressOf(reply->object))
                        replies[reply->code][*from] = reply->object;
            for (int code = 1; code <= 5; ++code)
                if (replies[code].size() != 2)
                    return false;
            return true;
        },
        20000))
        << real.output().toStdString() << simulator.output().toStdString();

    for (int code = 1; code <= 5; ++code) {
        const QJsonObject fromReal = replies[code][realId];
        const QJsonObject fromSimulator = replies[code][simulated];
        // An empty fault list has no element whose keys could be compared: both lists are
        // compared as they come, and the keys of an element are the fault reply's.
        EXPECT_EQ(keyPaths(fromSimulator), keyPaths(fromReal)) << "kind " << code;
    }
    const auto element = [&](int code, const QUuid& from, const char* key) {
        return replies[code][from].value(QLatin1String(key)).toArray().first().toObject();
    };
    EXPECT_EQ(element(msg::KindCurrentSensors, simulated, "CurrSensor"),
              element(msg::KindCurrentSensors, realId, "CurrSensor"));
    QJsonObject realInventory = element(msg::KindInventory, realId, "CurrDMI");
    QJsonObject simulatedInventory = element(msg::KindInventory, simulated, "CurrDMI");
    EXPECT_EQ(simulatedInventory.take(QStringLiteral("Uuid")).toString(), msg::uuidText(simulated));
    realInventory.remove(QStringLiteral("Uuid"));
    EXPECT_EQ(simulatedInventory, realInventory);
}

} // namespace
