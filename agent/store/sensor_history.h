// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The history of one sensor type over a time range, read from the summaries (sensor_summary.h):
// a whole hour or minute that falls inside one bucket counts through its summary row, and only
// the minutes that a bucket edge or the range's ends cut open are read row by row, so every
// bucket holds exactly the rows logged within it, at a cost that grows with the buckets, not
// with the rows.

#include "history_series.h"

#include <optional>

class QSqlDatabase;

// Buckets of historyStep(query) seconds from query.from; those without rows are left out.
// Nothing when the query is not answerable (isAnswerableHistoryQuery), the summaries are more
// than a fold chunk behind the rows (being rebuilt), or a statement failed.
std::optional<HistorySeries> querySensorHistory(QSqlDatabase& db, const HistoryQuery& query);
