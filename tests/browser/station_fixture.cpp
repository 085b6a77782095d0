// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "station_fixture.h"

#include "mqtt_transmit.h"
#include "registry_writer.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTreeView>
#include <QVariant>

namespace stationtest {

namespace {

constexpr int kWaitMs = 5000;

// A database connection of the test's own, beside the station's default connection.
class TestConnection {
public:
    explicit TestConnection(const QString& path)
        : m_name(QStringLiteral("test-%1").arg(++s_serial))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.open();
    }

    ~TestConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }

    QSqlDatabase& db() { return m_db; }

private:
    static inline int s_serial = 0;
    QString m_name;
    QSqlDatabase m_db;
};

} // namespace

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "browser_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void ProgramDir::writeFile(const QString& name, const QByteArray& content) const
{
    QFile file(m_dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void ProgramDir::writeIni(quint16 port, const QString& channel) const
{
    writeFile(QStringLiteral("VRD.INI"),
              QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nHQ_TOKEN=NORDA\nBRANCH_TOKEN=%2\n")
                  .arg(port)
                  .arg(channel)
                  .toUtf8());
}

void ProgramDir::writeRegistry(const QList<QPair<QString, QString>>& rows) const
{
    TestConnection connection(file(QStringLiteral("Client.sqlite")));
    QSqlQuery query(connection.db());
    ASSERT_TRUE(query.exec(QStringLiteral(
        "CREATE TABLE CLIENTINFO_TBL( COMPUTERNAME CHAR(128),CPUNAME CHAR(128), OSNAME CHAR(128), "
        "SYSMODEL CHAR(128), SYSSERIL CHAR(128),GUID CHAR(64) PRIMARY KEY UNIQUE );")));
    connection.db().transaction();
    for (const auto& row : rows) {
        query.prepare(QStringLiteral("INSERT INTO CLIENTINFO_TBL VALUES (?, 'cpu of ' || ?, 'os', 'model', 'serial', ?)"));
        query.addBindValue(row.first);
        query.addBindValue(row.first);
        query.addBindValue(row.second);
        ASSERT_TRUE(query.exec());
    }
    connection.db().commit();
}

QStringList writtenRows(Mainform& station, const ProgramDir& dir)
{
    station.registryWriter().waitWritten();
    return dir.registryRows();
}

QStringList ProgramDir::registryRows() const
{
    TestConnection connection(file(QStringLiteral("Client.sqlite")));
    QSqlQuery query(connection.db());
    QStringList rows;
    if (!query.exec(QStringLiteral("SELECT COMPUTERNAME, CPUNAME, OSNAME, SYSMODEL, SYSSERIL, GUID FROM "
                                   "CLIENTINFO_TBL ORDER BY rowid")))
        return {QStringLiteral("query failed")};
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < 6; ++i)
            fields << query.value(i).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

msg::Envelope parsed(const QByteArray& payload)
{
    return msg::parseMessage(payload).value_or(msg::Envelope{});
}

QJsonObject inventoryReply(const QUuid& id, const QString& name, const QString& cpu)
{
    msg::Inventory inventory;
    inventory.comp = name;
    inventory.cpu = cpu;
    inventory.os = QStringLiteral("os of ") + name;
    inventory.sysModel = QStringLiteral("model");
    inventory.sysSerial = QStringLiteral("serial");
    return parsed(msg::buildInventoryReply(id, inventory)).object;
}

QJsonObject presenceReply(const QUuid& id)
{
    return parsed(msg::buildLoadReply(id, 12)).object;
}

QJsonObject faultReply(int code, const QUuid& id, const QJsonArray& faults)
{
    return {{"SrvCall", code}, {"TUuid", msg::uuidText(id)}, {"Err50", faults}};
}

void StationTest::SetUp()
{
    ensureApplication();
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    dir.writeIni(broker.port());
}

void StationTest::TearDown()
{
    station.reset();
    peer.reset();
}

void StationTest::startStation()
{
    station = std::make_unique<Mainform>(dir.path());
    station->tickTimer()->stop();
    QObject::connect(station.get(), &Mainform::repliesHandled, [this](int replies) { handledReplies += replies; });
    peer = std::make_unique<vrdtest::TestMqttClient>(broker.port());
    ASSERT_TRUE(peer->connectToBroker());
    ASSERT_TRUE(peer->subscribe(msg::requestTopic(QLatin1String(kChannel))));
    ASSERT_TRUE(vrdtest::waitUntil(
        [this] { return station->requestLink()->isConnectedToHost() && station->replyReader().isSubscribed(); },
        kWaitMs));
}

QList<msg::Envelope> StationTest::tick()
{
    peer->clear();
    station->slot_TimerEvent();
    return requestsUntilPresence();
}

QList<msg::Envelope> StationTest::requestsUntilPresence()
{
    QList<msg::Envelope> requests;
    vrdtest::waitUntil(
        [&] {
            requests.clear();
            for (const QByteArray& payload : peer->payloads())
                requests << parsed(payload);
            return !requests.isEmpty() && requests.last().code == msg::KindProcessorLoad;
        },
        kWaitMs);
    peer->clear();
    return requests;
}

void StationTest::publishReply(const QByteArray& payload)
{
    // As if the station had asked: the tests that publish replies are about what it does with them.
    station->askedKinds().noteAsked(parsed(payload).code, monotonicMs());
    const auto judged = [&] { return quint64(handledReplies) + station->replyReader().refused(); };
    const quint64 before = judged();
    ASSERT_TRUE(peer->publish(msg::replyTopic(QLatin1String(kChannel)), payload));
    ASSERT_TRUE(vrdtest::waitUntil([&] { return judged() > before; }, kWaitMs));
}

QUuid StationTest::addClient(const QString& name)
{
    const QUuid id = QUuid::createUuid();
    station->handleInventory(inventoryReply(id, name));
    return id;
}

void StationTest::click(int row, int column)
{
    station->slot_tvClientClicked(station->clientList().model()->index(row, column));
}

FleetProcess::~FleetProcess()
{
    stop();
}

bool FleetProcess::start(quint16 port, int agents, const QStringList& extra)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("--port"), QString::number(port), QStringLiteral("--channel"),
                          QLatin1String(kChannel), QStringLiteral("--agents"), QString::number(agents),
                          QStringLiteral("--print-agents")};
    m_process->start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"), arguments + extra);
    QByteArray text;
    const bool ready = vrdtest::waitUntil(
        [&] {
            text += m_process->readAll();
            return text.contains("ready\n") || m_process->state() == QProcess::NotRunning;
        },
        10000);
    m_output = QString::fromUtf8(text);
    if (!ready || !text.contains("ready\n"))
        return false;
    for (const QString& line : m_output.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() == 4 && fields[0] == QLatin1String("agent"))
            m_agents.append({msg::parseUuid(fields[1]), fields[2], fields[3].toInt()});
    }
    return true;
}

void FleetProcess::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

} // namespace stationtest
