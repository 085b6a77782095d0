// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Tables of "sysinfo2.sqlite" and the index that keeps the fault queries fast.

#include <array>

class QSqlDatabase;

// The statements that create a new file, in the order they run.
extern const std::array<const char*, 4> kCreateStatements;

// Partial index over the fault rows (about 1 in 100): the fault queries say "ERR = 1"
// literally so that SQLite can use it, walking it newest first. TYPE_ID rides along so that
// a category filter is decided inside the index; a category with no recent fault would
// otherwise cost one table look-up per fault row of the whole history.
extern const char* const kFaultIndexStatement;

// Runs the creation statements; false when one of them failed (the rest still run).
bool createClientTables(QSqlDatabase& db);

// Adds the fault index to a file that lacks it; stored rows and tables stay as they are.
bool ensureFaultIndex(QSqlDatabase& db);
