// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Summaries beside SENSOR_TBL, so that a history of 60 days reads a few thousand rows instead of
// millions: per sensor type and per minute and hour of Unix time, the count, sum, lowest and
// highest value of the rows logged in it, and (per minute) the first and last row ID, through
// which a query reaches the rows of a minute it needs whole. SENSOR_TBL itself is not changed.
//
// SENSOR_SUMMARY_STATE holds the highest SENSOR_TBL ID folded in. Folding the rows above it is the
// one way summaries are written: the logging thread folds after each pass, and at start it folds
// whatever an older program or a crash left unfolded, in chunks, between its passes.
//
//     ensureSummaryTables(db);                 // main thread, start-up maintenance
//     registerSummaryFunctions(db);            // every connection that folds
//     foldSensorRows(db, kFoldChunkRows);      // logging thread
//     purgeSummariesBefore(db, cutoff);        // with the start-up purge of SENSOR_TBL

#include <QDate>
#include <QtGlobal>

#include <optional>

class QSqlDatabase;

// Resolutions of the summaries, finest first.
struct SummaryTable {
    const char* name;
    qint64 seconds;
};
extern const SummaryTable kMinuteSummary;
extern const SummaryTable kHourSummary;

// Rows of SENSOR_TBL one fold takes at most, so that a start after a long gap keeps its passes.
constexpr int kFoldChunkRows = 20000;

// Creates the summary tables when missing. When any of them is missing, or the state does not
// fit SENSOR_TBL (a file replaced underneath), all are created anew, empty, to be refolded from
// the first row. False when a statement failed.
bool ensureSummaryTables(QSqlDatabase& db);

// SQL function SENSOR_PERIOD(text, seconds): Unix seconds of the start of the period of that
// length holding the stored local time text, NULL for a text that is no time.
bool registerSummaryFunctions(QSqlDatabase& db);

// Folds up to `maxRows` rows above the last folded ID into the summaries, in one transaction.
// True when every row is folded, false when more remain, nothing when it failed.
std::optional<bool> foldSensorRows(QSqlDatabase& db, int maxRows);

// Deletes the summaries of periods that begin before the local midnight that starts `cutoff`.
bool purgeSummariesBefore(QSqlDatabase& db, const QDate& cutoff);
