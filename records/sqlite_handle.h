// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The SQLite connection under a Qt database connection, for the calls Qt does not offer
// (functions, busy handlers).

#include <sqlite3.h>

class QSqlDatabase;

// Null when the connection is not an open SQLite connection.
sqlite3* sqliteHandle(const QSqlDatabase& db);
