// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl events: the station's fleet events from its "Client.sqlite", read without the broker.

#include <QString>

#include <optional>

// --since as seconds since 1970 UTC: a span back from now ("90s", "30m", "12h", "7d") or an ISO
// date or date-time (local time unless it says otherwise). Nothing for anything else.
std::optional<qint64> sinceUtcSeconds(const QString& text, qint64 nowUtcSeconds);

// Prints the events at or after sinceUtc, oldest first; exit status 0, or 1 when the file cannot
// be read.
int runEvents(const QString& databasePath, qint64 sinceUtc, bool json);
