// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_summary.h"
#include "sensor_time.h"
#include "sqlite_handle.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

const SummaryTable kMinuteSummary = {"SENSOR_MINUTE_TBL", 60};
const SummaryTable kHourSummary = {"SENSOR_HOUR_TBL", 3600};

namespace {

const SummaryTable* const kSummaries[] = {&kMinuteSummary, &kHourSummary};

constexpr char kStateTable[] = "SENSOR_SUMMARY_STATE";

// START: Unix seconds of the period; N, TOTAL, LO, HI: count, sum, lowest and highest DATA;
// FIRST_ID, LAST_ID: the lowest and highest SENSOR_TBL ID folded into the row.
constexpr char kCreateSummary[] =
    "CREATE TABLE %1(TYPE_ID INT NOT NULL, START INT NOT NULL, N INT NOT NULL, TOTAL INT NOT NULL, "
    "LO INT NOT NULL, HI INT NOT NULL, FIRST_ID INT NOT NULL, LAST_ID INT NOT NULL, "
    "PRIMARY KEY (TYPE_ID, START)) WITHOUT ROWID;";

constexpr char kFoldSummary[] =
    "INSERT INTO %1 (TYPE_ID, START, N, TOTAL, LO, HI, FIRST_ID, LAST_ID) "
    "SELECT TYPE_ID, P, COUNT(*), SUM(DATA), MIN(DATA), MAX(DATA), MIN(ID), MAX(ID) FROM "
    "(SELECT ID, TYPE_ID, DATA, SENSOR_PERIOD(DATE_TIME, %2) AS P FROM SENSOR_TBL "
    " WHERE ID > ? AND ID <= ? AND TYPE_ID IS NOT NULL AND typeof(DATA) = 'integer') "
    "WHERE P IS NOT NULL GROUP BY TYPE_ID, P "
    "ON CONFLICT (TYPE_ID, START) DO UPDATE SET N = N + excluded.N, TOTAL = TOTAL + excluded.TOTAL, "
    "LO = MIN(LO, excluded.LO), HI = MAX(HI, excluded.HI), FIRST_ID = MIN(FIRST_ID, excluded.FIRST_ID), "
    "LAST_ID = MAX(LAST_ID, excluded.LAST_ID);";

bool run(QSqlDatabase& db, const QString& statement)
{
    return QSqlQuery(db).exec(statement);
}

std::optional<qint64> scalar(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

bool tableExists(QSqlDatabase& db, const char* name)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?;"));
    query.addBindValue(QString::fromLatin1(name));
    return query.exec() && query.next();
}

// The state fits when the last folded row is not beyond the table's rows; an empty SENSOR_TBL
// fits any state (its IDs go on above the purged ones).
bool stateFits(QSqlDatabase& db)
{
    const std::optional<qint64> folded =
        scalar(db, QStringLiteral("SELECT LAST_ID FROM %1 WHERE ID = 1;").arg(QLatin1String(kStateTable)));
    const std::optional<qint64> newest = scalar(db, QStringLiteral("SELECT IFNULL(MAX(ID), -1) FROM SENSOR_TBL;"));
    return folded && newest && (*newest < 0 || *folded <= *newest);
}

bool allPresent(QSqlDatabase& db)
{
    for (const SummaryTable* table : kSummaries)
        if (!tableExists(db, table->name))
            return false;
    return tableExists(db, kStateTable);
}

bool createAnew(QSqlDatabase& db)
{
    bool ok = run(db, QStringLiteral("BEGIN IMMEDIATE;"));
    for (const SummaryTable* table : kSummaries) {
        ok = ok && run(db, QStringLiteral("DROP TABLE IF EXISTS %1;").arg(QLatin1String(table->name)));
        ok = ok && run(db, QString::fromLatin1(kCreateSummary).arg(QLatin1String(table->name)));
    }
    const QString state = QLatin1String(kStateTable);
    ok = ok && run(db, QStringLiteral("DROP TABLE IF EXISTS %1;").arg(state));
    ok = ok && run(db, QStringLiteral("CREATE TABLE %1(ID INTEGER PRIMARY KEY, LAST_ID INT NOT NULL);").arg(state));
    ok = ok && run(db, QStringLiteral("INSERT INTO %1 (ID, LAST_ID) VALUES (1, 0);").arg(state));
    if (ok)
        return run(db, QStringLiteral("COMMIT;"));
    run(db, QStringLiteral("ROLLBACK;"));
    return false;
}

void sensorPeriodSql(sqlite3_context* context, int, sqlite3_value** argv)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const sqlite3_int64 seconds = sqlite3_value_int64(argv[1]);
    const std::optional<qint64> epoch = text ? storedEpochSeconds(text, sqlite3_value_bytes(argv[0])) : std::nullopt;
    if (!epoch || seconds <= 0) {
        sqlite3_result_null(context);
        return;
    }
    const qint64 floor = *epoch >= 0 ? *epoch / seconds : -((-*epoch + seconds - 1) / seconds);
    sqlite3_result_int64(context, floor * seconds);
}

