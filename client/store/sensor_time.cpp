#include "sensor_time.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>

namespace {

// Reads 1 to `maxDigits` decimal digits at text[pos].
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
    int pos = 0, year = 0, month = 0, day = 0;
    if (!readNumber(text, length, pos, 4, year) || pos >= length || text[pos++] != '-')
        return -1;
    if (!readNumber(text, length, pos, 2, month) || pos >= length || text[pos++] != '-')
        return -1;
    if (!readNumber(text, length, pos, 2, day) || (pos < length && text[pos] != ' '))
        return -1;
    // Only a day the calendar has: "2024-2-30" or year 0 is not a date, so such a row is kept
    // by the purge and left out of today's faults, as the fault replies leave out its time.
    if (!QDate::isValid(year, month, day))
        return -1;
    return year * 10000 + month * 100 + day;
}

bool registerDateKeyFunction(QSqlDatabase& db)
{
    if (!db.isOpen() || !db.driver())
        return false;
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    return connection
        && sqlite3_create_function_v2(connection, "DATE_KEY", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      dateKeySql, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}
