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
    "LIMIT_DATA INTEGER );";
constexpr char kCreateIndex[] = "CREATE INDEX IF NOT EXISTS FLEETEVENT_UTC ON FLEETEVENT_TBL(UTC);";
constexpr char kInsert[] = "INSERT INTO FLEETEVENT_TBL (UTC, GUID, COMPUTERNAME, KIND, TYPE_ID, DATA, LIMIT_DATA) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?);";
constexpr char kPurge[] = "DELETE FROM FLEETEVENT_TBL WHERE UTC < ?;";
constexpr char kColumns[] = "SELECT UTC, GUID, COMPUTERNAME, KIND, TYPE_ID, DATA, LIMIT_DATA FROM FLEETEVENT_TBL ";

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
    if (!isFault(event.kind))
        return what;
    return what + QLatin1String(": ") + sensorFaultText(event.sensorType, event.value, event.limit);
}

QString sensorFaultText(int sensorType, int value, int limit)
{
    return QStringLiteral("%1 (limit %2)").arg(sensorLogText(sensorType, value), figureOf(sensorType, limit));
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
    return query.exec(QLatin1String(kCreateTable)) && query.exec(QLatin1String(kCreateIndex));
}

bool FleetEventStore::openReadOnly(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    m_db = QSqlDatabase::addDatabase(QLatin1String(kDriver), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QLatin1String(kBusyTimeoutOption) + QLatin1String(";QSQLITE_OPEN_READONLY"));
    return m_db.open();
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
        if (!insert.exec()) {
            m_db.rollback();
            return false;
        }
    }
    return m_db.commit();
}

bool FleetEventStore::purgeBefore(qint64 utcSeconds)
{
    QSqlQuery purge(m_db);
    purge.prepare(QLatin1String(kPurge));
    purge.addBindValue(utcSeconds);
    return purge.exec();
}

std::optional<QVector<FleetEvent>> FleetEventStore::since(qint64 utcSeconds) const
{
    return select(QLatin1String(kColumns) + QLatin1String("WHERE UTC >= ? ORDER BY ID ASC;"), utcSeconds);
}

std::optional<QVector<FleetEvent>> FleetEventStore::newest(int limit) const
{
    return select(QLatin1String(kColumns) + QLatin1String("ORDER BY ID DESC LIMIT ?;"), limit);
}

std::optional<QVector<FleetEvent>> FleetEventStore::select(const QString& statement, const QVariant& bound) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
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
        events.append(event);
    }
    return events;
}
