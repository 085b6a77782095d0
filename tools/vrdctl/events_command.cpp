// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "events_command.h"

#include "fleet_events.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

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

QJsonObject eventJson(const FleetEvent& event)
{
    QJsonObject row{{"time", QDateTime::fromSecsSinceEpoch(event.utcSeconds).toString(Qt::ISODate)},
                    {"utc", event.utcSeconds},
                    {"identity", event.client.toString(QUuid::WithBraces)},
                    {"name", event.name},
                    {"event", fleetEventKindName(event.kind)},
                    {"text", fleetEventText(event)}};
    if (event.sensorType >= 0) {
        row.insert("sensor", event.sensorType);
        row.insert("value", event.value);
        row.insert("limit", event.limit);
    }
    return row;
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

int runEvents(const QString& databasePath, qint64 sinceUtc, bool json)
{
    FleetEventStore store(QStringLiteral("vrdctl_events"));
    if (!store.openReadOnly(databasePath)) {
        std::fprintf(stderr, "vrdctl: cannot read %s\n", qPrintable(databasePath));
        return 1;
    }
    const std::optional<QVector<FleetEvent>> events = store.since(sinceUtc);
    if (!events) {
        std::fprintf(stderr, "vrdctl: %s holds no fleet events table\n", qPrintable(databasePath));
        return 1;
    }
    QTextStream out(stdout);
    if (json) {
        QJsonArray rows;
        for (const FleetEvent& event : *events)
            rows.append(eventJson(event));
        out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
        return 0;
    }
    for (const FleetEvent& event : *events)
        out << QDateTime::fromSecsSinceEpoch(event.utcSeconds).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) << "  "
            << event.client.toString(QUuid::WithBraces) << "  " << event.name << "  " << fleetEventText(event)
            << '\n';
    return 0;
}
