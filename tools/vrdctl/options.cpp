// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "options.h"

#include "access_options.h"
#include "file_places.h"
#include "sensor_types.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

constexpr char kDefaultDatabase[] = "Client.sqlite";

// Each option once: its name, help and value name, read by addOptions and readOptions alike.
struct OptionRow {
    const char* name;
    const char* help;
    const char* value; // null: a switch
};

constexpr OptionRow kHost{"host", "Broker address (an IP address).", "address"};
constexpr OptionRow kPort{"port", "Broker TCP port.", "port"};
constexpr OptionRow kChannel{"channel", "Channel (the BRANCH_TOKEN of the agents).", "channel"};
constexpr OptionRow kTimeout{"timeout", "Milliseconds to wait for an answer (default 3000).", "ms"};
constexpr OptionRow kJson{"json", "Print JSON.", nullptr};
constexpr OptionRow kToday{"today", "faults: only today's.", nullptr};
constexpr OptionRow kType{"type", "history: sensor type code 0 to 10 (8 processor temperature).", "code"};
constexpr OptionRow kHours{"hours", "history: hours back from now (default 24, at most 1464).", "hours"};
constexpr OptionRow kPoints{"points", "history: buckets, 1 to 500 (default 500, 60 with --summary).", "count"};
constexpr OptionRow kSummary{"summary", "history: one sparkline per type.", nullptr};
constexpr OptionRow kSince{"since", "events: from a span back (30m, 12h, 7d) or an ISO date-time.", "when"};
constexpr OptionRow kDatabase{"db",
                              "The station's registry (default Client.sqlite): events reads its fleet events, "
                              "release removes a tie, and the commands that ask agents refuse the replies its "
                              "ties refuse.",
                              "file"};

constexpr const OptionRow* kOptionRows[] = {&kHost, &kPort,    &kChannel, &kTimeout, &kJson,  &kToday,
                                            &kType, &kHours,   &kPoints,  &kSummary, &kSince, &kDatabase};

QString nameOf(const OptionRow& row)
{
    return QLatin1String(row.name);
}

// The CLOUD keys an agent or the station reads, with the agent's defaults, from the first of these
// that exists: VRD.INI in the working directory; the station's own settings file when vrdctl runs
// from the directory it was installed to ($XDG_CONFIG_HOME/varden/VrdBrowser/VRD.INI).
BrokerSettings settingsFromIni()
{
    for (const QString& file : stationSettingsFiles(currentPlaceInputs()))
        if (QFileInfo::exists(file))
            return readBrokerSettingsFile(file, BrokerDefaults::Agent);
    return brokerDefaults(BrokerDefaults::Agent);
}

// A whole number of at least `least`; nothing for anything else.
std::optional<int> numberAtLeast(const QString& text, int least)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok && number >= least ? std::optional<int>(number) : std::nullopt;
}

} // namespace

void addOptions(QCommandLineParser& parser)
{
    for (const OptionRow* row : kOptionRows) {
        if (row->value)
            parser.addOption({nameOf(*row), QLatin1String(row->help), QLatin1String(row->value)});
        else
            parser.addOption({nameOf(*row), QLatin1String(row->help)});
    }
    addAccessOptions(parser);
}

std::optional<Options> readOptions(const QCommandLineParser& parser, QString& error)
{
    Options options;
    options.broker = settingsFromIni();
    const auto given = [&](const OptionRow& row) { return parser.isSet(nameOf(row)); };
    const auto value = [&](const OptionRow& row) { return parser.value(nameOf(row)); };
    if (given(kHost))
        options.broker.host = value(kHost);
    if (given(kPort)) {
        const std::optional<quint16> number = parseBrokerPort(value(kPort));
        if (!number) {
            error = QStringLiteral("%1 is not a TCP port").arg(value(kPort));
            return std::nullopt;
        }
        options.broker.port = *number;
    }
    if (given(kChannel))
        options.broker.channel = value(kChannel);
    if (given(kTimeout)) {
        const std::optional<int> timeout = numberAtLeast(value(kTimeout), 0);
        if (!timeout) {
            error = QStringLiteral("%1 is not a number of milliseconds").arg(value(kTimeout));
            return std::nullopt;
        }
        options.timeoutMs = *timeout;
    }
    const std::optional<BrokerAccess> access = applyAccessOptions(parser, options.broker.access, error);
    if (!access)
        return std::nullopt;
    options.broker.access = *access;
    options.json = given(kJson);
    options.today = given(kToday);
    options.summary = given(kSummary);
    for (const auto& [row, target] : {std::pair{&kHours, &options.hours}, std::pair{&kPoints, &options.points}}) {
        if (!given(*row))
            continue;
        const std::optional<int> number = numberAtLeast(value(*row), 1);
        if (!number) {
            error = QStringLiteral("%1 is not a positive number").arg(value(*row));
            return std::nullopt;
        }
        *target = *number;
    }
    if (given(kType)) {
        bool ok = false;
        const int code = value(kType).toInt(&ok);
        if (!ok || !sensorTypeRow(code)) {
            error = QStringLiteral("%1 is not a sensor type code (0 to 10)").arg(value(kType));
            return std::nullopt;
        }
        options.type = code;
    }
    options.databaseGiven = given(kDatabase);
    options.database = options.databaseGiven ? value(kDatabase) : QString::fromLatin1(kDefaultDatabase);
    if (given(kSince))
        options.since = value(kSince);
    return options;
}
