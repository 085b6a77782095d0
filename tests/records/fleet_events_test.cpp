// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The fleet event record in a real database file: written in batches, read back in order,
// purged by age, read by a second connection as vrdctl does; and vrdctl's --since spellings.

#include "since_option.h"
#include "fleet_events.h"
#include "sensor_snapshot.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

FleetEvent event(qint64 utc, FleetEventKind kind, const QString& name, int type = -1, int value = 0, int limit = 0)
{
    FleetEvent e;
    e.utcSeconds = utc;
    e.client = QUuid::createUuid();
    e.name = name;
    e.kind = kind;
    e.sensorType = type;
    e.value = value;
    e.limit = limit;
    return e;
}

class FleetEventsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path() const { return dir.filePath("Client.sqlite"); }
    QTemporaryDir dir;
};

TEST_F(FleetEventsTest, WrittenEventsReadBackInOrderByAnotherConnection)
{
    const QVector<FleetEvent> written = {
        event(1000, FleetEventKind::Online, "PLANT\\WS-0001"),
        event(1005, FleetEventKind::FaultStarted, "a \"quoted\" name'; DROP TABLE x;--", SensorCpuTemp, 91, 70),
        event(1010, FleetEventKind::FaultEnded, QString::fromUtf8("B\xc3\xbcro"), SensorVcore, 1200, 3600),
        event(1020, FleetEventKind::Offline, QString()),
    };
    FleetEventStore writer(QStringLiteral("writer"));
    ASSERT_TRUE(writer.open(path()));
    ASSERT_TRUE(writer.append(written.mid(0, 2)));
    ASSERT_TRUE(writer.append(written.mid(2)));

    FleetEventStore reader(QStringLiteral("reader"));
    ASSERT_TRUE(reader.openReadOnly(path()));
    const std::optional<QVector<FleetEvent>> all = reader.since(0);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), written.size());
    for (int i = 0; i < written.size(); ++i) {
        EXPECT_EQ((*all)[i].utcSeconds, written[i].utcSeconds);
        EXPECT_EQ((*all)[i].client, written[i].client);
        EXPECT_EQ((*all)[i].name, written[i].name);
        EXPECT_EQ((*all)[i].kind, written[i].kind);
        EXPECT_EQ((*all)[i].sensorType, written[i].sensorType);
        EXPECT_EQ((*all)[i].value, written[i].value);
        EXPECT_EQ((*all)[i].limit, written[i].limit);
    }
    EXPECT_EQ(reader.since(1006)->size(), 2);
    const std::optional<QVector<FleetEvent>> newest = reader.newest(2);
    ASSERT_TRUE(newest);
    ASSERT_EQ(newest->size(), 2);
    EXPECT_EQ(newest->first().kind, FleetEventKind::Offline);
}

TEST_F(FleetEventsTest, PurgeRemovesOnlyOlderEvents)
{
    FleetEventStore store(QStringLiteral("store"));
    ASSERT_TRUE(store.open(path()));
    ASSERT_TRUE(store.append({event(100, FleetEventKind::Online, "old"), event(200, FleetEventKind::Online, "new")}));
    ASSERT_TRUE(store.purgeBefore(200));
    const std::optional<QVector<FleetEvent>> left = store.since(0);
    ASSERT_TRUE(left);
    ASSERT_EQ(left->size(), 1);
    EXPECT_EQ(left->first().name, QStringLiteral("new"));
}

TEST_F(FleetEventsTest, TheRegistryTableIsLeftAsItWasAndUnknownKindsAreSkipped)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("registry"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE CLIENTINFO_TBL( COMPUTERNAME CHAR(128),CPUNAME CHAR(128), "
                                          "OSNAME CHAR(128), SYSMODEL CHAR(128), SYSSERIL CHAR(128),GUID CHAR(64) "
                                          "PRIMARY KEY UNIQUE );"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("registry"));
    FleetEventStore store(QStringLiteral("store"));
    ASSERT_TRUE(store.open(path()));
    ASSERT_TRUE(store.append({event(1, FleetEventKind::Online, "x")}));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'CLIENTINFO_TBL';")));
        ASSERT_TRUE(query.next());
        EXPECT_TRUE(query.value(0).toString().contains("GUID CHAR(64) PRIMARY KEY UNIQUE"));
        ASSERT_TRUE(query.exec(QStringLiteral("INSERT INTO FLEETEVENT_TBL (UTC, GUID, KIND) VALUES (2, 'g', 99);")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    EXPECT_EQ(store.since(0)->size(), 1);
}

TEST_F(FleetEventsTest, TheTableKeepsTheNewestRowsItHasRoomFor)
{
    FleetEventStore store(QStringLiteral("store"));
    ASSERT_TRUE(store.open(path()));
    QVector<FleetEvent> events;
    for (int i = 0; i < 25; ++i)
        events.append(event(1000 + i, FleetEventKind::Online, QString::number(i)));
    ASSERT_TRUE(store.append(events));
    ASSERT_TRUE(store.purgeBefore(0, 10));
    const std::optional<QVector<FleetEvent>> left = store.since(0);
    ASSERT_TRUE(left);
    ASSERT_EQ(left->size(), 10);
    EXPECT_EQ(left->first().name, QStringLiteral("15"));
    EXPECT_EQ(left->last().name, QStringLiteral("24"));
}

// A station from before the account column left a table without it: it is added, and a reader
// that finds none reads the rows all the same.
TEST_F(FleetEventsTest, AnOlderTableGainsTheDetailColumnAndReadsBack)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral(
            "CREATE TABLE FLEETEVENT_TBL( ID INTEGER PRIMARY KEY AUTOINCREMENT, UTC INTEGER NOT NULL, GUID CHAR(64) "
            "NOT NULL, COMPUTERNAME CHAR(128), KIND INTEGER NOT NULL, TYPE_ID INTEGER, DATA INTEGER, "
            "LIMIT_DATA INTEGER );")));
        ASSERT_TRUE(query.exec(QStringLiteral("INSERT INTO FLEETEVENT_TBL (UTC, GUID, COMPUTERNAME, KIND) "
                                              "VALUES (5, '{0a0a0a0a-0000-4000-8000-00000000000a}', 'old', 1);")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    {
        FleetEventStore reader(QStringLiteral("reader"));
        ASSERT_TRUE(reader.openReadOnly(path()));
        ASSERT_EQ(reader.since(0)->size(), 1);
    }
    FleetEventStore store(QStringLiteral("store"));
    ASSERT_TRUE(store.open(path()));
    FleetEvent claimed = event(6, FleetEventKind::IdentityClaimed, "PC");
    claimed.detail = QStringLiteral("agentB");
    ASSERT_TRUE(store.append({claimed}));
    const std::optional<QVector<FleetEvent>> all = store.since(0);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 2);
    EXPECT_EQ(all->first().name, QStringLiteral("old"));
    EXPECT_EQ(all->last().detail, QStringLiteral("agentB"));
    EXPECT_EQ(fleetEventText(all->last()), QStringLiteral("identity claimed by another account: agentB"));
}

