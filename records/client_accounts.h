// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The broker account each client's identity is tied to (see link/account_ties.h), kept in
// CLIENTACCOUNT_TBL of the station's "Client.sqlite" beside its registry. The station writes a
// tie when an account's reply first carries a client and removes every tie with Client Reset;
// vrdctl reads them, to refuse what the station refuses, and `vrdctl release` removes one, after
// which the next reply of any account ties the client again.
//
// Free functions on a connection the caller opened on its own thread. Statements that fail are
// reported by the return values and change nothing.

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QUuid>

#include <optional>

namespace client_accounts {

// Creates the table where missing.
bool createTable(QSqlDatabase& db);

// Every tie; nothing when the statement fails (a registry from before ties were kept has no table).
std::optional<QHash<QUuid, QString>> read(const QSqlDatabase& db);

// The tie of one identity, made at utcSeconds; an existing tie of the identity is replaced.
bool store(QSqlDatabase& db, const QUuid& identity, const QString& account, qint64 utcSeconds);

// Removes the tie of one identity; true when there was one.
bool remove(QSqlDatabase& db, const QUuid& identity);

bool removeAll(QSqlDatabase& db);

} // namespace client_accounts
