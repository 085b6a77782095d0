// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl events: the station's fleet events from its registry, read without the broker.

#include "command.h"
#include "fleet_events.h"
#include "since_option.h"
#include "terminal_text.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

namespace {

QJsonObject eventJson(const FleetEvent& event)
{
    QJsonObject row{{"time", QDateTime::fromSecsSinceEpoch(event.utcSeconds).toString(Qt::ISODate)},
                    {"utc", event.utcSeconds},
                    {"identity", event.client.toString(QUuid::WithBraces)},
                    {"name", event.name},
                    {"event", fleetEventKindName(event.kind)},
                    {"text", fleetEventText(event)}};
    if (!event.detail.isEmpty())
        row.insert("account", event.detail);
    if (event.sensorType >= 0) {
        row.insert("sensor", event.sensorType);
        row.insert("value", event.value);
        row.insert("limit", event.limit);
    }
    return row;
}

} // namespace

int runEvents(CommandContext& context)
{
    const Options& options = context.options;
    const std::optional<qint64> since =
        options.since ? sinceUtcSeconds(*options.since, QDateTime::currentSecsSinceEpoch()) : std::optional<qint64>(0);
    if (!since) {
        std::fprintf(stderr, "vrdctl: %s is neither a span (30m, 12h, 7d) nor an ISO date-time\n",
                     qUtf8Printable(*options.since));
        return ExitUnknown;
    }
    FleetEventStore store(QStringLiteral("vrdctl_events"));
    if (!store.openReadOnly(options.database)) {
        std::fprintf(stderr, "vrdctl: cannot read %s\n", qUtf8Printable(options.database));
        return ExitFailed;
    }
    const std::optional<QVector<FleetEvent>> events = store.since(*since);
    if (!events) {
        std::fprintf(stderr, "vrdctl: %s holds no fleet events table\n", qUtf8Printable(options.database));
        return ExitFailed;
    }
    if (options.json) {
        QJsonArray rows;
        for (const FleetEvent& event : *events)
            rows.append(eventJson(event));
        context.out << terminalJson(QJsonDocument(rows).toJson(QJsonDocument::Indented));
        return ExitOk;
    }
    for (const FleetEvent& event : *events)
        context.out << QDateTime::fromSecsSinceEpoch(event.utcSeconds).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"))
                    << "  " << event.client.toString(QUuid::WithBraces) << "  " << terminalText(event.name) << "  "
                    << terminalText(fleetEventText(event)) << '\n';
    return ExitOk;
}
