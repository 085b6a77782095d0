// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_time.h"

#include "sqlite_handle.h"

namespace {

// Reads 1 to `maxDigits` decimal digits at text[pos], not followed by another digit.
bool readNumber(const char* text, int length, int& pos, int maxDigits, int& value)
{
    value = 0;
    int digits = 0;
    while (pos < length && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0 && (pos >= length || text[pos] < '0' || text[pos] > '9');
}

// Reads three numbers separated by `separator`, the first of up to `firstDigits` digits and the
// others of up to two, starting at text[pos].
bool readTriple(const char* text, int length, int& pos, char separator, int firstDigits, int (&fields)[3])
{
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && (pos >= length || text[pos++] != separator))
            return false;
        if (!readNumber(text, length, pos, i == 0 ? firstDigits : 2, fields[i]))
            return false;
    }
    return true;
}

// "Y-M-D" at the start of the text; pos is left after it.
QDate readDate(const char* text, int length, int& pos)
{
    int fields[3];
    if (!readTriple(text, length, pos, '-', 4, fields))
        return {};
    // Only a day the calendar has: "2024-2-30" or year 0 is not a date, so such a row is kept
    // by the purge and left out of today's faults, as the fault replies leave out its time.
    return QDate(fields[0], fields[1], fields[2]);
}

// The whole text "Y-M-D h:m:s".
bool readDateTime(const char* text, int length, QDate& date, QTime& time)
{
    int pos = 0;
    date = readDate(text, length, pos);
    if (!date.isValid() || pos >= length || text[pos++] != ' ')
        return false;
    int clock[3];
    if (!readTriple(text, length, pos, ':', 2, clock) || pos != length)
        return false;
    time = QTime(clock[0], clock[1], clock[2]);
    return time.isValid();
}

void dateKeySql(sqlite3_context* context, int, sqlite3_value** argv)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int key = text ? dateKeyOfText(text, sqlite3_value_bytes(argv[0])) : -1;
    if (key < 0)
        sqlite3_result_null(context);
    else
        sqlite3_result_int(context, key);
}

} // namespace

QString sensorTimeText(const QDateTime& local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    return QString::asprintf("%d-%d-%d %d:%d:%d", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

int dateKey(const QDate& date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

int dateKeyOfText(const char* text, int length)
{
    int pos = 0;
    const QDate date = readDate(text, length, pos);
    if (!date.isValid() || (pos < length && text[pos] != ' '))
        return -1;
    return dateKey(date);
}

QDateTime storedLocalTime(const QString& text)
{
    // Read by hand: the format parser of QDateTime took about 15 us a row, most of the time of a
    // fault reply on the window's thread.
    const QByteArray bytes = text.toLatin1();
    QDate date;
    QTime time;
    if (!readDateTime(bytes.constData(), bytes.size(), date, time))
        return {};
    return QDateTime(date, time, Qt::LocalTime);
}

std::optional<qint64> storedEpochSeconds(const char* text, int length)
{
    QDate date;
    QTime time;
    if (!readDateTime(text, length, date, time))
        return std::nullopt;
    // The zone's offset changes on whole hours only, so it is looked up once per local hour:
    // the summaries read every row of a 60-day file through here.
    thread_local QDate cachedDate;
    thread_local int cachedHour = -1;
    thread_local qint64 cachedStart = 0;
    if (date != cachedDate || time.hour() != cachedHour) {
        cachedStart = QDateTime(date, QTime(time.hour(), 0), Qt::LocalTime).toSecsSinceEpoch();
        cachedDate = date;
        cachedHour = time.hour();
    }
    return cachedStart + time.minute() * 60 + time.second();
}

bool registerDateKeyFunction(QSqlDatabase& db)
{
    sqlite3* connection = sqliteHandle(db);
    return connection
        && sqlite3_create_function_v2(connection, "DATE_KEY", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      dateKeySql, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}
