// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Presence: replies to the presence request, the 20-second rule, the status column and the
// index of identities beside the list.

#include "station_fixture.h"

#include <QJsonArray>

using namespace stationtest;

namespace {

class PresenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        station = std::make_unique<Mainform>(dir.path());
        station->tickTimer()->stop();
        station->setClock([this] { return now; });
    }

    QUuid addClient(const QString& name)
    {
        const QUuid id = QUuid::createUuid();
        station->handleInventory(inventoryReply(id, name));
        return id;
    }

    QModelIndex status(int row) { return station->clientList().index(row, 1); }
    qint64 iconKey(int row) { return qvariant_cast<QIcon>(status(row).data(Qt::DecorationRole)).cacheKey(); }
    QVariant lastSeen(int row) { return status(row).data(ClientList::LastSeenRole); }

    void advance(int seconds) { now = now.addSecs(seconds); }

    ProgramDir dir;
    std::unique_ptr<Mainform> station;
    QDateTime now = QDateTime(QDate(2024, 3, 5), QTime(7, 4, 0));
};

TEST_F(PresenceTest, OnlineUpToTwentySecondsOfflineFromTwentyOne)
{
    addClient(QStringLiteral("PC"));
    EXPECT_FALSE(status(0).data(Qt::DecorationRole).isValid()); // a new row waits for the next refresh
    station->slot_TimerEvent();
    EXPECT_EQ(iconKey(0), station->offlineIcon().cacheKey());
    EXPECT_EQ(lastSeen(0), QVariant(uint(0)));

    const QDateTime seen = now;
    station->handlePresence(presenceReply(station->clientList().identityAt(0)));
    EXPECT_EQ(lastSeen(0).toDateTime(), seen);
    EXPECT_EQ(iconKey(0), station->offlineIcon().cacheKey()); // the icon waits for the refresh

    station->slot_TimerEvent();
    EXPECT_EQ(iconKey(0), station->onlineIcon().cacheKey());
    EXPECT_EQ(lastSeen(0).toDateTime(), seen);

    advance(20);
    station->slot_TimerEvent();
    EXPECT_EQ(iconKey(0), station->onlineIcon().cacheKey());
    EXPECT_EQ(lastSeen(0).toDateTime(), seen);

    advance(1);
    station->slot_TimerEvent();
    EXPECT_EQ(iconKey(0), station->offlineIcon().cacheKey());
    EXPECT_EQ(lastSeen(0), QVariant(uint(0)));
}

TEST_F(PresenceTest, LastSeenLaterThanNowIsOffline)
{
    addClient(QStringLiteral("PC"));
    station->handlePresence(presenceReply(station->clientList().identityAt(0)));
    advance(-5); // the clock was stepped back
    station->slot_TimerEvent();
    EXPECT_EQ(iconKey(0), station->offlineIcon().cacheKey());
    EXPECT_EQ(lastSeen(0), QVariant(uint(0)));
}

// Thousands of presence replies a second must not reach the view: a reply only records the
// time, and a refresh signals only the rows whose status changes.
TEST_F(PresenceTest, OnlyRowsWhoseStatusChangesAreSignalled)
{
    QVector<QUuid> ids;
    for (int i = 0; i < 5; ++i)
        ids.append(addClient(QStringLiteral("PC-%1").arg(i)));
    for (const QUuid& id : ids)
        station->handlePresence(presenceReply(id));
    station->slot_TimerEvent();
    QList<QPair<QModelIndex, QModelIndex>> changed;
    QObject::connect(&station->clientList(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) { changed.append({from, to}); });

    for (int second = 0; second < 5; ++second) {
        advance(1);
        for (const QUuid& id : ids)
            station->handlePresence(presenceReply(id));
        station->slot_TimerEvent();
        EXPECT_EQ(lastSeen(4).toDateTime(), now); // still updated by every reply
    }
    EXPECT_EQ(changed.count(), 0);

    // Rows 1 and 2 fall silent: one signal for the two of them, none for the others.
    for (int second = 0; second < 21; ++second) {
        advance(1);
        for (int row : {0, 3, 4})
            station->handlePresence(presenceReply(ids[row]));
        station->slot_TimerEvent();
    }
    ASSERT_EQ(changed.count(), 1);
    const auto [from, to] = changed.first();
    EXPECT_EQ(QPair(from.row(), to.row()), QPair(1, 2));
    EXPECT_EQ(from.column(), 1);
    EXPECT_EQ(iconKey(1), station->offlineIcon().cacheKey());
    EXPECT_EQ(iconKey(3), station->onlineIcon().cacheKey());
    EXPECT_EQ(station->clientList().onlineCount(), 3);
}

