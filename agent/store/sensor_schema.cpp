// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_schema.h"

#include <QSqlDatabase>
#include <QSqlQuery>

const std::array<const char*, 4> kCreateStatements = {
    "CREATE TABLE DMI_TBL("
    "ID            INT PRIMARY KEY     NOT NULL,"
    "HOST_GUID     CHAR(50),"
    "PROC_NAME     TEXT,"
    "PROC_CAPTION  TEXT,"
    "PROC_ID       CHAR(50),"
    "PROC_CORES    INT,"
    "PROC_LOGIPROC INT,"
    "SYS_MANUF     CHAR(50),"
    "SYS_MODEL     CHAR(50),"
    "SYS_VER       CHAR(50),"
    "SYS_SERIAL    CHAR(50),"
    "SYS_MEMSIZE   CHAR(20),"
    "SYS_USER      CHAR(50),"
    "BRD_MANUF     CHAR(50),"
    "BRD_PROD      CHAR(50),"
    "BRD_VER       CHAR(50),"
    "BRD_SERIAL    CHAR(50));",
    "INSERT INTO DMI_TBL (ID) VALUES (1);",
    "CREATE TABLE NOTIFY_TBL(ID INTEGER PRIMARY KEY AUTOINCREMENT,DATE_TIME DATETIME,ERR_ID INT,HINT TEXT);",
    "CREATE TABLE SENSOR_TBL(ID INTEGER PRIMARY KEY AUTOINCREMENT,DATE_TIME DATETIME,TYPE_ID INT,DATA INT,"
    "ERR INT NOT NULL);",
};

const char* const kFaultIndexStatement =
    "CREATE INDEX IF NOT EXISTS SENSOR_FAULT_IDX ON SENSOR_TBL(ID, TYPE_ID) WHERE ERR = 1;";

bool createClientTables(QSqlDatabase& db)
{
    bool allDone = true;
    for (const char* statement : kCreateStatements) {
        QSqlQuery query(db);
        allDone = query.exec(QString::fromLatin1(statement)) && allDone;
    }
    return allDone;
}

bool ensureFaultIndex(QSqlDatabase& db)
{
    QSqlQuery query(db);
    return query.exec(QString::fromLatin1(kFaultIndexStatement));
}
