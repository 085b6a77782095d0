// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// A one-second burst of 10,000 replies at the station, on mosquitto's default settings (a queue of
// 1,000 messages per subscriber it cannot send at once): the station's reader drains the socket
// while the window works, so the broker drops nothing for it, and every well-formed inventory in
// the burst is registered. A subscriber of its own measures what the broker delivers.

#include "client_list.h"
#include "mainform.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "registry_writer.h"
#include "process_figures.h"
#include "qt_test_loop.h"
#include "reply_reader.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const QString kChannel = QStringLiteral("BURST");
constexpr int kMessages = 10000;
constexpr int kInventories = 1005;

struct Message {
    QString topic;
    QByteArray payload;
};

// The burst: each well-formed inventory on an account of its own, as one account per agent has it;
// between them what a careless or hostile sender adds: text that is no JSON, nesting and repeated
// keys, inventories that name two identities, presence of clients nobody listed.
QVector<Message> burst(QVector<QUuid>& agents)
{
    const QString replies = msg::replyTopic(kChannel);
    // Every tenth message an inventory, and the last few, to make up the number.
    const int lastOnes = kInventories - kMessages / 10;
    QVector<Message> messages;
    for (int i = 0; i < kMessages; ++i) {
        const QString user = replies + QStringLiteral("/agent-%1").arg(i);
        if (i % 10 == 0 || i >= kMessages - lastOnes) {
            agents << QUuid::createUuid();
            const msg::Inventory inventory{QStringLiteral("PLANT\\WS-%1").arg(i), QStringLiteral("cpu"),
                                           QStringLiteral("os"), QStringLiteral("model"), QStringLiteral("serial"), {}};
            messages.append({user, msg::buildInventoryReply(agents.last(), inventory)});
            continue;
        }
        switch (i % 10) {
        case 1:
            messages.append({user, "not JSON " + QByteArray::number(i)});
            break;
        case 2:
            messages.append({user, QByteArray(20, '[') + QByteArray(20, ']')});
            break;
        case 3:
            messages.append({user, R"({"SrvCall":4,"SrvCall":4})"});
            break;
        default:
            messages.append({replies, msg::buildLoadReply(QUuid::createUuid(), 1)});
            break;
        }
    }
    return messages;
}

TEST(StationBurst, TenThousandRepliesInOneSecondLoseNoInventory)
{
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("VRD.INI")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n")
                  .arg(broker.port())
                  .arg(kChannel)
                  .toUtf8());
    ini.close();

    Mainform station(dir.path());
    station.show();
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] { return station.requestLink()->isConnectedToHost() && station.replyReader().isSubscribed(); }, 10000));
    vrdtest::TestMqttClient beside(broker.port());
    ASSERT_TRUE(beside.connectToBroker());
    ASSERT_TRUE(beside.subscribe(msg::replyTopic(kChannel)));
    ASSERT_TRUE(beside.subscribe(msg::anyUserReplyTopic(kChannel)));
    vrdtest::TestMqttClient sender(broker.port());
    ASSERT_TRUE(sender.connectToBroker());

    QVector<QUuid> agents;
    const QVector<Message> messages = burst(agents);
    ASSERT_EQ(messages.size(), kMessages);
    ASSERT_EQ(agents.size(), kInventories);

    station.findChild<QPushButton*>(QStringLiteral("btnClientRefresh"))->click();
    vrdtest::waitUntil([] { return false; }, 200);
    const qint64 memoryBefore = vrdtest::residentKiB(QCoreApplication::applicationPid());

    // The window's lateness while the burst comes in.
    const vrdtest::LoopLateness lateness(20);

    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (sent < kMessages) {
        const int due = std::min<int>(kMessages, int(clock.elapsed() * kMessages / 1000) + 10);
        for (; sent < due; ++sent)
            ASSERT_TRUE(sender.publish(messages[sent].topic, messages[sent].payload));
        vrdtest::waitUntil([] { return false; }, 1);
    }
    const qint64 sendMs = clock.elapsed();
    const auto listed = [&] {
        int count = 0;
        for (const QUuid& agent : agents)
            count += station.clientList().rowOf(agent) >= 0 ? 1 : 0;
        return count;
    };
    vrdtest::waitUntil([&] { return listed() == kInventories; }, 15000);
    const qint64 listedMs = clock.elapsed();
    vrdtest::waitUntil([&] { return beside.messageCount() >= kMessages; }, 5000);
    station.registryWriter().waitWritten();
    const qint64 memoryAfter = vrdtest::residentKiB(QCoreApplication::applicationPid());

    quint64 judged = 0;
    for (int verdict = 0; verdict < ReplyIntake::kVerdicts; ++verdict)
        judged += station.replyReader().count(ReplyIntake::Verdict(verdict));
    const bool brokerDropped = broker.output().contains(QStringLiteral("Outgoing messages are being dropped"));
    EXPECT_EQ(listed(), kInventories) << [&] {
        std::string counts;
        for (int verdict = 0; verdict < ReplyIntake::kVerdicts; ++verdict)
            counts += std::string(verdictName(ReplyIntake::Verdict(verdict))) + " "
                + std::to_string(station.replyReader().count(ReplyIntake::Verdict(verdict))) + "; ";
        return counts;
    }();
    EXPECT_EQ(judged, quint64(kMessages)) << "the broker dropped replies for the station";
    EXPECT_FALSE(brokerDropped);
    EXPECT_EQ(station.replyReader().droppedBehind(), 0u);
    EXPECT_LT(memoryAfter - memoryBefore, 50 * 1024);
    const std::string figure =
        QStringLiteral("burst of %1 replies in %2 ms (%3 inventories): %4 registered after %5 ms; the station's reader "
                       "took %6 of them, a subscriber beside it %7; the broker dropped %8; station memory %9 -> %10 "
                       "MB; window late by %11 ms at most")
            .arg(kMessages)
            .arg(sendMs)
            .arg(kInventories)
            .arg(listed())
            .arg(listedMs)
            .arg(judged)
            .arg(beside.messageCount())
            .arg(brokerDropped ? "some" : "none")
            .arg(memoryBefore / 1024.0, 0, 'f', 1)
            .arg(memoryAfter / 1024.0, 0, 'f', 1)
            .arg(lateness.worstMs())
            .toStdString();
    std::printf("figure: %s\n", figure.c_str());
    testing::Test::RecordProperty("figure", figure);
}

} // namespace
