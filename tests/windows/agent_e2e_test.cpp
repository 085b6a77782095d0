// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// VrdClient.exe under Wine beside the Linux VrdClient, both on the same simulated board and one
// real mosquitto on the Linux side, asked by the Linux vrdctl: the Windows agent must answer every
// kind as the Linux one does. Also the Windows agent on the secured broker, over TLS.

#include "agent_process.h"
#include "program_run.h"
#include "qt_test_loop.h"
#include "secure_broker.h"
#include "test_broker.h"
#include "test_mqtt_client.h"
#include "wine_program.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

const QString kChannel = QStringLiteral("WINE7");
const QString kHotBoard = QStringLiteral("winbond-w83627hf-290-hot.json");

vrdtest::ProgramRun vrdctl(const QStringList& arguments)
{
    return vrdtest::runProgram(QStringLiteral(VRD_BIN_DIR "/vrdctl"), arguments, 30000);
}

// The value with the given keys' values replaced, at any depth; every array's elements masked the
// same way and then kept once each, in order (two agents started a few seconds apart hold a
// different number of equal fault rows and history buckets).
QJsonValue masked(const QJsonValue& value, const QSet<QString>& keys)
{
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            it.value() = keys.contains(it.key()) ? QJsonValue(QStringLiteral("*")) : masked(it.value(), keys);
        return object;
    }
    if (value.isArray()) {
        QJsonArray unique;
        QSet<QByteArray> seen;
        for (const QJsonValue& element : value.toArray()) {
            const QJsonValue m = masked(element, keys);
            const QByteArray text = QJsonDocument(QJsonArray{m}).toJson(QJsonDocument::Compact);
            if (!seen.contains(text)) {
                seen.insert(text);
                unique.append(m);
            }
        }
        return unique;
    }
    return value;
}

QByteArray text(const QJsonValue& value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Indented);
}

// A history bucket is [start, min, avg, max]: its start is a time.
QJsonValue withoutBucketStarts(QJsonValue reply)
{
    QJsonObject object = reply.toObject();
    QJsonArray history = object.value("History").toArray();
    for (int i = 0; i < history.size(); ++i) {
        QJsonObject series = history.at(i).toObject();
        QJsonArray points = series.value("Points").toArray();
        for (int p = 0; p < points.size(); ++p) {
            QJsonArray point = points.at(p).toArray();
            point.replace(0, 0);
            points.replace(p, point);
        }
        series.insert("Points", points);
        history.replace(i, series);
    }
    object.insert("History", history);
    return object;
}

QStringList tablesAndColumns(const QString& path)
{
    static int serial = 0;
    const QString name = QStringLiteral("schema_%1").arg(++serial);
    QStringList found;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000");
        if (db.open())
            for (const QString& table : db.tables()) {
                QStringList columns;
                const QSqlRecord record = db.record(table);
                for (int i = 0; i < record.count(); ++i)
                    columns << record.fieldName(i);
                found << table + ": " + columns.join(", ");
            }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    found.sort();
    return found;
}

struct FaultRow {
    QString dateTime;
    int data = 0;
};

