// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A client database as a long run of logging leaves it: every sensor switched on, one pass every
// ten seconds (11 rows), about 1 row in 100 a fault; the fans never fault. Days end on `lastDay`,
// so a client started on that day purges nothing: 60 days are 5 702 400 rows.

#include <QDate>
#include <QString>

namespace benchhistory {

constexpr int kDays = 60;
// HOST_GUID of the built file.
inline const QString kIdentity = QStringLiteral("{B0B0CAFE-0000-4000-8000-000000000060}");

// Builds the file at `path` for the days up to `lastDay` (a minute or so), replacing what is
// there. The file takes its name only once complete; false when it could not be built.
bool buildHistory(const QString& path, const QDate& lastDay);

// Whether `path` is a file buildHistory finished in the current layout.
bool isCompleteHistory(const QString& path);

// The file for `lastDay` under `cacheDir`, built on first use and kept; files of other days are
// removed. Empty when it could not be built.
QString cachedHistory(const QString& cacheDir, const QDate& lastDay);

} // namespace benchhistory
