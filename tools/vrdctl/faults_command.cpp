// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl faults ID [--today]: an agent's last 50 faults, or today's.

#include "agent_answer.h"
#include "terminal_text.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

int runFaults(CommandContext& context)
{
    const Options& options = context.options;
    const int code = options.today ? msg::KindTodaysFaults : msg::KindLastFaults;
    const AgentAnswer answer = askTarget(context, code, msg::buildRequest(code, options.target));
    if (!answer.reply) {
        std::fprintf(stderr, "vrdctl: %s\n", qUtf8Printable(answer.problem));
        return ExitUnknown;
    }
    const QVector<msg::FaultEntry> faults = msg::parseFaultReply(answer.reply->object);
    QJsonArray rows;
    for (const msg::FaultEntry& fault : faults) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(qint64(fault.utcSeconds));
        if (options.json)
            rows.append(QJsonObject{{"time", at.toString(Qt::ISODate)}, {"utc", qint64(fault.utcSeconds)},
                                    {"type", fault.type}, {"text", fault.text}});
        else
            context.out << at.toString("yyyy/MM/dd hh:mm:ss") << "  " << terminalText(fault.text) << "\n";
    }
    if (options.json)
        printJson(context.out, QJsonObject{{"uuid", msg::uuidText(options.target)}, {"faults", rows}});
    else if (faults.isEmpty())
        context.out << "No fault found\n";
    return ExitOk;
}
