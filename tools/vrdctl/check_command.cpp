// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl check ID: one line and the exit status of a monitoring plugin.

#include "agent_answer.h"

int runCheck(CommandContext& context)
{
    const Options& options = context.options;
    const AgentAnswer answer =
        askTarget(context, msg::KindCurrentSensors, msg::buildRequest(msg::KindCurrentSensors, options.target));
    if (!answer.reply) {
        context.out << "UNKNOWN: " << answer.problem << "\n";
        return ExitUnknown;
    }
    const msg::SensorReport report = msg::parseSensorReply(answer.reply->object);
    QStringList problems;
    for (const msg::SensorKeys& keys : msg::kSensorKeys) {
        const msg::SensorFigures& f = report.byType[keys.code];
        if (outOfLimits(keys.code, f))
            problems << sensorLogText(keys.code, f.reading) + " (limits " + limitsText(*sensorTypeRow(keys.code), f)
                            + ")";
    }
    if (problems.isEmpty()) {
        context.out << "OK: every switched-on reading within its limits\n";
        return ExitOk;
    }
    context.out << "CRITICAL: " << problems.join("; ") << "\n";
    return ExitCritical;
}
