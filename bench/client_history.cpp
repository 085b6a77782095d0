// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_history.h"

#include "sensor_schema.h"
#include "sensor_snapshot.h"
#include "sensor_time.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>
#include <random>

namespace benchhistory {

namespace {

constexpr int kPassesPerDay = 8640;
constexpr int kLayoutVersion = 2; // PRAGMA user_version of a finished file of this layout

bool exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    const bool done = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
    if (!done)
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error ? error : "?");
    sqlite3_free(error);
    return done;
}

int readingOf(int type, std::mt19937& random)
{
    static const int kTypical[] = {1200, 3300, 2950, 1800, 5000, 12000, 5000, 12000, 45, 38};
    return kTypical[type] + int(random() % 50);
}

bool insertRow(sqlite3_stmt* insert, const QByteArray& stamp, int type, int data, bool fault)
{
    sqlite3_bind_text(insert, 1, stamp.constData(), stamp.size(), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 2, type);
    sqlite3_bind_int(insert, 3, data);
    sqlite3_bind_int(insert, 4, fault ? 1 : 0);
    const bool done = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
    return done;
}

// One logging pass: the switched sensors in the thread's order, then the processor load.
bool insertPass(sqlite3_stmt* insert, const QByteArray& stamp, std::mt19937& random,
                std::bernoulli_distribution& fault)
{
    for (int type : kSensorLoggingOrder) {
        const int data = readingOf(type, random);
        const bool canFault = type != SensorCpuFan && type != SensorSysFan;
        if (!insertRow(insert, stamp, type, data, canFault && fault(random)))
            return false;
    }
    return insertRow(insert, stamp, SensorCpuLoad, int(random() % 100), false);
}

bool insertPasses(sqlite3* db, const QDate& firstDay)
{
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, ?, ?, ?);", -1,
                           &insert, nullptr)
        != SQLITE_OK)
        return false;
    std::mt19937 random(20240101);
    std::bernoulli_distribution fault(0.01375); // 8 of 11 rows can fault: 1 % of all rows
    bool ok = true;
    for (int day = 0; ok && day < kDays; ++day) {
        for (int pass = 0; ok && pass < kPassesPerDay; ++pass) {
            const QDateTime when(firstDay.addDays(day), QTime(0, 0).addSecs(pass * 10));
            ok = insertPass(insert, sensorTimeText(when).toLatin1(), random, fault);
        }
    }
    sqlite3_finalize(insert);
    return ok;
}

// One transaction, no journal: the rows go in at full speed.
bool build(const QString& path, const QDate& lastDay)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = exec(db, "PRAGMA journal_mode = OFF;") && exec(db, "PRAGMA synchronous = OFF;");
    for (const char* statement : kCreateStatements)
        ok = ok && exec(db, statement);
    ok = ok && exec(db, "UPDATE DMI_TBL SET HOST_GUID = '" + kIdentity.toStdString() + "' WHERE ID = 1;");
    ok = ok && exec(db, "BEGIN;") && insertPasses(db, lastDay.addDays(1 - kDays));
    ok = ok && exec(db, "COMMIT;") && exec(db, kFaultIndexStatement);
    ok = ok && exec(db, "PRAGMA user_version = " + std::to_string(kLayoutVersion) + ";");
    sqlite3_close(db);
    return ok;
}

} // namespace

bool buildHistory(const QString& path, const QDate& lastDay)
{
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    QFile::remove(path);
    std::fprintf(stderr, "building %s ...\n", qPrintable(path));
    if (build(building, lastDay) && QFile::rename(building, path))
        return true;
    QFile::remove(building);
    return false;
}

bool isCompleteHistory(const QString& path)
{
    sqlite3* db = nullptr;
    int version = 0;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA user_version;", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            version = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return version == kLayoutVersion;
}

QString cachedHistory(const QString& cacheDir, const QDate& lastDay)
{
    QDir dir(cacheDir);
    dir.mkpath(QStringLiteral("."));
    const QString name = QStringLiteral("client-sysinfo2-%1.sqlite").arg(lastDay.toString(QStringLiteral("yyyyMMdd")));
    for (const QString& old : dir.entryList({QStringLiteral("client-sysinfo2-*")}, QDir::Files))
        if (old != name)
            dir.remove(old);
    const QString path = dir.filePath(name);
    return isCompleteHistory(path) || buildHistory(path, lastDay) ? path : QString();
}

} // namespace benchhistory
