// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Start-up: the settings file, the registry file and the requests of the one-second timer.

#include "station_fixture.h"

#include "mqtt_transmit.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>

using namespace stationtest;

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }

    ProgramDir dir;
};

struct SettingsCase {
    const char* name;
    const char* ini; // null: no file
    const char* host;
    quint16 port;
    const char* channel;
    const char* requestTopic;
    const char* replyTopic;
    bool readError;
};

const SettingsCase kSettingsCases[] = {
    {"missing file", nullptr, "", 0, "", "H2C", "C2H", false},
    {"empty file", "", "", 0, "", "H2C", "C2H", false},
    {"other section only", "[General]\nHOST=10.1.1.1\nPORT=1883\n", "", 0, "", "H2C", "C2H", false},
    {"full section",
     "[CLOUD]\nENABLE=1\nHOST=127.0.0.1\nPORT=1883\nHQ_TOKEN=NORDA\nBRANCH_TOKEN=VARDEN6\n", "127.0.0.1", 1883,
     "VARDEN6", "VARDEN6H2C", "VARDEN6C2H", false},
    {"port out of range", "[CLOUD]\nPORT=70000\n", "", 0, "", "H2C", "C2H", false},
    {"port not a number", "[CLOUD]\nPORT=18x3\n", "", 0, "", "H2C", "C2H", false},
    {"malformed file still read", "[CLOUD\nHOST=1.2.3.4\n[CLOUD]\nPORT=12\n", "1.2.3.4", 12, "", "H2C", "C2H", true},
};

TEST_F(StartupTest, SettingsFileGivesHostPortAndTopics)
{
    for (const SettingsCase& c : kSettingsCases) {
        ProgramDir programDir;
        if (c.ini)
            programDir.writeFile(QStringLiteral("VRD.INI"), QByteArray(c.ini));
        Mainform station(programDir.path());
        EXPECT_EQ(station.settings().host, QString::fromLatin1(c.host)) << c.name;
        EXPECT_EQ(station.settings().port, c.port) << c.name;
        EXPECT_EQ(station.settings().channel, QString::fromLatin1(c.channel)) << c.name;
        EXPECT_EQ(station.requestLink()->topic(), QString::fromLatin1(c.requestTopic)) << c.name;
        EXPECT_EQ(station.replyReader().topic(), QString::fromLatin1(c.replyTopic)) << c.name;
        const QString message = station.statusBar()->currentMessage();
        EXPECT_EQ(message, c.readError ? QStringLiteral("Can't find INI") : QString()) << c.name;
    }
}

TEST_F(StartupTest, UnreadableSettingsFileIsReportedInTheStatusBar)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("VRD.INI")));
    Mainform station(dir.path());
    EXPECT_EQ(station.statusBar()->currentMessage(), QStringLiteral("Can't find INI"));
    EXPECT_EQ(station.settings().port, 0);
}

TEST_F(StartupTest, NewRegistryGetsTheClientTable)
{
    { Mainform station(dir.path()); }
    ASSERT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("Client.sqlite"))));
    EXPECT_TRUE(dir.registryRows().isEmpty());

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
    db.setDatabaseName(dir.file(QStringLiteral("Client.sqlite")));
    ASSERT_TRUE(db.open());
    QStringList columns;
    QString primaryKey;
    {
        QSqlQuery query(QStringLiteral("PRAGMA table_info(CLIENTINFO_TBL)"), db);
        while (query.next()) {
            columns << query.value(1).toString();
            if (query.value(5).toInt() == 1)
                primaryKey = query.value(1).toString();
        }
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
    EXPECT_EQ(columns, (QStringList{"COMPUTERNAME", "CPUNAME", "OSNAME", "SYSMODEL", "SYSSERIL", "GUID"}));
    EXPECT_EQ(primaryKey, QStringLiteral("GUID"));
}

TEST_F(StartupTest, RegistryFileWithoutTableStillStoresClients)
{
    dir.writeFile(QStringLiteral("Client.sqlite"), QByteArray());
    Mainform station(dir.path());
    station.handleInventory(inventoryReply(QUuid::createUuid(), QStringLiteral("PC")));
    EXPECT_EQ(writtenRows(station, dir).size(), 1);
}

