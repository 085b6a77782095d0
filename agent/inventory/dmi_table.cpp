// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "dmi_table.h"
#include "debug_log.h"

#include <QSqlQuery>

namespace {

using I = Inventory;

struct DmiColumn {
    const char* name;
    QString Inventory::*text; // null for a number
    int32_t Inventory::*number;
};

const DmiColumn kColumns[] = {
    {"PROC_NAME", &I::procName, nullptr},
    {"PROC_CAPTION", &I::procCaption, nullptr},
    {"PROC_CORES", nullptr, &I::procCores},
    {"PROC_LOGIPROC", nullptr, &I::procLogicalProcessors},
    {"PROC_ID", &I::procId, nullptr},
    {"SYS_MANUF", &I::sysManufacturer, nullptr},
    {"SYS_MODEL", &I::sysModel, nullptr},
    {"SYS_VER", &I::sysVersion, nullptr},
    {"SYS_SERIAL", &I::sysSerial, nullptr},
    {"SYS_MEMSIZE", &I::sysMemorySize, nullptr},
    {"SYS_USER", &I::sysUser, nullptr},
    {"BRD_MANUF", &I::boardManufacturer, nullptr},
    {"BRD_PROD", &I::boardProduct, nullptr},
    {"BRD_VER", &I::boardVersion, nullptr},
    {"BRD_SERIAL", &I::boardSerial, nullptr},
};

constexpr int kUuidTextLength = 38; // {8-4-4-4-12}

QVariant storedValue(QSqlDatabase& db, const QString& column)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT %1 FROM DMI_TBL WHERE ID = 1;").arg(column)) && query.next())
        return query.value(0);
    return {};
}

QUuid parseStoredIdentity(const QString& stored)
{
    const QString text = stored.trimmed();
    if (text.size() != kUuidTextLength || !text.startsWith('{') || !text.endsWith('}'))
        return {};
    return QUuid(text);
}

} // namespace

QUuid checkHostIdentity(QSqlDatabase& db, DebugLog& log)
{
    const QUuid stored = parseStoredIdentity(storedValue(db, QStringLiteral("HOST_GUID")).toString());
    if (!stored.isNull())
        return stored;

    log.Write("Mainform::Mainform", __LINE__, DebugLog::Failure, "illegal host uuid. createing the new one");
    const QUuid created = QUuid::createUuid();
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE DMI_TBL SET HOST_GUID = ? WHERE ID = 1;"));
    update.addBindValue(created.toString().toUpper());
    update.exec();
    return created;
}

QString hostIdentityText(const QUuid& id)
{
    return id.toString().toLower();
}

bool DMIChecker(QSqlDatabase& db, DebugLog& log, const char* column, const QVariant& value)
{
    const QString name = QString::fromLatin1(column);
    const QVariant stored = storedValue(db, name);
    QString reported;
    if (value.userType() == QMetaType::Int) {
        if (stored.toInt() == value.toInt())
            return false;
        reported = QStringLiteral("UPDATE DMI_TBL SET %1 = %2 WHERE ID = 1;").arg(name).arg(value.toInt());
    } else if (value.userType() == QMetaType::QString) {
        if (stored.toString() == value.toString())
            return false;
        reported = QStringLiteral("UPDATE DMI_TBL SET %1 = \"%2\" WHERE ID = 1;").arg(name, value.toString());
    } else {
        return false;
    }
    log.Write("Mainform::DMIChecker", __LINE__, DebugLog::Info, reported.toUtf8().toStdString());
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE DMI_TBL SET %1 = ? WHERE ID = 1;").arg(name));
    update.addBindValue(value);
    update.exec();
    return true;
}

int refreshInventoryTable(QSqlDatabase& db, const Inventory& inventory, DebugLog& log)
{
    int updates = 0;
    for (const DmiColumn& column : kColumns) {
        const QVariant value = column.text ? QVariant(inventory.*column.text) : QVariant(int(inventory.*column.number));
        updates += DMIChecker(db, log, column.name, value) ? 1 : 0;
    }
    return updates;
}
