// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The tray program and vrd-agent are one agent: on the same board, with the same settings and the
// same database, they answer every kind of request with the same bytes, write the same rows and
// the same metrics file. Each runs on a channel of its own, so that one identity can be asked of
// both; the processor load, a sample of the moment, is the one value set aside.

#include "client_process_fixture.h"
#include "history_messages.h"
#include "messages.h"
#include "qt_test_loop.h"
#include "test_broker.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kIdentity = QStringLiteral("{5EC0C0A0-0000-4000-8000-0000000000AA}");

// Faults of yesterday and of earlier today, each between healthy rows, at whole minutes well
// before the agents start, so that the history asked below holds only these.
QVector<clienttest::StoredRow> storedHistory(const QDateTime& before)
{
    QVector<clienttest::StoredRow> rows;
    const QDateTime first = before.addDays(-1).addSecs(-before.time().second());
    for (int i = 0; i < 40; ++i) {
        const QDateTime when = first.addSecs(i * 1800);
        rows.append({when, SensorCpuTemp, 60 + i % 5, 0});
        rows.append({when, SensorCpuTemp, 75 + i % 7, 1});
        rows.append({when, SensorVcore, 1200 + i, 0});
        rows.append({when, SensorCpuLoad, 10 + i, 0});
    }
    return rows;
}

// The load is sampled by each agent at its own moment.
QByteArray withoutLoad(QByteArray reply)
{
    static const QRegularExpression usage(QStringLiteral("\"Usage\":\\d+"));
    return QString::fromUtf8(reply).replace(usage, QStringLiteral("\"Usage\":_")).toUtf8();
}

struct Twin {
    QString name;
    QString channel;
    std::unique_ptr<clienttest::ClientUnderTest> agent;
    std::unique_ptr<clienttest::Station> station;
    QTemporaryDir metrics;
};

