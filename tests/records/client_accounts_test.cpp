// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The ties of the station's registry: written by one connection, read and removed by another, as
// the station and vrdctl do.

#include "client_accounts.h"

#include <QSqlDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Connection {
public:
    Connection(const QString& path, const QString& name)
        : m_name(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Connection() { QSqlDatabase::removeDatabase(m_name); }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name); }

private:
    QString m_name;
};

TEST(ClientAccounts, StoredTiesAreReadAndRemovedByAnotherConnection)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Client.sqlite"));
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const QUuid shared = QUuid::createUuid();
    {
        Connection station(path, QStringLiteral("station"));
        QSqlDatabase db = station.db();
        EXPECT_FALSE(client_accounts::read(db)) << "no table yet";
        ASSERT_TRUE(client_accounts::createTable(db));
        ASSERT_TRUE(client_accounts::store(db, a, QStringLiteral("agentA"), 100));
        ASSERT_TRUE(client_accounts::store(db, b, QStringLiteral("agentX"), 100));
        ASSERT_TRUE(client_accounts::store(db, b, QStringLiteral("agentB"), 200)); // released and tied again
        ASSERT_TRUE(client_accounts::store(db, shared, QString(), 300));
    }
    Connection tool(path, QStringLiteral("tool"));
    QSqlDatabase db = tool.db();
    const std::optional<QHash<QUuid, QString>> ties = client_accounts::read(db);
    ASSERT_TRUE(ties);
    EXPECT_EQ(*ties, (QHash<QUuid, QString>{{a, "agentA"}, {b, "agentB"}, {shared, QString()}}));
    EXPECT_TRUE(client_accounts::remove(db, b));
    EXPECT_FALSE(client_accounts::remove(db, b)) << "there is no tie left to remove";
    EXPECT_EQ(client_accounts::read(db)->size(), 2);
    EXPECT_TRUE(client_accounts::removeAll(db));
    EXPECT_TRUE(client_accounts::read(db)->isEmpty());
}

} // namespace