TEST_F(PresenceTest, ReplyFromUnlistedOrUnparsableIdentityChangesNothing)
{
    addClient(QStringLiteral("A"));
    addClient(QStringLiteral("B"));
    station->slot_TimerEvent();
    QAbstractItemModel* model = station->clientList().model();
    auto snapshot = [&] {
        QStringList cells;
        for (int row = 0; row < model->rowCount(); ++row) {
            for (int column = 0; column < 2; ++column) {
                const QModelIndex index = model->index(row, column);
                cells << index.data().toString() << index.data(ClientList::IdentityRole).toString()
                      << index.data(ClientList::LastSeenRole).toString();
            }
        }
        return cells;
    };
    const QStringList before = snapshot();

    station->handlePresence(presenceReply(QUuid::createUuid()));
    station->handlePresence(QJsonObject{{"SrvCall", 2}, {"TUuid", "not a uuid"}});
    station->handlePresence(QJsonObject{{"SrvCall", 2}});
    station->slot_TimerEvent();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(model->rowCount(), 2);
}

TEST_F(PresenceTest, FirstRowOfAnIdentityIsTheOneMarked)
{
    // Two registry rows that spell the same identity differently: the first one wins.
    const QUuid id = QUuid::createUuid();
    ProgramDir other;
    other.writeRegistry({{QStringLiteral("lower"), msg::uuidText(id)},
                         {QStringLiteral("upper"), msg::uuidText(id).toUpper()}});
    station.reset(); // one registry connection at a time
    station = std::make_unique<Mainform>(other.path());
    station->tickTimer()->stop();
    station->setClock([this] { return now; });
    station->handlePresence(presenceReply(id));
    EXPECT_EQ(lastSeen(0).toDateTime(), now);
    EXPECT_FALSE(lastSeen(1).isValid());
}

TEST_F(PresenceTest, IndexFollowsResetAndAppends)
{
    const QUuid a = addClient(QStringLiteral("A"));
    const QUuid b = addClient(QStringLiteral("B"));
    station->slot_btnClientResetClicked(false);
    EXPECT_EQ(station->clientList().rowCount(), 0);
    EXPECT_EQ(station->clientList().rowOf(a), -1);

    // Listed again in the other order: each reply must reach its own row.
    station->handleInventory(inventoryReply(b, QStringLiteral("B")));
    station->handleInventory(inventoryReply(a, QStringLiteral("A")));
    station->handlePresence(presenceReply(a));
    EXPECT_FALSE(lastSeen(0).isValid());
    EXPECT_EQ(lastSeen(1).toDateTime(), now);
    EXPECT_EQ(station->clientList().index(1, 0).data().toString(), QStringLiteral("A"));
}

TEST_F(PresenceTest, ManyClientsEachReachTheirRow)
{
    QVector<QUuid> ids;
    for (int i = 0; i < 300; ++i)
        ids.append(addClient(QStringLiteral("PC-%1").arg(i)));
    for (int i = 0; i < ids.size(); i += 2)
        station->handlePresence(presenceReply(ids[i]));
    station->slot_TimerEvent();
    for (int row = 0; row < ids.size(); ++row) {
        EXPECT_EQ(station->clientList().identityAt(row), ids[row]);
        const qint64 expected = row % 2 == 0 ? station->onlineIcon().cacheKey() : station->offlineIcon().cacheKey();
        EXPECT_EQ(iconKey(row), expected) << row;
    }
}

class DispatchTest : public StationTest {};

TEST_F(DispatchTest, RepliesReachTheirHandlersThroughTheBroker)
{
    startStation();
    const QUuid id = addClient(QStringLiteral("PC"));
    click(0);
    QDateTime fixed = QDateTime::currentDateTime();
    station->setClock([&] { return fixed; });

    // Garbage, unknown codes and a missing code change nothing.
    for (const char* payload : {"not json", "[1,2]", R"({"SrvCall":9,"TUuid":"x"})", R"({"TUuid":"x"})",
                                R"({"SrvCall":"3","Err50":[]})"}) {
        publishReply(QByteArray(payload));
    }
    EXPECT_EQ(station->historyModel()->rowCount(), 0);

    // Seen when the reply arrived, which is the window's "now" less the moments it waited.
    publishReply(msg::buildLoadReply(id, 50));
    const QDateTime seen = station->clientList().index(0, 1).data(ClientList::LastSeenRole).toDateTime();
    const qint64 waitedMs = seen.msecsTo(fixed);
    EXPECT_GE(waitedMs, 0);
    EXPECT_LT(waitedMs, 1000);

    publishReply(msg::buildFaultReply(msg::KindLastFaults, id, {}));
    ASSERT_EQ(station->historyModel()->rowCount(), 1);
    EXPECT_EQ(station->historyModel()->item(0, 1)->text(), QStringLiteral("No fault found"));

    // Code 5 is handled exactly as code 3.
    publishReply(msg::buildFaultReply(msg::KindTodaysFaults, id, {{0, 3712, 0}, {8, 75, 0}}));
    ASSERT_EQ(station->historyModel()->rowCount(), 2);
    EXPECT_EQ(station->historyModel()->item(0, 1)->text(), QStringLiteral("Vcore = 3.712 V"));
    EXPECT_EQ(station->historyModel()->item(1, 1)->text(), QStringLiteral("Processor Temperature = 75 'C"));
}

} // namespace
