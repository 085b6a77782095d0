// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_database.h"
#include "debug_log.h"
#include "sensor_purge.h"
#include "sensor_history.h"
#include "sensor_schema.h"
#include "sensor_summary.h"
#include "sensor_time.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr const char* kLocation = "Mainform::Mainform";

// A file whose free pages exceed this share of it (one in four) is compacted at start.
constexpr qint64 kSparseFileShare = 4;

const char* const kFaultStatements[] = {
    "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE ERR = 1 ORDER BY ID DESC LIMIT 50;",
    "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE (ERR = 1) AND (TYPE_ID IN (8, 9)) "
    "ORDER BY ID DESC LIMIT 50;",
    "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE (ERR = 1) AND (TYPE_ID IN (0, 1, 4, 5, 6, 7)) "
    "ORDER BY ID DESC LIMIT 50;",
    "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE (ERR = 1) AND (TYPE_ID IN (2, 3)) "
    "ORDER BY ID DESC LIMIT 50;",
};

// The lower bound on ID keeps the scan to the day's rows; the date test decides.
constexpr const char* kTodaysFaults =
    "SELECT DATE_TIME, TYPE_ID, DATA FROM SENSOR_TBL WHERE ERR = 1 AND ID >= ? AND DATE_KEY(DATE_TIME) >= ? "
    "ORDER BY ID DESC LIMIT 50;";

// Free pages are reused by the next inserts, so a day's purge (a sixtieth of the file) costs no
// space for long; rewriting the whole file for it on every start delayed the first tick by
// seconds. Only a file that is mostly holes (rows deleted by hand, a long time off) is compacted.
bool isSparse(QSqlDatabase& db)
{
    QSqlQuery pages(db);
    if (!pages.exec(QStringLiteral("SELECT (SELECT freelist_count FROM pragma_freelist_count), "
                                   "(SELECT page_count FROM pragma_page_count);"))
        || !pages.next())
        return false;
    return pages.value(0).toLongLong() * kSparseFileShare > pages.value(1).toLongLong();
}

} // namespace

FaultFilter faultFilterForIndex(int comboIndex)
{
    if (comboIndex < int(FaultFilter::All) || comboIndex > int(FaultFilter::Fan))
        return FaultFilter::All;
    return FaultFilter(comboIndex);
}

ClientDatabase::ClientDatabase(QString path, QString connectionName)
    : m_path(std::move(path))
    , m_connectionName(std::move(connectionName))
{
}

ClientDatabase::~ClientDatabase()
{
    close();
}

bool ClientDatabase::openWithMaintenance(DebugLog& log, const QDate& today)
{
    const bool exists = QFileInfo::exists(m_path);
    log.Write(kLocation, __LINE__, DebugLog::Info,
              exists ? "opening the sysinfo.sqlite file." : "creating the sysinfo.sqlite file");
    open();
    if (exists)
        pruneFile(log, today);
    else
        createFile(log);
    ensureFaultIndex(m_db);
    ensureSummaryTables(m_db);
    return m_db.isOpen();
}

bool ClientDatabase::open()
{
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        m_db.setDatabaseName(m_path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kStartBusyTimeoutMs));
    }
    if (m_db.open())
        registerDateKeyFunction(m_db);
    return m_db.isOpen();
}

bool ClientDatabase::setBusyTimeout(int milliseconds)
{
    return m_db.isOpen() && QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout = %1;").arg(milliseconds));
}

void ClientDatabase::createFile(DebugLog& log)
{
    createClientTables(m_db);
    log.Write(kLocation, __LINE__, DebugLog::Info, "done [creating the sysinfo.sqlite file]");
}

void ClientDatabase::pruneFile(DebugLog& log, const QDate& today)
{
    log.Write(kLocation, __LINE__, DebugLog::Info, "deleting old data");
    const QDate cutoff = today.addDays(-kKeepDays);
    purgeSensorRowsBefore(m_db, cutoff);
    purgeSummariesBefore(m_db, cutoff);
    if (!isSparse(m_db))
        return;
    log.Write(kLocation, __LINE__, DebugLog::Info, "trim the database");
    QSqlQuery(m_db).exec(QStringLiteral("VACUUM;"));
}

void ClientDatabase::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::optional<SensorLogRows> ClientDatabase::faultLog(FaultFilter filter) const
{
    return rows(QString::fromLatin1(kFaultStatements[int(faultFilterForIndex(int(filter)))]), {});
}

std::optional<SensorLogRows> ClientDatabase::todaysFaults(const QDate& today) const
{
    QSqlDatabase db = m_db;
    const int key = dateKey(today);
    const std::optional<qint64> firstOfToday = firstSensorRowOnOrAfter(db, key);
    if (!firstOfToday)
        return std::nullopt;
    return rows(QString::fromLatin1(kTodaysFaults), {*firstOfToday, key});
}

std::optional<SensorLogRows> ClientDatabase::rows(const QString& statement, const QVariantList& values) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return std::nullopt;
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return std::nullopt;
    SensorLogRows result;
    while (query.next() && result.size() < size_t(kFaultRowLimit))
        result.push_back({query.value(0).toString(), query.value(1).toInt(), query.value(2).toInt()});
    return result;
}

std::optional<HistorySeries> ClientDatabase::history(const HistoryQuery& query) const
{
    QSqlDatabase db = m_db;
    return querySensorHistory(db, query);
}
