// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl history: an agent's reading history, as lines, JSON or one sparkline per type.

#include "fleet_query.h"
#include "history_series.h"

#include <QTextStream>
#include <QUuid>

#include <optional>

struct HistoryOptions {
    QUuid target;
    std::optional<int> type; // none: every type (with summary only)
    int hours = 24;
    int points = 0; // 0: 500 buckets for lines and JSON, 60 for sparklines
    bool json = false;
    bool summary = false;
    int timeoutMs = 3000;
};

// Exit code as vrdctl's: 0 answered, 3 no answer, 1 bad options.
int runHistory(FleetQuery& query, const HistoryOptions& options, QTextStream& out);

// One character per bucket from the lowest to the highest mean, a blank for a missing bucket;
// `width` characters over [from, from + width * step).
QString sparkline(const HistorySeries& series, qint64 from, int width);
