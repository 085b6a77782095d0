// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl's --since: when the events it prints begin.

#include <QString>

#include <optional>

// Seconds since 1970 UTC: a span back from now ("90s", "30m", "12h", "7d") or an ISO date or
// date-time (local time unless it says otherwise). Nothing for anything else.
std::optional<qint64> sinceUtcSeconds(const QString& text, qint64 nowUtcSeconds);
