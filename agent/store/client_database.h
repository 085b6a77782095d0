// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The main thread's side of "sysinfo2.sqlite": opening it at start-up (creating it on the
// first run, otherwise deleting readings older than 60 days with their summaries, and compacting
// it when it is mostly free pages), and the read-only queries of the log page, the fault-history
// replies and the reading history.
//
// Start-up, in the agent's start (agent.h):
//     ClientDatabase db;                        // "sysinfo2.sqlite" in the working directory
//     db.openWithMaintenance(*debugLog);         // Agent::openDatabase, before the inventory refresh
//     QUuid id = checkHostIdentity(db.connection(), *debugLog);   // dmi_table.h
//     refreshInventoryTable(db.connection(), inventory, *debugLog);
//     db.setBusyTimeout(ClientDatabase::kWindowBusyTimeoutMs);         // start-up done
// Later, on the main thread only:
//     db.faultLog(faultFilterForIndex(cboxSqlLogCmd->currentIndex()))  // log page
//     db.lastFaults(), db.todaysFaults(), db.history(query)                // replies, History page
// Shutdown: db.close() after the logging thread has stopped.

#include "history_series.h"
#include "sensor_log_row.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>

class DebugLog;

// The log page's categories, in the order of its combo box.
enum class FaultFilter { All = 0, Temperature = 1, Voltage = 2, Fan = 3 };
FaultFilter faultFilterForIndex(int comboIndex); // anything else (-1: no selection) is All

constexpr int kFaultRowLimit = 50;
constexpr int kKeepDays = 60;

class ClientDatabase {
public:
    static constexpr const char* kFileName = "sysinfo2.sqlite";
    // How long a statement waits for a lock held by another connection. Start-up maintenance
    // may wait a while; the main thread's queries must not freeze it while another program
    // holds the file, yet outlast a commit of the logging thread (milliseconds).
    static constexpr int kStartBusyTimeoutMs = 5000;
    static constexpr int kWindowBusyTimeoutMs = 250;

    // `path`: the database file; `connectionName`: unique per open connection.
    explicit ClientDatabase(QString path = QString::fromLatin1(kFileName),
                            QString connectionName = QStringLiteral("vrd_main"));
    ~ClientDatabase();

    ClientDatabase(const ClientDatabase&) = delete;
    ClientDatabase& operator=(const ClientDatabase&) = delete;

    // Opens the file, creating it with its tables when it does not exist, else deleting the
    // rows of days before `today` - 60 days with their summaries and compacting a file that is
    // more than a quarter free pages; adds the summary tables when missing; writes its steps to
    // `log`.
    // Statement failures are not fatal; returns whether the connection is open.
    bool openWithMaintenance(DebugLog& log, const QDate& today = QDate::currentDate());

    // Opens the file as it is, with no maintenance (tools and measurements).
    bool open();
    bool isOpen() const { return m_db.isOpen(); }
    // Sets the lock wait of the open connection; false when it is not open.
    bool setBusyTimeout(int milliseconds);
    QSqlDatabase& connection() { return m_db; }
    const QString& path() const { return m_path; }
    void close();

    // Newest faults first, at most 50; nullopt when the query failed.
    std::optional<SensorLogRows> faultLog(FaultFilter filter) const;
    std::optional<SensorLogRows> lastFaults() const { return faultLog(FaultFilter::All); }
    // Faults dated `today` or later, newest first, at most 50.
    std::optional<SensorLogRows> todaysFaults(const QDate& today = QDate::currentDate()) const;
    // The buckets of querySensorHistory (sensor_history.h); nullopt when the query failed.
    std::optional<HistorySeries> history(const HistoryQuery& query) const;

private:
    void createFile(DebugLog& log);
    void pruneFile(DebugLog& log, const QDate& today);
    std::optional<SensorLogRows> rows(const QString& statement, const QVariantList& values) const;

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
};
