// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// An agent on a captured hwmon machine (inside a private namespace, so libsensors reads the
// fixture's /sys/class and configuration): its start names the source, and the station and
// vrdctl show the readings the kernel's drivers gave, through a real broker.

#include "agent_process.h"
#include "hwmon_namespace.h"
#include "mainform.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "test_broker.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

const QString kChannel = QStringLiteral("HWMON");

// vrdctl's readings by type code.
std::map<int, int> vrdctlReadings(quint16 port, const QUuid& agent)
{
    QProcess process;
    process.start(QStringLiteral(VRD_BIN_DIR "/vrdctl"),
                  {"--host", "127.0.0.1", "--port", QString::number(port), "--channel", kChannel, "--timeout",
                   "3000", "--json", "sensors", agent.toString(QUuid::WithBraces).toLower()});
    if (!process.waitForFinished(10000))
        process.kill();
    std::map<int, int> readings;
    const QJsonArray rows = QJsonDocument::fromJson(process.readAllStandardOutput()).object().value("sensors").toArray();
    for (const QJsonValue& row : rows)
        readings[row.toObject().value("type").toInt()] = row.toObject().value("reading").toInt();
    return readings;
}

TEST(HwmonEndToEnd, StationAndVrdctlShowTheKernelDriversReadings)
{
    if (!hwmon_fixture::refusal().isEmpty())
        GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    AgentProcess agent("no-chip.json", broker.port(), kChannel);
    agent.useHwmonMachine(QStringLiteral("w83627ehf-coretemp"));
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !agent.identity().isNull(); }, 10000)) << agent.output().toStdString();
    const QUuid identity = agent.identity();
    // libsensors lists the devices in directory order.
    const QRegularExpression sourceLine(
        "hwmon: (coretemp-isa-0000, w83627ehf-isa-0290|w83627ehf-isa-0290, coretemp-isa-0000)");
    EXPECT_TRUE(vrdtest::waitUntil([&] { return agent.output().contains(sourceLine); }, 5000))
        << agent.output().toStdString();

    // Readings as the fixture's files give them (worked out in hwmon_machines_test.cpp).
    const std::map<int, int> expected = {{0, 1152}, {1, 3296}, {2, 1780}, {3, 0}, {4, 0},
                                         {5, 0},    {6, 0},    {7, 11995}, {8, 52}, {9, 33}};
    std::map<int, int> shown;
    vrdtest::waitUntil([&] { return (shown = vrdctlReadings(broker.port(), identity)) == expected; }, 10000);
    EXPECT_EQ(shown, expected) << agent.output().toStdString();

    QTemporaryDir stationDir;
    QFile ini(stationDir.filePath("VRD.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nHQ_TOKEN=NORDA\nBRANCH_TOKEN=%2\n")
                  .arg(broker.port())
                  .arg(kChannel)
                  .toUtf8());
    ini.close();
    Mainform station(stationDir.path());
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] { return station.requestLink()->isConnectedToHost() && station.replyReader().isSubscribed(); }, 3000));
    station.findChild<QPushButton*>("btnClientRefresh")->click();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return station.clientList().rowOf(identity) >= 0; }, 5000));
    station.slot_tvClientClicked(station.clientList().model()->index(station.clientList().rowOf(identity), 0));
    const std::map<QString, QString> labels = {
        {"labVcore", "1.152 V"},  {"labVio", "3.296 V"},    {"labN12V", "11.995 V"},
        {"labCPUFan", "1780 RPM"}, {"labCPUTemp", "52 'C"}, {"labSysTemp", "33 'C"},
    };
    auto* vcore = station.findChild<QLabel*>("labVcore");
    ASSERT_TRUE(vrdtest::waitUntil([&] { return vcore->text() == labels.at("labVcore"); }, 6000))
        << vcore->text().toStdString();
    for (const auto& [name, text] : labels)
        EXPECT_EQ(station.findChild<QLabel*>(name)->text(), text) << name.toStdString();
}

} // namespace
