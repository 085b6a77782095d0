// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Writes the station's registry ("Client.sqlite") on a thread of its own, so that no database
// write runs on the window's thread. Inventory replies, account ties and the Client Reset are
// queued in the order they come; the thread takes everything queued so far and writes it in one transaction,
// so a burst of thousands of replies costs a few commits, not one per reply.
//
// The thread owns its own connection (opened, used and closed there); the queue is the only
// thing shared, under m_mutex. Failures are silent: a batch that fails changes nothing.
// The table must exist before the writer starts (ClientRegistry::open creates it).

#include "messages.h"

#include <QSqlDatabase>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RegistryWriter {
public:
    // Runs on the writer's thread once its connection is open (tests set the connection up).
    using Configure = std::function<void(QSqlDatabase&)>;

    explicit RegistryWriter(const QString& path, Configure configure = {}); // starts the thread
    ~RegistryWriter();                            // writes what is queued, then ends the thread

    RegistryWriter(const RegistryWriter&) = delete;
    RegistryWriter& operator=(const RegistryWriter&) = delete;

    // INSERT OR REPLACE of one inventory reply, every value verbatim.
    void store(const msg::Inventory& inventory);

    // The account the identity is tied to from now on (client_accounts.h).
    void storeTie(const QUuid& identity, const QString& account, qint64 utcSeconds);

    // Removes every row that has an identity, and every tie, after everything queued before.
    void removeAll();

    // Blocks until everything queued before the call is written (tests and measuring tools).
    void waitWritten();

    // Transactions committed so far.
    quint64 batches() const;

private:
    struct Job {
        enum class Kind { Store, Tie, RemoveAll } kind;
        msg::Inventory inventory;
        QUuid identity;   // Tie
        QString account;  // Tie
        qint64 utcSeconds = 0; // Tie
    };

    void enqueue(Job job);
    void run();
    static void writeBatch(QSqlDatabase& db, const std::vector<Job>& batch);

    const QString m_path;
    const Configure m_configure;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Job> m_queue;
    quint64 m_queued = 0;  // jobs queued since start
    quint64 m_written = 0; // jobs written (or failed) since start
    quint64 m_batches = 0;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once everything above exists
};