bool foldRange(QSqlDatabase& db, qint64 above, qint64 upTo)
{
    for (const SummaryTable* table : kSummaries) {
        QSqlQuery fold(db);
        if (!fold.prepare(QString::fromLatin1(kFoldSummary).arg(QLatin1String(table->name)).arg(table->seconds)))
            return false;
        fold.addBindValue(above);
        fold.addBindValue(upTo);
        if (!fold.exec())
            return false;
    }
    QSqlQuery state(db);
    state.prepare(QStringLiteral("UPDATE %1 SET LAST_ID = ? WHERE ID = 1;").arg(QLatin1String(kStateTable)));
    state.addBindValue(upTo);
    return state.exec();
}

} // namespace

bool ensureSummaryTables(QSqlDatabase& db)
{
    if (allPresent(db) && stateFits(db))
        return true;
    return createAnew(db);
}

bool registerSummaryFunctions(QSqlDatabase& db)
{
    sqlite3* connection = sqliteHandle(db);
    return connection
        && sqlite3_create_function_v2(connection, "SENSOR_PERIOD", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      sensorPeriodSql, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

std::optional<bool> foldSensorRows(QSqlDatabase& db, int maxRows)
{
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE;")))
        return std::nullopt;
    const std::optional<qint64> folded =
        scalar(db, QStringLiteral("SELECT LAST_ID FROM %1 WHERE ID = 1;").arg(QLatin1String(kStateTable)));
    const std::optional<qint64> newest = scalar(db, QStringLiteral("SELECT IFNULL(MAX(ID), 0) FROM SENSOR_TBL;"));
    if (!folded || !newest) {
        run(db, QStringLiteral("ROLLBACK;"));
        return std::nullopt;
    }
    // IDs have gaps (purged days), so the chunk ends at the maxRows-th row, not at an ID.
    QSqlQuery chunkEnd(db);
    chunkEnd.prepare(QStringLiteral("SELECT ID FROM SENSOR_TBL WHERE ID > ? ORDER BY ID LIMIT 1 OFFSET ?;"));
    chunkEnd.addBindValue(*folded);
    chunkEnd.addBindValue(std::max(maxRows, 1) - 1);
    if (!chunkEnd.exec()) {
        run(db, QStringLiteral("ROLLBACK;"));
        return std::nullopt;
    }
    const qint64 upTo = chunkEnd.next() ? chunkEnd.value(0).toLongLong() : *newest;
    chunkEnd.finish();
    if (upTo > *folded && !foldRange(db, *folded, upTo)) {
        run(db, QStringLiteral("ROLLBACK;"));
        return std::nullopt;
    }
    if (!run(db, QStringLiteral("COMMIT;"))) {
        run(db, QStringLiteral("ROLLBACK;"));
        return std::nullopt;
    }
    return upTo >= *newest;
}

bool purgeSummariesBefore(QSqlDatabase& db, const QDate& cutoff)
{
    const qint64 start = QDateTime(cutoff, QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    bool ok = true;
    for (const SummaryTable* table : kSummaries) {
        QSqlQuery purge(db);
        ok = purge.prepare(QStringLiteral("DELETE FROM %1 WHERE START < ?;").arg(QLatin1String(table->name))) && ok;
        purge.addBindValue(start);
        ok = purge.exec() && ok;
    }
    return ok;
}
