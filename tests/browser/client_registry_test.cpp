// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The station's client registry on connections that take SQL as the standard reads it.

#include "client_registry.h"
#include "registry_writer.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

msg::Inventory client(const char* name, const char* uuid)
{
    return {QString::fromLatin1(name), "cpu", "os", "model", "serial", QString::fromLatin1(uuid)};
}

// SQLite builds without legacy quoting read "..." as an identifier only; this connection does too.
bool rejectDoubleQuotedStrings(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    return sqlite3_db_config(connection, SQLITE_DBCONFIG_DQS_DML, 0, nullptr) == SQLITE_OK &&
           sqlite3_db_config(connection, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr) == SQLITE_OK;
}

} // namespace

TEST(ClientRegistry, ResetRemovesEveryClientWithAnIdentityWithoutLegacyQuoting)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ClientRegistry registry(dir.filePath("Client.sqlite"));
    ASSERT_TRUE(registry.open());
    ASSERT_TRUE(rejectDoubleQuotedStrings(QSqlDatabase::database()));
    bool writerStrict = false;
    {
        RegistryWriter writer(dir.filePath("Client.sqlite"),
                              [&](QSqlDatabase& db) { writerStrict = rejectDoubleQuotedStrings(db); });
        for (const msg::Inventory& inventory : {client("alpha", "{0c4a8d3e-1111-4d6f-9a55-2b7f9e0d1a01}"),
                                                 client("beta", "{0c4a8d3e-2222-4d6f-9a55-2b7f9e0d1a02}"),
                                                 client("no identity", "")})
            writer.store(inventory);
        writer.waitWritten();
        ASSERT_EQ(registry.clients().size(), 3);
        writer.removeAll();
    }
    ASSERT_TRUE(writerStrict);
    const QVector<ClientRegistry::Listed> left = registry.clients();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].name, "no identity");
}