// A restarted station lists every machine it knows, the silent ones above all, in an order
// that does not depend on when each was first seen.
TEST_F(StartupTest, ListShowsEveryRegisteredClientOfflineByNameThenIdentity)
{
    const QString low = QStringLiteral("{00000000-0000-4000-8000-000000000001}");
    const QString high = QStringLiteral("{ffffffff-0000-4000-8000-000000000001}");
    QList<QPair<QString, QString>> rows;
    for (int i = 59; i >= 0; --i)
        rows.append({QStringLiteral("PC-%1").arg(i, 2, 10, QLatin1Char('0')), msg::uuidText(QUuid::createUuid())});
    rows.append({QStringLiteral("PC-07"), high}); // a name taken twice: the identity decides
    rows.append({QStringLiteral("PC-07"), low});
    dir.writeRegistry(rows);

    Mainform station(dir.path());
    ClientList& list = station.clientList();
    ASSERT_EQ(list.rowCount(), 62);
    QStringList names;
    for (int row = 0; row < list.rowCount(); ++row) {
        names << list.index(row, 0).data().toString();
        EXPECT_TRUE(list.index(row, 1).data().toString().isEmpty());
        const QIcon icon = qvariant_cast<QIcon>(list.index(row, 1).data(Qt::DecorationRole));
        EXPECT_EQ(icon.cacheKey(), station.offlineIcon().cacheKey());
        EXPECT_FALSE(list.index(row, 1).data(ClientList::LastSeenRole).isValid());
    }
    QStringList sorted = names;
    sorted.sort();
    EXPECT_EQ(names, sorted);
    const int firstSeven = names.indexOf(QStringLiteral("PC-07"));
    EXPECT_EQ(list.identityAt(firstSeven), msg::parseUuid(low));
    EXPECT_EQ(list.index(firstSeven + 1, 0).data().toString(), QStringLiteral("PC-07"));
    EXPECT_EQ(list.identityAt(firstSeven + 2), msg::parseUuid(high));
    for (const auto& [name, guid] : rows)
        EXPECT_EQ(list.index(list.rowOf(msg::parseUuid(guid)), 0).data().toString(), name);
    EXPECT_EQ(station.clientCountLabel()->text(), QStringLiteral("0 online / 62 known"));
}

TEST_F(StartupTest, ValueAndInventoryLabelsStartEmpty)
{
    Mainform station(dir.path());
    for (const char* name : {"labCPUName", "labOperatingSystem", "labSystemModel", "labSystemSerial", "labCPUTemp",
                             "labCPUFan", "labVcore", "labP5V", "labN5V", "labSysTemp", "labSysFan", "labVio",
                             "labP12V", "labN12V"}) {
        auto* label = station.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(label->text().isEmpty()) << name;
    }
}

class TimerTest : public StationTest {};

TEST_F(TimerTest, WithoutSelectionTheTimerSendsOnlyThePresenceRequestEverySecond)
{
    startStation();
    station->tickTimer()->start();
    peer->clear();
    QElapsedTimer elapsed;
    elapsed.start();
    vrdtest::waitUntil([] { return false; }, 3500);
    const int expected = int(elapsed.elapsed() / 1000);
    const QList<QByteArray> payloads = peer->payloads();
    EXPECT_GE(payloads.size(), expected - 1);
    EXPECT_LE(payloads.size(), expected + 1);
    for (const QByteArray& payload : payloads)
        EXPECT_EQ(payload, QByteArray(R"({"SrvCall":2,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})"));
}

TEST_F(TimerTest, SensorRequestFollowsFourTicksAfterEachReply)
{
    startStation();
    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);

    QList<msg::Envelope> sent = tick();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].code, int(msg::KindCurrentSensors));
    EXPECT_EQ(msg::addressOf(sent[0].object), id);

    SensorSnapshot snapshot;
    publishReply(msg::buildSensorReply(id, snapshot));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(tick().size(), 1) << "tick " << i;
    sent = tick();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].code, int(msg::KindCurrentSensors));

    // Without a reply the request repeats every fourth tick as well.
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(tick().size(), 1) << "tick " << i;
    EXPECT_EQ(tick().size(), 2);
}

} // namespace