QList<FaultRow> processorFaults(const QString& path)
{
    static int serial = 0;
    const QString name = QStringLiteral("faults_%1").arg(++serial);
    QList<FaultRow> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000");
        if (db.open()) {
            QSqlQuery query("SELECT DATE_TIME, DATA FROM SENSOR_TBL WHERE TYPE_ID = 8 AND ERR = 1;", db);
            while (query.next())
                rows.append({query.value(0).toString(), query.value(1).toInt()});
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

TEST(WindowsAgent, AnswersEveryKindAsTheLinuxAgentOnTheSameBoard)
{
    vrdtest::ensureCoreApplication();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    vrdtest::TestMqttClient recorder(broker.port());
    ASSERT_TRUE(recorder.connectToBroker());
    ASSERT_TRUE(recorder.subscribe(kChannel + "C2H"));

    AgentProcess linuxAgent(kHotBoard, broker.port(), kChannel);
    wine::Agent windowsAgent(kHotBoard, broker.port(), kChannel);
    ASSERT_TRUE(linuxAgent.start());
    ASSERT_TRUE(windowsAgent.start());
    QUuid linuxId, windowsId;
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !(windowsId = windowsAgent.identity()).isNull(); }, 60000))
        << windowsAgent.output().toStdString();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !(linuxId = linuxAgent.identity()).isNull(); }, 20000));
    // Both have logged the hot processor: the alarm raised, faults to answer with.
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !processorFaults(windowsAgent.databasePath()).isEmpty(); }, 40000))
        << windowsAgent.output().toStdString();
    ASSERT_TRUE(vrdtest::waitUntil([&] { return linuxAgent.faultRows(8) > 0; }, 20000));

    const QStringList where = {"--port", QString::number(broker.port()), "--channel", kChannel, "--timeout", "5000"};
    const QString linuxText = linuxId.toString(), windowsText = windowsId.toString();
    // The list holds both, each row with the same keys.
    vrdtest::ProgramRun list;
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            list = vrdctl(where + QStringList{"--json", "list"});
            return list.output.contains(linuxText.toUtf8()) && list.output.contains(windowsText.toUtf8());
        },
        30000))
        << list.output.constData();
    const QSet<QString> listKeys = {"uuid", "name", "cpu", "os", "model", "serial", "load"};
    const QJsonArray rows = QJsonDocument::fromJson(list.output).array();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(text(masked(rows.at(0), listKeys)), text(masked(rows.at(1), listKeys)));

    struct Ask {
        QStringList command;
        QSet<QString> masks; // identity, times, inventory
    };
    const QSet<QString> times = {"uuid", "time", "utc", "from", "to", "start"};
    const Ask asks[] = {
        {{"--json", "sensors"}, times},
        {{"--json", "faults"}, times},
        {{"--json", "faults", "--today"}, times},
        {{"--json", "history", "--type", "8", "--hours", "1"}, times},
        {{"check"}, {}},
    };
    for (const Ask& ask : asks) {
        const vrdtest::ProgramRun fromLinux = vrdctl(where + ask.command + QStringList{linuxText});
        const vrdtest::ProgramRun fromWindows = vrdctl(where + ask.command + QStringList{windowsText});
        const QString what = ask.command.join(' ');
        EXPECT_EQ(fromWindows.exitCode, fromLinux.exitCode) << what.toStdString();
        if (ask.command.contains("--json")) {
            const QJsonValue l = masked(QJsonDocument::fromJson(fromLinux.output).object(), ask.masks);
            const QJsonValue w = masked(QJsonDocument::fromJson(fromWindows.output).object(), ask.masks);
            EXPECT_EQ(text(w), text(l)) << what.toStdString();
        } else {
            EXPECT_EQ(QString::fromUtf8(fromWindows.output).replace(windowsText, "ID"),
                      QString::fromUtf8(fromLinux.output).replace(linuxText, "ID"));
        }
    }
    // The hot board's alarm, as the station sees it.
    EXPECT_EQ(vrdctl(where + QStringList{"check", windowsText}).exitCode, 2);
    const QJsonArray readings =
        QJsonDocument::fromJson(vrdctl(where + QStringList{"--json", "sensors", windowsText}).output)
            .object()
            .value("sensors")
            .toArray();
    const auto processor = std::find_if(readings.begin(), readings.end(),
                                        [](const QJsonValue& row) { return row.toObject().value("type") == 8; });
    ASSERT_NE(processor, readings.end());
    EXPECT_EQ(processor->toObject().value("reading").toInt(), 78);
    EXPECT_TRUE(processor->toObject().value("outOfLimits").toBool());

    // The replies themselves, key for key, of every kind the tools asked.
    std::map<int, std::map<QString, QJsonObject>> replies; // kind -> identity -> last reply
    for (const QByteArray& payload : recorder.payloads()) {
        const QJsonObject reply = QJsonDocument::fromJson(payload).object();
        replies[reply.value("SrvCall").toInt()][reply.value("TUuid").toString()] = reply;
    }
    const QSet<QString> replyMasks = {"TUuid", "Uuid", "DT", "Comp", "Cpu", "OS", "SysModel", "SysSerial", "Usage"};
    for (int kind : {1, 2, 3, 4, 5, 16}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(replies[kind].count(linuxText), 1u);
        ASSERT_EQ(replies[kind].count(windowsText), 1u);
        QJsonValue l = replies[kind][linuxText], w = replies[kind][windowsText];
        if (kind == 16) {
            l = withoutBucketStarts(l);
            w = withoutBucketStarts(w);
        }
        EXPECT_EQ(text(masked(w, replyMasks)), text(masked(l, replyMasks)));
    }

    // Its database, as the Linux tools read it: the Linux agent's tables and columns, the fault
    // rows with their local time in the agent's own layout.
    ASSERT_TRUE(windowsAgent.stop()) << windowsAgent.output().toStdString();
    EXPECT_EQ(tablesAndColumns(windowsAgent.databasePath()),
              tablesAndColumns(linuxAgent.directory() + "/sysinfo2.sqlite"));
    const QList<FaultRow> faults = processorFaults(windowsAgent.databasePath());
    ASSERT_FALSE(faults.isEmpty());
    for (const FaultRow& row : faults) {
        EXPECT_EQ(row.data, 78);
        const QDateTime at = QDateTime::fromString(row.dateTime, "yyyy-M-d h:m:s");
        EXPECT_TRUE(at.isValid()) << row.dateTime.toStdString();
        EXPECT_LT(qAbs(at.secsTo(QDateTime::currentDateTime())), 600) << row.dateTime.toStdString();
        EXPECT_EQ(at.time().second() % 10, 0);
    }
}

