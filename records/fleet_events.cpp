// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet_events.h"

#include "sensor_types.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>


namespace {

constexpr char kDriver[] = "QSQLITE";

// The registry's file is shared with `vrdctl events` reading while the station writes.
constexpr char kBusyTimeoutOption[] = "QSQLITE_BUSY_TIMEOUT=2000";

constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS FLEETEVENT_TBL( ID INTEGER PRIMARY KEY AUTOINCREMENT, UTC INTEGER NOT NULL, "
    "GUID CHAR(64) NOT NULL, COMPUTERNAME CHAR(128), KIND INTEGER NOT NULL, TYPE_ID INTEGER, DATA INTEGER, "
    "LIMIT_DATA INTEGER, DETAIL TEXT );";
constexpr char kCreateIndex[] = "CREATE INDEX IF NOT EXISTS FLEETEVENT_UTC ON FLEETEVENT_TBL(UTC);";
// A table made by a station from before the column.
constexpr char kAddDetail[] = "ALTER TABLE FLEETEVENT_TBL ADD COLUMN DETAIL TEXT;";
constexpr char kTableInfo[] = "PRAGMA table_info(FLEETEVENT_TBL);";
constexpr char kDetailColumn[] = "DETAIL";
constexpr char kInsert[] = "INSERT INTO FLEETEVENT_TBL (UTC, GUID, COMPUTERNAME, KIND, TYPE_ID, DATA, LIMIT_DATA, "
                           "DETAIL) VALUES (?, ?, ?, ?, ?, ?, ?, ?);";
constexpr char kPurge[] = "DELETE FROM FLEETEVENT_TBL WHERE UTC < ?;";
// IDs only grow, so the newest kMaxFleetEvents rows are those within that many of the largest.
constexpr char kTrim[] = "DELETE FROM FLEETEVENT_TBL WHERE ID <= (SELECT MAX(ID) FROM FLEETEVENT_TBL) - ?;";
constexpr char kColumns[] = "SELECT UTC, GUID, COMPUTERNAME, KIND, TYPE_ID, DATA, LIMIT_DATA, %1 FROM FLEETEVENT_TBL ";
constexpr qint64 kSecondsPerHour = 3600;

struct KindRow {
    FleetEventKind kind;
    const char* name;
    const char* text;
};

constexpr KindRow kKinds[] = {
    {FleetEventKind::Online, "online", "came online"},
    {FleetEventKind::Offline, "offline", "went offline"},
    {FleetEventKind::FaultStarted, "fault_started", "fault started"},
    {FleetEventKind::FaultEnded, "fault_ended", "fault ended"},
    {FleetEventKind::IdentityClaimed, "identity_claimed", "identity claimed by another account"},
    {FleetEventKind::EventsHeld, "events_held", "more events this hour not recorded"},
};

const KindRow* kindRow(int code)
{
    for (const KindRow& row : kKinds)
        if (int(row.kind) == code)
            return &row;
    return nullptr;
}

bool isFault(FleetEventKind kind)
{
    return kind == FleetEventKind::FaultStarted || kind == FleetEventKind::FaultEnded;
}

// "91 'C", "3.600 V": a value with its unit.
QString figureOf(int sensorType, int data)
{
    const SensorTypeRow* row = sensorTypeRow(sensorType);
    if (!row)
        return QString::number(data);
    return valueText(row->unit, data) + QLatin1Char(' ') + unitSymbol(row->unit);
}

} // namespace

QString fleetEventKindName(FleetEventKind kind)
{
    return QString::fromLatin1(kindRow(int(kind))->name);
}

QString fleetEventText(const FleetEvent& event)
{
    const QString what = QString::fromLatin1(kindRow(int(event.kind))->text);
    if (event.kind == FleetEventKind::IdentityClaimed)
        return event.detail.isEmpty() ? QStringLiteral("%1: the shared reply topic").arg(what)
                                      : QStringLiteral("%1: %2").arg(what, event.detail);
    if (!isFault(event.kind))
        return what;
    return what + QLatin1String(": ") + sensorFaultText(event.sensorType, event.value, event.limit);
}

QString sensorFaultText(int sensorType, int value, int limit)
{
    return QStringLiteral("%1 (limit %2)").arg(sensorLogText(sensorType, value), figureOf(sensorType, limit));
}

FleetEventBudget::Admit FleetEventBudget::admit(const QUuid& client, qint64 utcSeconds)
{
    const qint64 hour = utcSeconds / kSecondsPerHour;
    if (hour != m_hour) {
        m_hour = hour;
        m_spent.clear();
    }
    int& spent = m_spent[client];
    ++spent;
    if (spent <= kFleetEventsPerClientHour)
        return Admit::Record;
    if (spent == kFleetEventsPerClientHour + 1)
        return Admit::RecordHeld;
    ++m_dropped;
    return Admit::Drop;
}

FleetEventStore::FleetEventStore(QString connectionName)
    : m_connectionName(std::move(connectionName))
{
}

FleetEventStore::~FleetEventStore()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool FleetEventStore::open(const QString& path)
{
    m_db = QSqlDatabase::addDatabase(QLatin1String(kDriver), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QLatin1String(kBusyTimeoutOption));
    if (!m_db.open())
        return false;
    QSqlQuery query(m_db);
    if (!query.exec(QLatin1String(kCreateTable)) || !query.exec(QLatin1String(kCreateIndex)))
        return false;
    m_detail = hasDetailColumn() || query.exec(QLatin1String(kAddDetail));
    return m_detail;
}

bool FleetEventStore::hasDetailColumn() const
{
    QSqlQuery query(m_db);
    if (!query.exec(QLatin1String(kTableInfo)))
        return false;
    while (query.next())
        if (query.value(1).toString() == QLatin1String(kDetailColumn))
            return true;
    return false;
}

bool FleetEventStore::openReadOnly(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    m_db = QSqlDatabase::addDatabase(QLatin1String(kDriver), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QLatin1String(kBusyTimeoutOption) + QLatin1String(";QSQLITE_OPEN_READONLY"));
    if (!m_db.open())
        return false;
    m_detail = hasDetailColumn();
    return true;
}

bool FleetEventStore::append(const QVector<FleetEvent>& events)
{
    if (events.isEmpty())
        return true;
    if (!m_db.transaction())
        return false;
    QSqlQuery insert(m_db);
    if (!insert.prepare(QLatin1String(kInsert))) {
        m_db.rollback();
        return false;
    }
    for (const FleetEvent& event : events) {
        const bool fault = isFault(event.kind);
        insert.addBindValue(event.utcSeconds);
        insert.addBindValue(event.client.toString(QUuid::WithBraces));
        insert.addBindValue(event.name);
        insert.addBindValue(int(event.kind));
        insert.addBindValue(fault ? QVariant(event.sensorType) : QVariant(QVariant::Int));
        insert.addBindValue(fault ? QVariant(event.value) : QVariant(QVariant::Int));
        insert.addBindValue(fault ? QVariant(event.limit) : QVariant(QVariant::Int));
        insert.addBindValue(event.detail.isEmpty() ? QVariant(QVariant::String) : QVariant(event.detail));
        if (!insert.exec()) {
            m_db.rollback();
            return false;
        }
    }
    return m_db.commit();
}

bool FleetEventStore::purgeBefore(qint64 utcSeconds, int keepAtMost)
{
    QSqlQuery purge(m_db);
    purge.prepare(QLatin1String(kPurge));
    purge.addBindValue(utcSeconds);
    QSqlQuery trim(m_db);
    trim.prepare(QLatin1String(kTrim));
    trim.addBindValue(keepAtMost);
    return purge.exec() && trim.exec();
}

std::optional<QVector<FleetEvent>> FleetEventStore::since(qint64 utcSeconds) const
{
    return select(QStringLiteral("WHERE UTC >= ? ORDER BY ID ASC;"), utcSeconds);
}

std::optional<QVector<FleetEvent>> FleetEventStore::newest(int limit) const
{
    return select(QStringLiteral("ORDER BY ID DESC LIMIT ?;"), limit);
}

std::optional<QVector<FleetEvent>> FleetEventStore::select(const QString& clauses, const QVariant& bound) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    const QString columns = QString::fromLatin1(kColumns).arg(QLatin1String(m_detail ? kDetailColumn : "NULL"));
    if (!query.prepare(columns + clauses))
        return std::nullopt;
    query.addBindValue(bound);
    if (!query.exec())
        return std::nullopt;
    QVector<FleetEvent> events;
    while (query.next()) {
        // A row this program did not write (an unknown kind) is skipped, not shown as something else.
        const int kind = query.value(3).toInt();
        if (!kindRow(kind))
            continue;
        FleetEvent event;
        event.utcSeconds = query.value(0).toLongLong();
        event.client = QUuid::fromString(query.value(1).toString());
        event.name = query.value(2).toString();
        event.kind = FleetEventKind(kind);
        event.sensorType = query.value(4).isNull() ? -1 : query.value(4).toInt();
        event.value = query.value(5).toInt();
        event.limit = query.value(6).toInt();
        event.detail = query.value(7).toString();
        events.append(event);
    }
    return events;
}
