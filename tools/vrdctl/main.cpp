// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl: the station's requests for scripts and terminals.
//
//   vrdctl [--host H] [--port P] [--channel C] [--timeout MS] [--json] [login and TLS options] list
//   vrdctl ... sensors ID
//   vrdctl ... faults ID [--today]
//   vrdctl ... check ID      exit 0 all within limits, 2 a switched-on reading out of limits, 3 no answer
//   vrdctl ... history ID --type T [--hours H] [--points N] [--summary]
//   vrdctl [--db FILE] [--since WHEN] [--json] events    the station's fleet events

#include "access_options.h"
#include "events_command.h"
#include "file_places.h"
#include "fleet_query.h"
#include "history_command.h"
#include "terminal_text.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <cstdio>
#include <iterator>
#include <optional>

namespace {

enum Exit { ExitOk = 0, ExitFailed = 1, ExitCritical = 2, ExitUnknown = 3 };

constexpr int kListWaitMs = 1500;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Options {
    BrokerSettings broker;
    int timeoutMs = 3000;
    bool json = false;
    bool today = false;
    QString command;
    QUuid target;
    HistoryOptions history;
};

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

QString limitsText(const SensorTypeRow& type, const msg::SensorFigures& f)
{
    switch (type.rule) {
    case LimitRule::Window:
        return valueText(type.unit, f.low) + " .. " + valueText(type.unit, f.high);
    case LimitRule::Ceiling:
        return "<= " + valueText(type.unit, f.high);
    case LimitRule::Floor:
        return ">= " + valueText(type.unit, f.low);
    case LimitRule::Never:
        break;
    }
    return QString();
}

QJsonObject sensorJson(const SensorTypeRow& type, const msg::SensorFigures& f, bool bad)
{
    QJsonObject row{{"type", type.code},        {"name", type.name},       {"reading", f.reading},
                    {"unit", unitSymbol(type.unit)}, {"enabled", f.enabled}, {"outOfLimits", bad}};
    if (hasHighLimit(type.rule))
        row.insert("high", f.high);
    if (hasLowLimit(type.rule))
        row.insert("low", f.low);
    return row;
}

void printJson(const QJsonValue& value)
{
    out() << terminalJson((value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject()))
                              .toJson(QJsonDocument::Indented));
}

// Columns padded to their widths. The agents' texts are joined, never used as a format, where a
// "%2" in a name would pull the next column into it.
QString listRow(const QStringList& cells)
{
    static constexpr int kWidths[] = {38, 20, 40, 30};
    QString row;
    for (int i = 0; i < cells.size(); ++i)
        row += i < int(std::size(kWidths)) ? cells[i].leftJustified(kWidths[i]) + "  " : cells[i];
    return row + "\n";
}

int runList(FleetQuery& query, const Options& options)
{
    query.send(msg::KindInventory, msg::broadcastUuid());
    query.send(msg::KindProcessorLoad, msg::broadcastUuid());
    const auto replies = query.collect(
        [](const msg::Envelope& e) { return e.code == msg::KindInventory || e.code == msg::KindProcessorLoad; },
        [](const QVector<msg::Envelope>&) { return false; }, kListWaitMs);

    struct Agent {
        msg::Inventory inventory;
        int load = -1;
    };
    QMap<QString, Agent> agents;
    for (const msg::Envelope& reply : replies) {
        const std::optional<QUuid> from = msg::addressOf(reply.object);
        if (!from || from->isNull())
            continue;
        Agent& agent = agents[msg::uuidText(*from)];
        if (reply.code == msg::KindInventory)
            agent.inventory = msg::parseInventoryReply(reply.object);
        else
            agent.load = msg::parseLoadReply(reply.object);
    }
    if (options.json) {
        QJsonArray rows;
        for (auto it = agents.cbegin(); it != agents.cend(); ++it)
            rows.append(QJsonObject{{"uuid", it.key()}, {"name", it->inventory.comp}, {"cpu", it->inventory.cpu},
                                    {"os", it->inventory.os}, {"model", it->inventory.sysModel},
                                    {"serial", it->inventory.sysSerial},
                                    {"load", it->load < 0 ? QJsonValue() : QJsonValue(it->load)}});
        printJson(rows);
        return ExitOk;
    }
    out() << listRow({"IDENTITY", "NAME", "PROCESSOR", "OS", "LOAD"});
    for (auto it = agents.cbegin(); it != agents.cend(); ++it)
        out() << listRow({it.key(), terminalText(it->inventory.comp), terminalText(it->inventory.cpu),
                          terminalText(it->inventory.os), it->load < 0 ? QString("-") : QString("%1%").arg(it->load)});
    if (agents.isEmpty())
        std::fprintf(stderr, "vrdctl: no agent answered within %d ms\n", kListWaitMs);
    return ExitOk;
}

std::optional<msg::Envelope> askOne(FleetQuery& query, const Options& options, int code)
{
    return query.askAgent(options.target, code, msg::buildRequest(code, options.target), options.timeoutMs);
}

