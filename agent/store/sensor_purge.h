// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Date-bounded access to SENSOR_TBL at millions of rows. Rows are written in time order, so
// their dates rise with their IDs: a binary search over the IDs finds where a day begins in
// about 25 row look-ups, and the work after it grows with the rows it touches.

#include <QDate>
#include <QtGlobal>
#include <optional>

class QSqlDatabase;

// The lowest ID from which the rows are dated on or after the day of `key` (see dateKey):
// every row below it is older. One past the highest ID when no row is that new; nullopt
// when the table cannot be read. A row whose text holds no date counts as new.
std::optional<qint64> firstSensorRowOnOrAfter(QSqlDatabase& db, int key);

// Deletes the rows dated on a calendar day before `cutoff`. Needs DATE_KEY on the connection
// (registerDateKeyFunction). Returns the number of rows deleted, -1 on failure.
int purgeSensorRowsBefore(QSqlDatabase& db, const QDate& cutoff);
