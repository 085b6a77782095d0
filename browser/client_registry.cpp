// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_registry.h"

#include "client_accounts.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr char kDriver[] = "QSQLITE";
constexpr char kTable[] = "CLIENTINFO_TBL";

constexpr char kCreate[] = "CREATE TABLE CLIENTINFO_TBL( COMPUTERNAME CHAR(128),CPUNAME CHAR(128), OSNAME CHAR(128), "
                           "SYSMODEL CHAR(128), SYSSERIL CHAR(128),GUID CHAR(64) PRIMARY KEY UNIQUE );";
constexpr char kSelectListed[] = "SELECT COMPUTERNAME, GUID, OSNAME FROM CLIENTINFO_TBL ORDER BY COMPUTERNAME, GUID;";
constexpr char kSelectDetails[] = "SELECT CPUNAME, OSNAME, SYSMODEL, SYSSERIL FROM CLIENTINFO_TBL "
                                  "WHERE GUID = ? COLLATE NOCASE;";

bool run(QSqlQuery& query)
{
    if (query.exec())
        return true;
    qDebug() << "ClientRegistry" << query.lastQuery() << query.lastError().text();
    return false;
}

} // namespace

ClientRegistry::ClientRegistry(const QString& path)
    : m_path(path)
{
}

ClientRegistry::~ClientRegistry()
{
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

bool ClientRegistry::open()
{
    m_db = QSqlDatabase::addDatabase(QLatin1String(kDriver));
    m_db.setDatabaseName(m_path);
    if (!m_db.open())
        return false;
    // A Client Refresh brings one write per client in a burst; with a rollback journal each
    // would wait for its own fsync on the GUI thread. The write-ahead log syncs at checkpoints
    // and still never leaves a torn file.
    QSqlQuery pragma(m_db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL;"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL;"));
    if (!client_accounts::createTable(m_db))
        return false;
    // A file that exists without the table (an interrupted first run) would otherwise
    // refuse every client for good.
    if (m_db.tables().contains(QLatin1String(kTable)))
        return true;
    QSqlQuery create(m_db);
    create.prepare(QLatin1String(kCreate));
    return run(create);
}

QHash<QUuid, std::optional<QString>> ClientRegistry::knownIdentities() const
{
    QHash<QUuid, std::optional<QString>> known;
    const QHash<QUuid, QString> ties = client_accounts::read(m_db).value_or(QHash<QUuid, QString>());
    for (const Listed& client : clients()) {
        const QUuid identity = msg::parseUuid(client.guid);
        if (identity.isNull())
            continue;
        const auto tie = ties.constFind(identity);
        known.insert(identity, tie == ties.cend() ? std::nullopt : std::optional<QString>(*tie));
    }
    return known;
}

QVector<ClientRegistry::Listed> ClientRegistry::clients() const
{
    QVector<Listed> listed;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QLatin1String(kSelectListed));
    if (!run(query))
        return listed;
    while (query.next())
        listed.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    return listed;
}

std::optional<ClientRegistry::Details> ClientRegistry::details(const QUuid& identity) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QLatin1String(kSelectDetails));
    query.addBindValue(msg::uuidText(identity));
    if (!run(query) || !query.next())
        return std::nullopt;
    return Details{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                   query.value(3).toString()};
}
