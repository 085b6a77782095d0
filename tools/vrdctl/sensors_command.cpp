// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl sensors ID: an agent's readings with their limits.

#include "agent_answer.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

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

} // namespace

int runSensors(CommandContext& context)
{
    const Options& options = context.options;
    const AgentAnswer answer =
        askTarget(context, msg::KindCurrentSensors, msg::buildRequest(msg::KindCurrentSensors, options.target));
    if (!answer.reply) {
        std::fprintf(stderr, "vrdctl: %s\n", qUtf8Printable(answer.problem));
        return ExitUnknown;
    }
    const msg::SensorReport report = msg::parseSensorReply(answer.reply->object);
    QJsonArray rows;
    for (const msg::SensorKeys& keys : msg::kSensorKeys) {
        const SensorTypeRow& type = *sensorTypeRow(keys.code);
        const msg::SensorFigures& f = report.byType[keys.code];
        const bool bad = outOfLimits(keys.code, f);
        if (options.json) {
            rows.append(sensorJson(type, f, bad));
            continue;
        }
        context.out << QStringLiteral("%1 %2 %3 %4  %5\n")
                           .arg(bad ? "!" : " ")
                           .arg(QString::fromLatin1(type.name), -22)
                           .arg(valueText(type.unit, f.reading) + " " + unitSymbol(type.unit), 12)
                           .arg(limitsText(type, f), -18)
                           .arg(!f.enabled ? "off" : (bad ? "OUT OF LIMITS" : "ok"));
    }
    if (options.json)
        printJson(context.out, QJsonObject{{"uuid", msg::uuidText(options.target)}, {"sensors", rows}});
    return ExitOk;
}
