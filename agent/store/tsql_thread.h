// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The logging thread: every ten seconds it writes one row per switched-on sensor of its
// snapshot copy, then one row with the processor load it samples itself, into SENSOR_TBL
// of "sysinfo2.sqlite" over its own connection, and folds the new rows into the summaries
// (sensor_summary.h); at start it first folds, a chunk per turn, what is not folded yet.
//
// Use from the agent's main thread (agent.h):
//     thread.SetSnapshot(snapshot); thread.start();      // start-up
//     thread.SetSnapshot(snapshot);                      // every polling tick
//     thread.GetCpuLoad();                               // processor-load replies
//     thread.RequestStop(); then wait, bounded            // shutdown
// The setters below are for tests and must be called before start().
//
// Locks: the snapshot mutex guards the copy handed over, the load mutex the load and its
// sampling; they are never held together. The stop flag is checked at least every 50 ms,
// between any two statements of a pass and while a statement waits for the database lock (at
// most 10 s), so the longest step after a stop request is one statement or one load sample.

#include "sensor_snapshot.h"

#include <QDateTime>
#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>

class TSQLThread : public QThread {
public:
    using LocalClock = std::function<QDateTime()>;
    // Stores the processor load in percent into *load; returns the query's result code
    // (0 success). A failure leaves *load as it was.
    using LoadSampler = std::function<int(int16_t* load)>;

    static constexpr int kBusyTimeoutMs = 10000;
    static constexpr int kLoopSleepMs = 50;

    explicit TSQLThread(QObject* parent = nullptr);
    // Stops the thread if it still runs and waits for its current statement to end.
    ~TSQLThread() override;

    void setDatabasePath(const QString& path);
    void setClock(LocalClock clock);
    void setLoadSampler(LoadSampler sampler);

    void SetSnapshot(const SensorSnapshot& snapshot);
    int16_t GetCpuLoad();
    void RequestStop();

protected:
    void run() override;
    // One logging pass stamped `when`; ends early when a stop is requested.
    void SensorChecker(QSqlDatabase& db, const SensorSnapshot& snapshot, const QDateTime& when);
    void InsertSensorRow(QSqlDatabase& db, int type, int data, int err, const QDateTime& when);

private:
    int16_t sampleCpuLoad();
    // Waits for a lock held by another connection, as a busy timeout would, but gives up at once
    // when a stop is requested: the main thread waits for this thread at shutdown.
    void installBusyWait(QSqlDatabase& db);
    static int busyWait(void* thread, int attempts);

    QMutex m_snapshotMutex;
    QMutex m_loadMutex;
    std::atomic<bool> m_stop{false};
    SensorSnapshot m_snapshot;
    int16_t m_cpuLoad = 0;

    QString m_databasePath;
    LocalClock m_clock;
    LoadSampler m_loadSampler;
};
