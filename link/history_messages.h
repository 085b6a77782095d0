// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Kind 16 (KindHistory), the reading history of one agent: a request for the buckets of one sensor type over a
// time range, and the reply that carries them. Addressed like kind 1 (the exact identity only);
// an agent that predates the kind does not answer.
//
// Request: {"From":<Unix s>,"Points":<1..500>,"SrvCall":16,"To":<Unix s>,"TUuid":"{...}","Type":<TYPE_ID>}
// Reply:   {"History":[{"Points":[[<bucket start>,<min>,<avg>,<max>],...],"Step":<s>,"Type":<TYPE_ID>}],
//           "SrvCall":16,"TUuid":"{...}"}

#include "history_series.h"
#include "messages.h"

#include <QByteArray>
#include <QJsonObject>
#include <QUuid>

#include <optional>

namespace msg {

QByteArray buildHistoryRequest(const QUuid& addressee, const HistoryQuery& query);

// The query of a request: nothing when "Type", "From", "To" or "Points" is missing or not a
// whole number, or the query is not answerable (isAnswerableHistoryQuery). Such a request is
// dropped like any malformed one.
std::optional<HistoryQuery> parseHistoryRequest(const QJsonObject& message);

// At most 500 buckets of four numbers each: under 25 KiB even with every value at its widest,
// well within the payload cap.
QByteArray buildHistoryReply(const QUuid& host, const HistorySeries& series);

// Element 0 of "History": nothing when it is missing or not an object. A point that is not an
// array of four whole numbers is skipped; the points are kept in rising order of start, later
// duplicates and points out of order dropped.
std::optional<HistorySeries> parseHistoryReply(const QJsonObject& message);

} // namespace msg
