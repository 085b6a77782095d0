// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The client database's local time text, "%d-%d-%d %d:%d:%d" without zero padding, read and
// written in this one place: the calendar-date key that compares such texts by date (text order
// is not date order there: "2024-9-30" sorts after "2024-10-1") and the time a fault reply
// sends both come from one reader.

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

class QSqlDatabase;

// "2024-3-5 7:4:0" for 07:04:00 on 5 March 2024.
QString sensorTimeText(const QDateTime& local);

// year * 10000 + month * 100 + day: ordered like the dates.
int dateKey(const QDate& date);

// Key of the date at the start of a stored text ("Y-M-D" followed by the end or a blank);
// -1 when the text does not start with a date the calendar has.
int dateKeyOfText(const char* text, int length);

// The whole text "Y-M-D h:m:s" (numbers with or without leading zeros) as a local time; invalid
// for any other text or a time the calendar or the clock does not have.
QDateTime storedLocalTime(const QString& text);

// The same as Unix seconds, fast enough for millions of rows; nothing where the above is invalid.
std::optional<qint64> storedEpochSeconds(const char* text, int length);

// SQL function DATE_KEY(text) on this connection: the key above, NULL for no date.
// False when the connection is not an open SQLite connection.
bool registerDateKeyFunction(QSqlDatabase& db);
