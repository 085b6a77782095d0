// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_history.h"
#include "sensor_summary.h"
#include "sensor_time.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <vector>

namespace {

struct Tally {
    qint64 count = 0;
    qint64 total = 0;
    int low = 0;
    int high = 0;

    void add(qint64 n, qint64 sum, int lo, int hi)
    {
        low = count == 0 ? lo : std::min(low, lo);
        high = count == 0 ? hi : std::max(high, hi);
        count += n;
        total += sum;
    }
};

// Reads the summaries top down, keeping one prepared statement per level.
class HistoryReader {
public:
    HistoryReader(QSqlDatabase& db, const HistoryQuery& query)
        : m_query(query)
        , m_step(historyStep(query))
        , m_tallies(size_t((query.to - query.from + m_step - 1) / m_step))
        , m_hours(db)
        , m_minutes(db)
        , m_rows(db)
    {
    }

    bool prepare()
    {
        const QString summary = QStringLiteral(
            "SELECT START, N, TOTAL, LO, HI, FIRST_ID, LAST_ID FROM %1 WHERE TYPE_ID = ? AND START >= ? AND START < ? "
            "ORDER BY START;");
        return m_hours.prepare(summary.arg(QLatin1String(kHourSummary.name)))
            && m_minutes.prepare(summary.arg(QLatin1String(kMinuteSummary.name)))
            && m_rows.prepare(QStringLiteral("SELECT DATE_TIME, DATA FROM SENSOR_TBL WHERE ID >= ? AND ID <= ? "
                                             "AND TYPE_ID = ? AND typeof(DATA) = 'integer';"));
    }

    // Hours only where whole hours can fit the buckets; otherwise every hour would be opened.
    bool read()
    {
        const bool hourly = m_step % kHourSummary.seconds == 0;
        const SummaryTable& top = hourly ? kHourSummary : kMinuteSummary;
        const qint64 first = m_query.from - floorMod(m_query.from, top.seconds);
        return readLevel(hourly ? m_hours : m_minutes, top.seconds, first, m_query.to);
    }

    HistorySeries series() const
    {
        HistorySeries series{m_query.type, m_step, {}};
        for (size_t k = 0; k < m_tallies.size(); ++k) {
            const Tally& t = m_tallies[k];
            if (t.count == 0)
                continue;
            const int avg = int(std::llround(double(t.total) / double(t.count)));
            series.buckets.push_back({m_query.from + qint64(k) * m_step, t.low, avg, t.high});
        }
        return series;
    }

private:
    static qint64 floorMod(qint64 value, qint64 divisor)
    {
        const qint64 rest = value % divisor;
        return rest < 0 ? rest + divisor : rest;
    }

    qint64 bucketOf(qint64 second) const { return (second - m_query.from) / m_step; }

    // Whether the period [start, start + length) lies inside the range and inside one bucket.
    bool fitsOneBucket(qint64 start, qint64 length) const
    {
        return start >= m_query.from && start + length <= m_query.to
            && bucketOf(start) == bucketOf(start + length - 1);
    }

    bool overlapsRange(qint64 start, qint64 length) const
    {
        return start + length > m_query.from && start < m_query.to;
    }

    // Summary rows of one level in [begin, end): whole where they fit one bucket, else opened up
    // one level down (hours into minutes, minutes into rows).
    bool readLevel(QSqlQuery& level, qint64 seconds, qint64 begin, qint64 end)
    {
        level.bindValue(0, m_query.type);
        level.bindValue(1, begin);
        level.bindValue(2, end);
        if (!level.exec())
            return false;
        struct Row {
            qint64 start, count, total;
            int low, high;
            qint64 firstId, lastId;
        };
        std::vector<Row> open; // read to the end before the level below reuses its statement
        while (level.next()) {
            const Row row{level.value(0).toLongLong(), level.value(1).toLongLong(), level.value(2).toLongLong(),
                          level.value(3).toInt(),      level.value(4).toInt(),      level.value(5).toLongLong(),
                          level.value(6).toLongLong()};
            if (!overlapsRange(row.start, seconds))
                continue;
            if (fitsOneBucket(row.start, seconds))
                m_tallies[size_t(bucketOf(row.start))].add(row.count, row.total, row.low, row.high);
            else
                open.push_back(row);
        }
        level.finish();
        for (const Row& row : open) {
            const bool ok = seconds == kHourSummary.seconds
                ? readLevel(m_minutes, kMinuteSummary.seconds, row.start, row.start + seconds)
                : readRows(row.start, row.firstId, row.lastId);
            if (!ok)
                return false;
        }
        return true;
    }

    // The rows of the minute at `minute`; its ID span may hold rows of other minutes (a clock
    // set back), which count through their own minute.
    bool readRows(qint64 minute, qint64 firstId, qint64 lastId)
    {
        m_rows.bindValue(0, firstId);
        m_rows.bindValue(1, lastId);
        m_rows.bindValue(2, m_query.type);
        if (!m_rows.exec())
            return false;
        while (m_rows.next()) {
            const QByteArray text = m_rows.value(0).toString().toLatin1();
            const std::optional<qint64> second = storedEpochSeconds(text.constData(), text.size());
            if (!second || *second < minute || *second >= minute + kMinuteSummary.seconds
                || *second < m_query.from || *second >= m_query.to)
                continue;
            const int data = m_rows.value(1).toInt();
            m_tallies[size_t(bucketOf(*second))].add(1, data, data, data);
        }
        m_rows.finish();
        return true;
    }

    const HistoryQuery m_query;
    const qint64 m_step;
    std::vector<Tally> m_tallies;
    QSqlQuery m_hours;
    QSqlQuery m_minutes;
    QSqlQuery m_rows;
};

// While the logging thread still folds the rows an older program left (the first minute or so
// after such a start), the summaries would show a history with holes: none is given instead.
// The rows of the pass being folded right now are few and are left out.
bool summariesCurrent(QSqlDatabase& db)
{
    QSqlQuery behind(db);
    if (!behind.exec(QStringLiteral("SELECT IFNULL((SELECT MAX(ID) FROM SENSOR_TBL), 0) - "
                                    "(SELECT LAST_ID FROM SENSOR_SUMMARY_STATE WHERE ID = 1);"))
        || !behind.next() || behind.value(0).isNull())
        return false;
    return behind.value(0).toLongLong() <= kFoldChunkRows;
}

} // namespace

std::optional<HistorySeries> querySensorHistory(QSqlDatabase& db, const HistoryQuery& query)
{
    if (!isAnswerableHistoryQuery(query) || !summariesCurrent(db))
        return std::nullopt;
    HistoryReader reader(db, query);
    if (!reader.prepare() || !reader.read())
        return std::nullopt;
    return reader.series();
}
