// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's record of what changed in the fleet: a client came online or went offline, a
// reading of a client left its limits or came back. Kept in FLEETEVENT_TBL of "Client.sqlite",
// beside the registry, for kFleetEventDays days; the station writes it, `vrdctl events` reads it.
//
// A store is used by the thread that opened it; it holds its own named connection, so the
// registry's default connection in the same process is left alone. Statements that fail are
// reported by the return values and change nothing.

#include <QSqlDatabase>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVector>

#include <optional>

enum class FleetEventKind { Online = 1, Offline = 2, FaultStarted = 3, FaultEnded = 4 };

struct FleetEvent {
    qint64 utcSeconds = 0;
    QUuid client;
    QString name;         // the client's computer name when it happened
    FleetEventKind kind = FleetEventKind::Online;
    int sensorType = -1;  // SensorType of a fault; -1 for online and offline
    int value = 0;        // the reading, in the unit the protocol carries it
    int limit = 0;        // the limit it crossed (fault started) or last crossed (fault ended)
};

constexpr int kFleetEventDays = 30;

// "online", "offline", "fault_started", "fault_ended": the name scripts see.
QString fleetEventKindName(FleetEventKind kind);

// What happened, for people: "came online", "fault started: Processor Temperature = 91 'C
// (limit 70 'C)".
QString fleetEventText(const FleetEvent& event);

// A reading out of its limits, worded as a fault event says it: "Processor Temperature = 91 'C
// (limit 70 'C)".
QString sensorFaultText(int sensorType, int value, int limit);

class FleetEventStore {
public:
    explicit FleetEventStore(QString connectionName);
    ~FleetEventStore(); // closes the connection

    FleetEventStore(const FleetEventStore&) = delete;
    FleetEventStore& operator=(const FleetEventStore&) = delete;

    // Opens the file for writing and creates the table where missing.
    bool open(const QString& path);
    // Opens an existing file for reading only; false when it is missing or cannot be read.
    bool openReadOnly(const QString& path);

    // All of them in one transaction, or none.
    bool append(const QVector<FleetEvent>& events);

    // Removes the events older than the given time.
    bool purgeBefore(qint64 utcSeconds);

    // Events at or after `utcSeconds`, oldest first; nothing when the statement failed.
    std::optional<QVector<FleetEvent>> since(qint64 utcSeconds) const;

    // The newest `limit` events, newest first.
    std::optional<QVector<FleetEvent>> newest(int limit) const;

private:
    std::optional<QVector<FleetEvent>> select(const QString& statement, const QVariant& bound) const;

    QString m_connectionName;
    QSqlDatabase m_db;
};