void noAnswer(const Options& options)
{
    std::fprintf(stderr, "vrdctl: no answer from %s within %d ms\n", qPrintable(msg::uuidText(options.target)),
                 options.timeoutMs);
}

int runSensors(FleetQuery& query, const Options& options)
{
    const std::optional<msg::Envelope> reply = askOne(query, options, msg::KindCurrentSensors);
    if (!reply) {
        noAnswer(options);
        return ExitUnknown;
    }
    const msg::SensorReport report = msg::parseSensorReply(reply->object);
    QJsonArray rows;
    for (const msg::SensorKeys& keys : msg::kSensorKeys) {
        const SensorTypeRow& type = *sensorTypeRow(keys.code);
        const msg::SensorFigures& f = report.byType[keys.code];
        const bool bad = outOfLimits(keys.code, f);
        if (options.json) {
            rows.append(sensorJson(type, f, bad));
            continue;
        }
        out() << QString("%1 %2 %3 %4  %5\n")
                     .arg(bad ? "!" : " ")
                     .arg(QString::fromLatin1(type.name), -22)
                     .arg(valueText(type.unit, f.reading) + " " + unitSymbol(type.unit), 12)
                     .arg(limitsText(type, f), -18)
                     .arg(!f.enabled ? "off" : (bad ? "OUT OF LIMITS" : "ok"));
    }
    if (options.json)
        printJson(QJsonObject{{"uuid", msg::uuidText(options.target)}, {"sensors", rows}});
    return ExitOk;
}

int runFaults(FleetQuery& query, const Options& options)
{
    const int code = options.today ? msg::KindTodaysFaults : msg::KindLastFaults;
    const std::optional<msg::Envelope> reply = askOne(query, options, code);
    if (!reply) {
        noAnswer(options);
        return ExitUnknown;
    }
    const QVector<msg::FaultEntry> faults = msg::parseFaultReply(reply->object);
    QJsonArray rows;
    for (const msg::FaultEntry& fault : faults) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(qint64(fault.utcSeconds));
        if (options.json)
            rows.append(QJsonObject{{"time", at.toString(Qt::ISODate)}, {"utc", qint64(fault.utcSeconds)},
                                    {"type", fault.type}, {"text", fault.text}});
        else
            out() << at.toString("yyyy/MM/dd hh:mm:ss") << "  " << terminalText(fault.text) << "\n";
    }
    if (options.json)
        printJson(QJsonObject{{"uuid", msg::uuidText(options.target)}, {"faults", rows}});
    else if (faults.isEmpty())
        out() << "No fault found\n";
    return ExitOk;
}

int runCheck(FleetQuery& query, const Options& options)
{
    const std::optional<msg::Envelope> reply = askOne(query, options, msg::KindCurrentSensors);
    if (!reply) {
        out() << "UNKNOWN: no answer from " << msg::uuidText(options.target) << " within " << options.timeoutMs
              << " ms\n";
        return ExitUnknown;
    }
    const msg::SensorReport report = msg::parseSensorReply(reply->object);
    QStringList problems;
    for (const msg::SensorKeys& keys : msg::kSensorKeys) {
        const msg::SensorFigures& f = report.byType[keys.code];
        if (outOfLimits(keys.code, f))
            problems << sensorLogText(keys.code, f.reading) + " (limits " + limitsText(*sensorTypeRow(keys.code), f) +
                            ")";
    }
    if (problems.isEmpty()) {
        out() << "OK: every switched-on reading within its limits\n";
        return ExitOk;
    }
    out() << "CRITICAL: " << problems.join("; ") << "\n";
    return ExitCritical;
}

