// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_purge.h"
#include "sensor_time.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

struct IdRange {
    qint64 first = 0;
    qint64 last = -1;
};

std::optional<IdRange> sensorIdRange(QSqlDatabase& db)
{
    QSqlQuery query(db);
    // Two sub-queries: SQLite answers a lone MIN or MAX from the end of the key, but scans
    // the whole table for both in one select.
    if (!query.exec(QStringLiteral("SELECT (SELECT MIN(ID) FROM SENSOR_TBL), (SELECT MAX(ID) FROM SENSOR_TBL);"))
        || !query.next())
        return std::nullopt;
    if (query.value(0).isNull())
        return IdRange{};
    return IdRange{query.value(0).toLongLong(), query.value(1).toLongLong()};
}

} // namespace

std::optional<qint64> firstSensorRowOnOrAfter(QSqlDatabase& db, int key)
{
    const std::optional<IdRange> range = sensorIdRange(db);
    if (!range)
        return std::nullopt;
    QSqlQuery probe(db);
    if (!probe.prepare(QStringLiteral("SELECT ID, DATE_TIME FROM SENSOR_TBL WHERE ID >= ? ORDER BY ID LIMIT 1;")))
        return std::nullopt;

    // Rows below `low` are older than the key; rows from `high` on are not.
    qint64 low = range->first;
    qint64 high = range->last + 1;
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        probe.bindValue(0, middle);
        if (!probe.exec())
            return std::nullopt;
        if (!probe.next()) {
            high = middle;
            continue;
        }
        const qint64 id = probe.value(0).toLongLong();
        const QByteArray text = probe.value(1).toString().toUtf8();
        probe.finish();
        if (id >= high) {
            high = middle;
            continue;
        }
        const int rowKey = dateKeyOfText(text.constData(), text.size());
        if (rowKey < 0 || rowKey >= key)
            high = id;
        else
            low = id + 1;
    }
    return high;
}

int purgeSensorRowsBefore(QSqlDatabase& db, const QDate& cutoff)
{
    const int cutoffKey = dateKey(cutoff);
    const std::optional<qint64> boundary = firstSensorRowOnOrAfter(db, cutoffKey);
    if (!boundary)
        return -1;
    // The date test stays in as well, so that a row below the boundary that is not old
    // (the clock once ran ahead and was set back) is never lost.
    QSqlQuery del(db);
    if (!del.prepare(QStringLiteral("DELETE FROM SENSOR_TBL WHERE ID < ? AND DATE_KEY(DATE_TIME) < ?;")))
        return -1;
    del.addBindValue(*boundary);
    del.addBindValue(cutoffKey);
    if (!del.exec())
        return -1;
    return del.numRowsAffected();
}
