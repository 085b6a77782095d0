// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "registry_writer.h"

#include "client_accounts.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr char kDriver[] = "QSQLITE";
// The window's reads may hold the file for a moment.
constexpr char kConnectOptions[] = "QSQLITE_BUSY_TIMEOUT=5000";

constexpr char kStore[] = "INSERT OR REPLACE INTO CLIENTINFO_TBL (COMPUTERNAME, CPUNAME, OSNAME, SYSMODEL, SYSSERIL, "
                          "GUID) VALUES(?, ?, ?, ?, ?, ?);";
constexpr char kRemoveAll[] = "DELETE FROM CLIENTINFO_TBL WHERE GUID != '';";

// Inventory fields in the column order of kStore.
constexpr QString msg::Inventory::*kStoredFields[] = {
    &msg::Inventory::comp,     &msg::Inventory::cpu,       &msg::Inventory::os,
    &msg::Inventory::sysModel, &msg::Inventory::sysSerial, &msg::Inventory::uuid,
};

bool execute(QSqlQuery& query)
{
    if (query.exec())
        return true;
    qDebug() << "RegistryWriter" << query.lastQuery() << query.lastError().text();
    return false;
}

} // namespace

RegistryWriter::RegistryWriter(const QString& path, Configure configure)
    : m_path(path)
    , m_configure(std::move(configure))
    , m_thread(&RegistryWriter::run, this)
{
}

RegistryWriter::~RegistryWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void RegistryWriter::store(const msg::Inventory& inventory)
{
    enqueue({Job::Kind::Store, inventory, {}, {}, 0});
}

void RegistryWriter::storeTie(const QUuid& identity, const QString& account, qint64 utcSeconds)
{
    enqueue({Job::Kind::Tie, {}, identity, account, utcSeconds});
}

void RegistryWriter::removeAll()
{
    enqueue({Job::Kind::RemoveAll, {}, {}, {}, 0});
}

void RegistryWriter::enqueue(Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(job));
        ++m_queued;
    }
    m_changed.notify_all();
}

void RegistryWriter::waitWritten()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const quint64 target = m_queued;
    m_changed.wait(lock, [&] { return m_written >= target; });
}

quint64 RegistryWriter::batches() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_batches;
}

void RegistryWriter::run()
{
    const QString name = QStringLiteral("registry-writer-%1").arg(quintptr(this), 0, 16);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(kDriver), name);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QLatin1String(kConnectOptions));
        // The file is in write-ahead-log mode (ClientRegistry::open); with it, a commit need not
        // wait for the disk, and a crash still leaves a whole file.
        if (db.open()) {
            QSqlQuery(QStringLiteral("PRAGMA synchronous=NORMAL;"), db);
            if (m_configure)
                m_configure(db);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break; // stopping, and everything is written
            std::vector<Job> batch;
            batch.swap(m_queue);
            lock.unlock();
            writeBatch(db, batch);
            lock.lock();
            m_written += batch.size();
            ++m_batches;
            m_changed.notify_all();
        }
        lock.unlock();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void RegistryWriter::writeBatch(QSqlDatabase& db, const std::vector<Job>& batch)
{
    if (!db.isOpen())
        return;
    db.transaction();
    QSqlQuery store(db);
    store.prepare(QLatin1String(kStore));
    QSqlQuery remove(db);
    remove.prepare(QLatin1String(kRemoveAll));
    for (const Job& job : batch) {
        switch (job.kind) {
        case Job::Kind::RemoveAll:
            execute(remove);
            client_accounts::removeAll(db);
            break;
        case Job::Kind::Tie:
            client_accounts::store(db, job.identity, job.account, job.utcSeconds);
            break;
        case Job::Kind::Store:
            for (int column = 0; column < int(std::size(kStoredFields)); ++column)
                store.bindValue(column, job.inventory.*kStoredFields[column]);
            execute(store);
            break;
        }
    }
    if (!db.commit())
        qDebug() << "RegistryWriter commit" << db.lastError().text();
}