int usage(const QCommandLineParser& parser)
{
    std::fputs(qPrintable(parser.helpText()), stderr);
    return ExitUnknown;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Asks the agents on a broker channel.\n"
        "  list          every agent that answers: identity, name, processor, OS, load\n"
        "  sensors ID    readings with their limits; out-of-limits rows marked !\n"
        "  faults ID     the last 50 faults (--today: today's)\n"
        "  check ID      exit 0 within limits, 2 a switched-on reading out of limits, 3 no answer\n"
        "  history ID    min/avg/max of --type over the last --hours, one line per bucket\n"
        "                (--summary: a sparkline per type, every type without --type)\n"
        "  events        the station's fleet events (from its Client.sqlite; no broker needed)\n"
        "An agent is asked on its own topic first, then, after half of --timeout (at most a\n"
        "second) without an answer, on the channel's shared topic.\n"
        "Defaults come from VRD.INI in the working directory when present; else, when vrdctl runs from\n"
        "the directory it was installed to, from the station's $XDG_CONFIG_HOME/varden/VrdBrowser/VRD.INI.");
    parser.addHelpOption();
    const QCommandLineOption host("host", "Broker address (an IP address).", "H");
    const QCommandLineOption port("port", "Broker TCP port.", "P");
    const QCommandLineOption channel("channel", "Channel (the BRANCH_TOKEN of the agents).", "C");
    const QCommandLineOption timeout("timeout", "Milliseconds to wait for an answer (default 3000).", "MS");
    const QCommandLineOption json("json", "Print JSON.");
    const QCommandLineOption today("today", "faults: only today's.");
    const QCommandLineOption type("type", "history: sensor type code 0 to 10 (8 processor temperature).", "T");
    const QCommandLineOption hours("hours", "history: hours back from now (default 24, at most 1464).", "H");
    const QCommandLineOption points("points", "history: buckets, 1 to 500 (default 500, 60 with --summary).", "N");
    const QCommandLineOption summary("summary", "history: one sparkline per type.");
    const QCommandLineOption since("since", "events: from a span back (30m, 12h, 7d) or an ISO date-time.", "WHEN");
    const QCommandLineOption database("db", "events: the station's database (default Client.sqlite).", "FILE",
                                      "Client.sqlite");
    parser.addOptions({host, port, channel, timeout, json, today, type, hours, points, summary, since, database});
    addAccessOptions(parser);
    parser.addPositionalArgument("command", "list, sensors, faults, check, history or events");
    parser.addPositionalArgument("ID", "agent identity, with or without braces");
    parser.process(app);

    Options options;
    options.broker = settingsFromIni();
    if (parser.isSet(host))
        options.broker.host = parser.value(host);
    if (parser.isSet(port)) {
        const std::optional<quint16> number = parseBrokerPort(parser.value(port));
        if (!number) {
            std::fprintf(stderr, "vrdctl: %s is not a TCP port\n", qPrintable(parser.value(port)));
            return ExitUnknown;
        }
        options.broker.port = *number;
    }
    if (parser.isSet(channel))
        options.broker.channel = parser.value(channel);
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.timeoutMs = parser.value(timeout).toInt(&ok);
        if (!ok || options.timeoutMs < 0) {
            std::fprintf(stderr, "vrdctl: %s is not a number of milliseconds\n", qPrintable(parser.value(timeout)));
            return ExitUnknown;
        }
    }
    QString accessError;
    const std::optional<BrokerAccess> access = applyAccessOptions(parser, options.broker.access, accessError);
    if (!access) {
        std::fprintf(stderr, "vrdctl: %s\n", qPrintable(accessError));
        return ExitUnknown;
    }
    options.broker.access = *access;
    options.json = parser.isSet(json);
    options.today = parser.isSet(today);
    options.history.json = options.json;
    options.history.summary = parser.isSet(summary);
    options.history.timeoutMs = options.timeoutMs;
    const std::pair<const QCommandLineOption*, int*> numbers[] = {{&hours, &options.history.hours},
                                                                  {&points, &options.history.points}};
    for (const auto& [option, target] : numbers) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        *target = parser.value(*option).toInt(&ok);
        if (!ok || *target < 1) {
            std::fprintf(stderr, "vrdctl: %s is not a positive number\n", qPrintable(parser.value(*option)));
            return ExitUnknown;
        }
    }
    if (parser.isSet(type)) {
        bool ok = false;
        const int code = parser.value(type).toInt(&ok);
        if (!ok || !sensorTypeRow(code)) {
            std::fprintf(stderr, "vrdctl: %s is not a sensor type code (0 to 10)\n", qPrintable(parser.value(type)));
            return ExitUnknown;
        }
        options.history.type = code;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage(parser);
    options.command = args.first();
    if (options.command == "events") {
        if (args.size() != 1)
            return usage(parser);
        const std::optional<qint64> from =
            parser.isSet(since) ? sinceUtcSeconds(parser.value(since), QDateTime::currentSecsSinceEpoch())
                                : std::optional<qint64>(0);
        if (!from) {
            std::fprintf(stderr, "vrdctl: %s is neither a span (30m, 12h, 7d) nor an ISO date-time\n",
                         qPrintable(parser.value(since)));
            return ExitUnknown;
        }
        return runEvents(parser.value(database), *from, options.json);
    }
    const bool needsTarget = options.command != "list";
    if (needsTarget) {
        if (args.size() != 2 || msg::parseUuid(args[1]).isNull())
            return usage(parser);
        options.target = msg::parseUuid(args[1]);
        options.history.target = options.target;
    }
    if (QHostAddress(options.broker.host).isNull()) {
        std::fprintf(stderr, "vrdctl: %s is not an IP address\n", qPrintable(options.broker.host));
        return ExitUnknown;
    }

    FleetQuery query(options.broker);
    if (!query.connect(options.timeoutMs)) {
        std::fprintf(stderr, "vrdctl: cannot reach the broker at %s:%u\n", qPrintable(options.broker.host),
                     options.broker.port);
        return ExitUnknown;
    }
    if (options.command == "list")
        return runList(query, options);
    if (options.command == "sensors")
        return runSensors(query, options);
    if (options.command == "faults")
        return runFaults(query, options);
    if (options.command == "check")
        return runCheck(query, options);
    if (options.command == "history")
        return runHistory(query, options.history, out());
    return usage(parser);
}