// The secured broker the project ships, from the Windows agent: TLS with the broker's CA answers;
// a CA that did not sign the broker's certificate keeps it off the network and says so once.
TEST(WindowsAgent, AnswersOverTlsOnTheSecuredBroker)
{
    using vrdtest::SecureBroker;
    vrdtest::ensureCoreApplication();
    SecureBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    const QString channel = QString::fromLatin1(SecureBroker::kChannel);
    const auto cloudLines = [&](const QString& caFile) {
        return QStringLiteral("USER=agent\r\nPASSWORD=%1\r\nTLS=1\r\nCA_FILE=%2\r\n")
            .arg(broker.password("agent"), wine::windowsPath(caFile))
            .toUtf8();
    };
    QTemporaryDir files;
    const QString passwordFile = files.filePath("station");
    {
        QFile file(passwordFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(broker.password("station").toUtf8() + '\n');
    }
    const QStringList station = {"--port", QString::number(broker.port(SecureBroker::Tls)), "--channel", channel,
                                 "--user", "station", "--password-file", passwordFile, "--tls", "--ca-file",
                                 broker.file("ca.crt"), "--timeout", "5000"};

    {
        wine::Agent agent("fintek-f81866.json", broker.port(SecureBroker::Tls), channel,
                          cloudLines(broker.file("other/ca.crt")));
        ASSERT_TRUE(agent.start());
        ASSERT_TRUE(vrdtest::waitUntil([&] { return !agent.identity().isNull(); }, 60000)) << agent.output().toStdString();
        QThread::msleep(4000); // several attempts, once a second
        EXPECT_EQ(vrdctl(station + QStringList{"check", agent.identity().toString()}).exitCode, 3);
        const QString output = agent.output();
        EXPECT_EQ(output.count("broker certificate not trusted: "), 1) << output.toStdString();
        EXPECT_EQ(output.count("VrdClient: broker "), 1) << output.toStdString();
        EXPECT_FALSE(output.contains(broker.password("agent")));
    }

    wine::Agent agent("fintek-f81866.json", broker.port(SecureBroker::Tls), channel, cloudLines(broker.file("ca.crt")));
    ASSERT_TRUE(agent.start());
    QUuid id;
    ASSERT_TRUE(vrdtest::waitUntil([&] { return !(id = agent.identity()).isNull(); }, 60000)) << agent.output().toStdString();
    vrdtest::ProgramRun sensors;
    ASSERT_TRUE(vrdtest::waitUntil(
        [&] {
            sensors = vrdctl(station + QStringList{"--json", "sensors", id.toString()});
            return sensors.exitCode == 0;
        },
        30000))
        << agent.output().toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(sensors.output).object().value("sensors").toArray();
    EXPECT_FALSE(rows.isEmpty()) << sensors.output.constData();
    EXPECT_TRUE(agent.stop());
}

} // namespace