TEST(FleetEventBudget, AClientRecordsItsShareOfAnHourThenOneMarkAndNothingMore)
{
    FleetEventBudget budget;
    const QUuid flapping = QUuid::createUuid();
    const QUuid quiet = QUuid::createUuid();
    const qint64 hour = 1765000800; // a whole hour of UTC
    int recorded = 0;
    int marks = 0;
    for (int i = 0; i < 100; ++i) {
        const FleetEventBudget::Admit admit = budget.admit(flapping, hour + i * 30);
        recorded += admit == FleetEventBudget::Admit::Record ? 1 : 0;
        marks += admit == FleetEventBudget::Admit::RecordHeld ? 1 : 0;
    }
    EXPECT_EQ(recorded, kFleetEventsPerClientHour);
    EXPECT_EQ(marks, 1);
    EXPECT_EQ(budget.dropped(), quint64(100 - kFleetEventsPerClientHour - 1));
    EXPECT_EQ(budget.admit(quiet, hour + 3599), FleetEventBudget::Admit::Record);
    EXPECT_EQ(budget.admit(flapping, hour + 3600), FleetEventBudget::Admit::Record);
}

TEST_F(FleetEventsTest, ReadOnlyOpenRefusesAMissingFileAndCreatesNone)
{
    FleetEventStore reader(QStringLiteral("reader"));
    EXPECT_FALSE(reader.openReadOnly(path()));
    EXPECT_FALSE(QFileInfo::exists(path()));
}

TEST(FleetEventText, SaysWhatHappenedWithUnits)
{
    const struct {
        FleetEvent event;
        const char* text;
    } cases[] = {
        {event(0, FleetEventKind::Online, "x"), "came online"},
        {event(0, FleetEventKind::Offline, "x"), "went offline"},
        {event(0, FleetEventKind::FaultStarted, "x", SensorCpuTemp, 91, 70),
         "fault started: Processor Temperature = 91 'C (limit 70 'C)"},
        {event(0, FleetEventKind::FaultEnded, "x", SensorVcore, 1234, 3600),
         "fault ended: Vcore = 1.234 V (limit 3.600 V)"},
        {event(0, FleetEventKind::FaultStarted, "x", SensorCpuFan, 400, 1000),
         "fault started: Processor Fan = 400 RPM (limit 1000 RPM)"},
        {event(0, FleetEventKind::IdentityClaimed, "x"), "identity claimed by another account: the shared reply topic"},
        {event(0, FleetEventKind::EventsHeld, "x"), "more events this hour not recorded"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fleetEventText(c.event), QString::fromLatin1(c.text));
}

TEST(VrdctlSince, ReadsSpansAndIsoTimes)
{
    const qint64 now = 1765000000;
    const struct {
        const char* text;
        std::optional<qint64> utc;
    } cases[] = {
        {"90s", now - 90},
        {"30m", now - 1800},
        {"12h", now - 43200},
        {"7d", now - 7 * 86400},
        {"2026-12-10T06:00:00Z", QDateTime(QDate(2026, 12, 10), QTime(6, 0), Qt::UTC).toSecsSinceEpoch()},
        {"2026-12-10", QDate(2026, 12, 10).startOfDay().toSecsSinceEpoch()},
        {"", std::nullopt},
        {"7", std::nullopt},
        {"-5m", std::nullopt},
        {"5w", std::nullopt},
        {"yesterday", std::nullopt},
        {"99999999999d", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sinceUtcSeconds(QString::fromLatin1(c.text), now), c.utc) << c.text;
}

} // namespace
