// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "since_option.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

struct SpanUnit {
    QChar suffix;
    qint64 seconds;
};

constexpr qint64 kMaxSpanSeconds = qint64(100) * 365 * 86400;

const SpanUnit kSpanUnits[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};

std::optional<qint64> spanSeconds(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,9})([smhd])$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    for (const SpanUnit& unit : kSpanUnits)
        if (match.captured(2).at(0) == unit.suffix)
            return std::min(match.captured(1).toLongLong() * unit.seconds, kMaxSpanSeconds);
    return std::nullopt;
}

} // namespace

std::optional<qint64> sinceUtcSeconds(const QString& text, qint64 nowUtcSeconds)
{
    if (const std::optional<qint64> span = spanSeconds(text))
        return nowUtcSeconds - *span;
    QDateTime at = QDateTime::fromString(text, Qt::ISODate);
    if (!at.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid())
            return std::nullopt;
        at = day.startOfDay();
    }
    return at.toSecsSinceEpoch();
}