// Rows logged since `afterId`, by logging pass: TYPE_ID, DATA (the load's set aside) and ERR.
QMap<QString, QStringList> rowsByPass(const QString& path, qint64 afterId)
{
    QMap<QString, QStringList> passes;
    const QString name = QStringLiteral("twin_%1").arg(qHash(path));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT DATE_TIME, TYPE_ID, DATA, ERR FROM SENSOR_TBL WHERE ID > %1 "
                                                   "ORDER BY ID;")
                                        .arg(afterId))) {
            while (query.next()) {
                const int type = query.value(1).toInt();
                const QString data = type == SensorCpuLoad ? QStringLiteral("_") : query.value(2).toString();
                passes[query.value(0).toString()] << QStringLiteral("%1:%2:%3").arg(type).arg(data).arg(
                    query.value(3).toInt());
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return passes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AgentTwins, TrayProgramAndHeadlessAgentAnswerLogAndExportAlike)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    const QDateTime start = QDateTime::currentDateTime();
    const QVector<clienttest::StoredRow> history = storedHistory(start.addSecs(-3600));

    Twin twins[2];
    for (int i = 0; i < 2; ++i) {
        Twin& twin = twins[i];
        twin.name = i == 0 ? QStringLiteral("VrdClient") : QStringLiteral("vrd-agent");
        clienttest::ClientOptions options;
        options.headless = i == 1;
        options.port = broker.port();
        options.channel = QStringLiteral("TWIN%1").arg(i);
        twin.channel = options.channel;
        options.general = "CBCPUTemp=1\r\nCBVcore=1\r\n"; // and the rest at their defaults
        options.moreSections = "[EXPORT]\r\nPROMETHEUS_DIR=" + twin.metrics.path().toUtf8() + "\r\n";
        twin.agent = std::make_unique<clienttest::ClientUnderTest>(options);
        ASSERT_TRUE(clienttest::writeClientDatabase(twin.agent->workFile("sysinfo2.sqlite"), kIdentity, history));
        twin.station = std::make_unique<clienttest::Station>(broker.port(), options.channel);
        ASSERT_TRUE(twin.station->isReady());
    }
    for (Twin& twin : twins)
        ASSERT_TRUE(twin.agent->launch());
    for (Twin& twin : twins) {
        ASSERT_TRUE(twin.agent->waitUntilStarted()) << twin.agent->errors();
        ASSERT_EQ(twin.station->awaitClients(1).size(), 1) << twin.agent->errors();
    }

    const QUuid identity = msg::parseUuid(kIdentity);
    const QDateTime hourBefore = start.addSecs(-3600);
    const qint64 historyTo = hourBefore.toSecsSinceEpoch() - hourBefore.toSecsSinceEpoch() % 60;
    const QByteArray requests[] = {
        clienttest::request(msg::KindNone, msg::uuidText(identity)),
        clienttest::request(msg::KindCurrentSensors, msg::uuidText(identity)),
        clienttest::request(msg::KindProcessorLoad, msg::uuidText(msg::broadcastUuid())),
        clienttest::request(msg::KindLastFaults, msg::uuidText(identity)),
        clienttest::request(msg::KindInventory, msg::uuidText(msg::broadcastUuid())),
        clienttest::request(msg::KindTodaysFaults, msg::uuidText(identity)),
        clienttest::request(6, msg::uuidText(identity)),
        msg::buildHistoryRequest(identity, {SensorCpuTemp, historyTo - 2 * 86400, historyTo, 48}),
        msg::buildHistoryRequest(identity, {SensorVcore, historyTo - 2 * 86400, historyTo, 500}),
    };
    // Each request on the channel's shared topic and on the agent's own.
    for (const QByteArray& request : requests) {
        for (const bool ownTopic : {false, true}) {
            SCOPED_TRACE(request.toStdString() + (ownTopic ? " on the own topic" : ""));
            QList<QByteArray> answers;
            for (Twin& twin : twins) {
                const QString topic = ownTopic ? msg::agentRequestTopic(twin.channel, identity) : QString();
                QByteArray bytes;
                for (const QJsonObject& reply : twin.station->ask(request, 1, 3000, topic))
                    bytes += QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
                answers << withoutLoad(bytes);
            }
            EXPECT_EQ(answers[0].toStdString(), answers[1].toStdString());
            const int kind = msg::parseMessage(request)->code;
            EXPECT_EQ(answers[0].isEmpty(), kind == msg::KindNone || kind == 6) << answers[0].toStdString();
        }
    }

    // Logging passes come at the same wall-clock seconds in both: wait for one both wrote.
    const auto common = [&] {
        const QMap<QString, QStringList> tray = rowsByPass(twins[0].agent->workFile("sysinfo2.sqlite"), history.size());
        const QMap<QString, QStringList> headless = rowsByPass(twins[1].agent->workFile("sysinfo2.sqlite"),
                                                               history.size());
        QStringList both;
        for (auto it = tray.begin(); it != tray.end(); ++it)
            if (headless.contains(it.key()))
                both << it.key();
        return std::make_tuple(tray, headless, both);
    };
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !std::get<2>(common()).isEmpty(); }, 25000));
    for (Twin& twin : twins)
        EXPECT_TRUE(twin.agent->stop()) << twin.agent->errors();
    const auto [tray, headless, both] = common();
    for (const QString& pass : both)
        EXPECT_EQ(tray.value(pass), headless.value(pass)) << pass.toStdString();
    EXPECT_FALSE(tray.value(both.first()).isEmpty());

    const QByteArray trayMetrics = fileBytes(QDir(twins[0].metrics.path()).filePath("varden.prom"));
    EXPECT_FALSE(trayMetrics.isEmpty());
    const QByteArray headlessMetrics = fileBytes(QDir(twins[1].metrics.path()).filePath("varden.prom"));
    EXPECT_EQ(trayMetrics.toStdString(), headlessMetrics.toStdString());
    // And the settings file each left behind, but for the lines that set them apart.
    const auto settings = [](const Twin& twin) {
        QByteArray kept;
        for (const QByteArray& line : fileBytes(twin.agent->workFile("VRD.INI")).split('\n'))
            if (!line.startsWith("BRANCH_TOKEN=") && !line.startsWith("PROMETHEUS_DIR="))
                kept += line + '\n';
        return kept.toStdString();
    };
    EXPECT_EQ(settings(twins[0]), settings(twins[1]));
}

} // namespace
