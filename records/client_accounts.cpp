// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_accounts.h"

#include <QSqlQuery>
#include <QVariant>

namespace client_accounts {

namespace {

constexpr char kCreate[] = "CREATE TABLE IF NOT EXISTS CLIENTACCOUNT_TBL( GUID CHAR(64) PRIMARY KEY, "
                           "ACCOUNT TEXT NOT NULL, TIED_UTC INTEGER );";
constexpr char kSelect[] = "SELECT GUID, ACCOUNT FROM CLIENTACCOUNT_TBL;";
constexpr char kStore[] = "INSERT OR REPLACE INTO CLIENTACCOUNT_TBL (GUID, ACCOUNT, TIED_UTC) VALUES (?, ?, ?);";
constexpr char kRemove[] = "DELETE FROM CLIENTACCOUNT_TBL WHERE GUID = ? COLLATE NOCASE;";
constexpr char kRemoveAll[] = "DELETE FROM CLIENTACCOUNT_TBL;";

// As the registry spells identities: braced, lower case.
QString guidText(const QUuid& identity)
{
    return identity.toString(QUuid::WithBraces).toLower();
}

} // namespace

bool createTable(QSqlDatabase& db)
{
    QSqlQuery query(db);
    return query.exec(QLatin1String(kCreate));
}

std::optional<QHash<QUuid, QString>> read(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(kSelect)))
        return std::nullopt;
    QHash<QUuid, QString> ties;
    while (query.next()) {
        const QUuid identity = QUuid::fromString(query.value(0).toString());
        if (!identity.isNull())
            ties.insert(identity, query.value(1).toString());
    }
    return ties;
}

bool store(QSqlDatabase& db, const QUuid& identity, const QString& account, qint64 utcSeconds)
{
    QSqlQuery query(db);
    query.prepare(QLatin1String(kStore));
    query.addBindValue(guidText(identity));
    // The shared reply topic's empty name is a name, not NULL.
    query.addBindValue(account.isNull() ? QString(QLatin1String("")) : account);
    query.addBindValue(utcSeconds);
    return query.exec();
}

bool remove(QSqlDatabase& db, const QUuid& identity)
{
    QSqlQuery query(db);
    query.prepare(QLatin1String(kRemove));
    query.addBindValue(guidText(identity));
    return query.exec() && query.numRowsAffected() > 0;
}

bool removeAll(QSqlDatabase& db)
{
    QSqlQuery query(db);
    return query.exec(QLatin1String(kRemoveAll));
}

} // namespace client_accounts
