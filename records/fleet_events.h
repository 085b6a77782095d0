// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's record of what changed in the fleet: a client came online or went offline, a
// reading of a client left its limits or came back, an account claimed a client tied to another.
// Kept in FLEETEVENT_TBL of "Client.sqlite", beside the registry, for kFleetEventDays days and at
// most kMaxFleetEvents rows; the station writes it, `vrdctl events` reads it.
//
// Its size is bounded by design, whatever the broker carries: a client records at most
// kFleetEventsPerClientHour events an hour (FleetEventBudget), names are cut short where they are
// read from the broker, and the oldest rows go when the table is full.
//
// A store is used by the thread that opened it; it holds its own named connection, so the
// registry's default connection in the same process is left alone. Statements that fail are
// reported by the return values and change nothing.

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVector>

#include <optional>

enum class FleetEventKind {
    Online = 1,
    Offline = 2,
    FaultStarted = 3,
    FaultEnded = 4,
    IdentityClaimed = 5, // a reply claimed the client on another account's topic (detail: that account)
    EventsHeld = 6,      // the client's events of this hour reached the budget; the rest go unrecorded
};

struct FleetEvent {
    qint64 utcSeconds = 0;
    QUuid client;
    QString name;         // the client's computer name when it happened
    FleetEventKind kind = FleetEventKind::Online;
    int sensorType = -1;  // SensorType of a fault; -1 for the others
    int value = 0;        // the reading, in the unit the protocol carries it
    int limit = 0;        // the limit it crossed (fault started) or last crossed (fault ended)
    QString detail;       // IdentityClaimed: the account that claimed it; empty for the others
};

constexpr int kFleetEventDays = 30;
// A client flapping between two states as fast as the health column asks makes 360 events an
// hour; the first of them tell the operator as much as all.
constexpr int kFleetEventsPerClientHour = 20;
// Weeks of a large fleet's comings and goings; at most a few hundred bytes a row.
constexpr int kMaxFleetEvents = 200000;

// How many events each client may still record in the current hour of UTC. A client's events
// beyond kFleetEventsPerClientHour are not recorded: the first of them is replaced by one
// EventsHeld event, the rest are only counted. Plain logic on the caller's thread.
class FleetEventBudget {
public:
    enum class Admit { Record, RecordHeld, Drop };

    Admit admit(const QUuid& client, qint64 utcSeconds);
    quint64 dropped() const { return m_dropped; }

private:
    qint64 m_hour = -1;
    QHash<QUuid, int> m_spent; // events of the current hour, by client
    quint64 m_dropped = 0;
};

// "online", "offline", "fault_started", "fault_ended", "identity_claimed", "events_held": the
// name scripts see.
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

    // Removes the events older than the given time, and the oldest beyond keepAtMost.
    bool purgeBefore(qint64 utcSeconds, int keepAtMost = kMaxFleetEvents);

    // Events at or after `utcSeconds`, oldest first; nothing when the statement failed.
    std::optional<QVector<FleetEvent>> since(qint64 utcSeconds) const;

    // The newest `limit` events, newest first.
    std::optional<QVector<FleetEvent>> newest(int limit) const;

private:
    std::optional<QVector<FleetEvent>> select(const QString& clauses, const QVariant& bound) const;

    bool hasDetailColumn() const;

    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_detail = true; // the table has the DETAIL column (a table of an older station may not)
};
