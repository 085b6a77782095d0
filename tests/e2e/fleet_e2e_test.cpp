// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The whole system on one machine: a real broker, two real agents on simulated boards, the
// station's window (offscreen) and vrdctl. A temperature pushed over its limit on one board
// must reach the agent's database and tray, the station's readings and vrdctl; a broker
// restart must be survived by every program without restarting any of them.

#include "agent_process.h"
#include "mainform.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

const QString kChannel = QStringLiteral("E2E");

struct CommandResult {
    int exitCode = -1;
    QString output;
};

CommandResult vrdctl(quint16 port, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"),
                  QStringList{"--host", "127.0.0.1", "--port", QString::number(port), "--channel", kChannel,
                              "--timeout", "1500"} +
                      arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// Identities of the agents that answer a broadcast presence request.
std::set<QUuid> agentsAnswering(vrdtest::TestBroker& broker, int timeoutMs)
{
    vrdtest::TestMqttClient peer(broker.port());
    if (!peer.connectToBroker() || !peer.subscribe(msg::replyTopic(kChannel)))
        return {};
    std::set<QUuid> seen;
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < 2 && clock.elapsed() < timeoutMs) {
        peer.clear();
        peer.publish(msg::requestTopic(kChannel), msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()));
        vrdtest::waitUntil([&] { return false; }, 300);
        for (const QByteArray& payload : peer.payloads())
            if (auto reply = msg::parseMessage(payload); reply && reply->code == msg::KindProcessorLoad)
                if (auto from = msg::addressOf(reply->object))
                    seen.insert(*from);
    }
    return seen;
}

class FleetEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        hot = std::make_unique<AgentProcess>("winbond-w83627thf-295.json", broker.port(), kChannel);
        cool = std::make_unique<AgentProcess>("fintek-f81866.json", broker.port(), kChannel);
        ASSERT_TRUE(hot->start());
        ASSERT_TRUE(cool->start());
        ASSERT_EQ(agentsAnswering(broker, 10000).size(), 2u) << hot->output().toStdString() << cool->output().toStdString();
        QFile ini(stationDir.filePath("VRD.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nHQ_TOKEN=NORDA\nBRANCH_TOKEN=%2\n")
                      .arg(broker.port())
                      .arg(kChannel)
                      .toUtf8());
    }

    bool listedOnline(Mainform& station, const QUuid& identity)
    {
        const int row = station.clientList().rowOf(identity);
        if (row < 0)
            return false;
        const QIcon icon = qvariant_cast<QIcon>(station.clientList().index(row, 1).data(Qt::DecorationRole));
        return icon.cacheKey() == station.onlineIcon().cacheKey();
    }

    QDateTime lastSeen(Mainform& station, const QUuid& identity)
    {
        const int row = station.clientList().rowOf(identity);
        return row < 0 ? QDateTime()
                       : station.clientList().index(row, 1).data(ClientList::LastSeenRole).toDateTime();
    }

    vrdtest::TestBroker broker;
    std::unique_ptr<AgentProcess> hot;
    std::unique_ptr<AgentProcess> cool;
    QTemporaryDir stationDir;
};

TEST_F(FleetEndToEnd, AFaultTravelsFromTheBoardToEveryViewAndABrokerRestartIsSurvived)
{
    const QUuid hotId = hot->identity();
    const QUuid coolId = cool->identity();
    ASSERT_FALSE(hotId.isNull());
    ASSERT_FALSE(coolId.isNull());

    QElapsedTimer sinceStart;
    sinceStart.start();
    Mainform station(stationDir.path());
    // The user asks for the fleet once the station is on the broker.
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] { return station.requestLink()->isConnectedToHost() && station.replyReader().isSubscribed(); }, 2000));
    station.findChild<QPushButton*>("btnClientRefresh")->click();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return listedOnline(station, hotId) && listedOnline(station, coolId); },
                                   3000));
    EXPECT_LE(sinceStart.elapsed(), 3000);

    // Selecting the agent shows its readings.
    station.slot_tvClientClicked(station.clientList().model()->index(station.clientList().rowOf(hotId), 0));
    auto* cpuTemp = station.findChild<QLabel*>("labCPUTemp");
    auto* vcore = station.findChild<QLabel*>("labVcore");
    ASSERT_TRUE(vrdtest::waitUntil([&] { return vcore->text().endsWith(" V"); }, 3000));
    EXPECT_EQ(cpuTemp->text(), "44 'C");
    EXPECT_EQ(vrdctl(broker.port(), {"check", msg::uuidText(hotId)}).exitCode, 0);

    // 80 'C on the processor, above the default limit of 70.
    hot->setBoardRegister("1", "0x50", 80);
    QElapsedTimer sinceFault;
    sinceFault.start();
    EXPECT_TRUE(vrdtest::waitUntil([&] { return cpuTemp->text().contains("Red"); }, 12000)) << cpuTemp->text().toStdString();
    EXPECT_EQ(cpuTemp->text(), "<font color=\"Red\">80 'C</font>");
    EXPECT_TRUE(vrdtest::waitUntil([&] { return hot->output().contains("alarm: fault"); }, 12000))
        << hot->output().toStdString();
    EXPECT_TRUE(vrdtest::waitUntil([&] { return hot->faultRows(8) > 0; }, 12000 - int(sinceFault.elapsed())));
    EXPECT_LE(sinceFault.elapsed(), 12000);
    const CommandResult faults = vrdctl(broker.port(), {"faults", msg::uuidText(hotId)});
    EXPECT_EQ(faults.exitCode, 0);
    EXPECT_TRUE(faults.output.contains("Processor Temperature = 80 'C")) << faults.output.toStdString();
    const CommandResult check = vrdctl(broker.port(), {"check", msg::uuidText(hotId)});
    EXPECT_EQ(check.exitCode, 2) << check.output.toStdString();
    EXPECT_EQ(vrdctl(broker.port(), {"check", msg::uuidText(coolId)}).exitCode, 0);

    // The broker goes away and comes back on the same port; nobody is restarted.
    broker.stop();
    vrdtest::waitUntil([] { return false; }, 1000);
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    const QDateTime restarted = QDateTime::currentDateTime();
    EXPECT_EQ(agentsAnswering(broker, 5000).size(), 2u);
    EXPECT_EQ(vrdctl(broker.port(), {"check", msg::uuidText(hotId)}).exitCode, 2);
    // The station reconnects on its own every ten seconds.
    EXPECT_TRUE(vrdtest::waitUntil([&] { return lastSeen(station, hotId) > restarted && lastSeen(station, coolId) > restarted; },
                                   15000));
    EXPECT_TRUE(listedOnline(station, hotId));
    EXPECT_TRUE(listedOnline(station, coolId));
}

} // namespace
