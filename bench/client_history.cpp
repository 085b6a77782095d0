#include "client_history.h"

#include "sensor_schema.h"
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
constexpr int kLoggingOrder[] = {8, 9, 2, 3, 0, 1, 4, 5, 6, 7, 10};

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
            const QByteArray stamp =
                sensorTimeText(QDateTime(firstDay.addDays(day), QTime(0, 0).addSecs(pass * 10))).toLatin1();
            for (int type : kLoggingOrder) {
                const bool isLoad = type == 10;
                const bool canFault = !isLoad && type != 2 && type != 3;
                sqlite3_bind_text(insert, 1, stamp.constData(), stamp.size(), SQLITE_TRANSIENT);
                sqlite3_bind_int(insert, 2, type);
                sqlite3_bind_int(insert, 3, isLoad ? int(random() % 100) : readingOf(type, random));
                sqlite3_bind_int(insert, 4, canFault && fault(random) ? 1 : 0);
                ok = sqlite3_step(insert) == SQLITE_DONE;
                sqlite3_reset(insert);
            }
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
    sqlite3_close(db);
    return ok;
}

} // namespace

QString cachedHistory(const QString& cacheDir, const QDate& lastDay)
{
    QDir dir(cacheDir);
    dir.mkpath(QStringLiteral("."));
    const QString name = QStringLiteral("client-sysinfo2-%1.sqlite").arg(lastDay.toString(QStringLiteral("yyyyMMdd")));
    for (const QString& old : dir.entryList({QStringLiteral("client-sysinfo2-*")}, QDir::Files))
        if (old != name)
            dir.remove(old);
    const QString path = dir.filePath(name);
    if (QFile::exists(path))
        return path;

    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    std::fprintf(stderr, "building %s ...\n", qPrintable(path));
    if (!build(building, lastDay) || !QFile::rename(building, path)) {
        QFile::remove(building);
        return {};
    }
    return path;
}

} // namespace benchhistory
