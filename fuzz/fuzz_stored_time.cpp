// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Stored DATE_TIME texts as they come back from "sysinfo2.sqlite", which a person or another
// program may have edited: the date key of the purge and of today's faults, the fault time of the
// replies, and the purge itself on a table whose rows hold the input's lines.
//
// Properties: a key >= 0 is a real calendar date; a text that yields a fault time yields the same
// date as key; the purge deletes only rows dated before its cutoff, and every such row below the
// boundary it finds.

#include "client_database.h"
#include "database_faults.h"
#include "sensor_purge.h"
#include "sensor_time.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

constexpr int kMaxRows = 8;
const QDate kCutoff(2024, 3, 5);

[[noreturn]] void fail(const char* property, const QByteArray& text)
{
    qFatal("%s: \"%s\"", property, text.toHex().constData());
    std::abort();
}

void checkKey(const QByteArray& text)
{
    const int key = dateKeyOfText(text.constData(), text.size());
    if (key >= 0 && !QDate(key / 10000, key / 100 % 100, key % 100).isValid())
        fail("a date key that is no calendar date", text);
}

void checkFaultTime(const QByteArray& text)
{
    const msg::FaultRecord record = faultRecordOf({QString::fromUtf8(text), 3, 42});
    if (record.type != 3 || record.data != 42)
        fail("a fault row's type or value changed", text);
    if (record.utcSeconds == 0)
        return;
    const int key = dateKeyOfText(text.constData(), text.size());
    const QDate logged = QDateTime::fromSecsSinceEpoch(record.utcSeconds, Qt::LocalTime).date();
    if (key >= 0 && key != dateKey(logged))
        fail("fault time and date key disagree", text);
}

QSqlDatabase& database()
{
    static QSqlDatabase db = [] {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz"));
        d.setDatabaseName(QStringLiteral(":memory:"));
        if (!d.open() || !registerDateKeyFunction(d))
            qFatal("no in-memory database");
        QSqlQuery(d).exec(QStringLiteral("CREATE TABLE SENSOR_TBL(ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                         "DATE_TIME DATETIME,TYPE_ID INT,DATA INT,ERR INT);"));
        return d;
    }();
    return db;
}

void checkPurge(const QList<QByteArray>& texts)
{
    QSqlDatabase& db = database();
    QSqlQuery query(db);
    query.exec(QStringLiteral("DELETE FROM SENSOR_TBL;"));
    query.prepare(QStringLiteral("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, 0, 0, 1);"));
    std::map<qint64, int> keyOfId;
    for (const QByteArray& text : texts) {
        query.addBindValue(QString::fromUtf8(text));
        if (!query.exec())
            fail("insert failed", text);
        const QByteArray stored = QString::fromUtf8(text).toUtf8();
        keyOfId[query.lastInsertId().toLongLong()] = dateKeyOfText(stored.constData(), stored.size());
    }
    const std::optional<qint64> boundary = firstSensorRowOnOrAfter(db, dateKey(kCutoff));
    if (!boundary)
        fail("boundary search failed", texts.join('\n'));
    if (purgeSensorRowsBefore(db, kCutoff) < 0)
        fail("purge failed", texts.join('\n'));

    QSqlQuery left(db);
    left.exec(QStringLiteral("SELECT ID FROM SENSOR_TBL;"));
    std::map<qint64, int> kept;
    while (left.next())
        kept[left.value(0).toLongLong()] = 1;
    for (const auto& [id, key] : keyOfId) {
        const bool old = key >= 0 && key < dateKey(kCutoff);
        if (kept.count(id) && old && id < *boundary)
            fail("an old row below the boundary survived", texts.join('\n'));
        if (!kept.count(id) && !old)
            fail("a row that is not old was deleted", texts.join('\n'));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // A zone with daylight saving, so times in the spring gap and the autumn overlap occur.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    QList<QByteArray> lines = input.split('\n');
    while (lines.size() > kMaxRows)
        lines.removeLast();
    for (const QByteArray& line : lines) {
        checkKey(line);
        checkFaultTime(line);
    }
    checkPurge(lines);
    return 0;
}
