// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Shared pieces of the store tests: an application object for the SQL plugins, temporary
// database files, and an independent look into a database file through SQLite itself.

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QDir>
#include <QVariant>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace storetest {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "store_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

using Row = std::vector<std::string>; // NULL reads as "<null>"

// Runs `sql` on its own connection to `path` and returns every row as text.
inline std::vector<Row> query(const QString& path, const std::string& sql, int flags = SQLITE_OPEN_READWRITE)
{
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        sqlite3_close(db);
        return rows;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
            row.push_back(text ? text : "<null>");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

// Creates the file when missing.
inline void execute(const QString& path, const std::string& sql)
{
    query(path, sql, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

inline std::string scalar(const QString& path, const std::string& sql)
{
    const std::vector<Row> rows = query(path, sql);
    return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
}

inline sqlite3* handleOf(QSqlDatabase& db)
{
    return *static_cast<sqlite3* const*>(db.driver()->handle().constData());
}

// A temporary directory with a database path in it.
class TempFiles : public testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        ASSERT_TRUE(dir.isValid());
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QString uniqueName() { return QUuid::createUuid().toString(); }

    QTemporaryDir dir;
};

} // namespace storetest
