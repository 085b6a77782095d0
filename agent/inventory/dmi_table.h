// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The host identity and the cached inventory in DMI_TBL row 1 of "sysinfo2.sqlite". Both run
// once at start-up on the main thread's connection, right after the database was opened.

#include "inventory.h"

#include <QSqlDatabase>
#include <QUuid>
#include <QVariant>

class DebugLog;

// The identity stored in HOST_GUID. When the stored text (trimmed) is not a braced UUID, or
// is the null UUID, a new random one is created, stored as braced upper-case text and
// reported to `log` as a failure.
QUuid checkHostIdentity(QSqlDatabase& db, DebugLog& log);

// The identity as messages carry it: braced lower-case text.
QString hostIdentityText(const QUuid& id);

// Compares column `column` of row 1 with `value` (an int compares as a number, a string
// exactly as text) and, when they differ, stores `value` and reports the update statement to
// `log`. Returns true when it issued an update; false when equal or `value` is neither kind.
bool DMIChecker(QSqlDatabase& db, DebugLog& log, const char* column, const QVariant& value);

// DMIChecker over the 15 inventory columns in their fixed order; returns the updates issued.
int refreshInventoryTable(QSqlDatabase& db, const Inventory& inventory, DebugLog& log);
