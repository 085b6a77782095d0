// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "command.h"

#include <iterator>

namespace {

constexpr Command kCommands[] = {
    {"list", "", "every agent that answers: identity, name, processor, OS, load", false, true, runList},
    {"sensors", "ID", "readings with their limits; out-of-limits rows marked !", true, true, runSensors},
    {"faults", "ID", "the last 50 faults (--today: today's)", true, true, runFaults},
    {"check", "ID", "exit 0 within limits, 2 a switched-on reading out of limits, 3 no answer", true, true,
     runCheck},
    {"history", "ID",
     "min/avg/max of --type over the last --hours, one line per bucket\n"
     "(--summary: a sparkline per type, every type without --type)",
     true, true, runHistory},
    {"events", "", "the station's fleet events (from its Client.sqlite; no broker needed)", false, false, runEvents},
    {"release", "ID",
     "forget the account the station tied an agent to (in --db), so that the next\n"
     "reply of any account ties it again: after an agent moved to another account",
     true, false, runRelease},
};

constexpr int kNameColumn = 16;

} // namespace

const Command* findCommand(const QString& name)
{
    for (const Command& command : kCommands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

QString commandsHelp()
{
    QString help;
    for (const Command& command : kCommands) {
        QString head = QStringLiteral("  ") + QLatin1String(command.name);
        if (*command.arguments)
            head += QLatin1Char(' ') + QLatin1String(command.arguments);
        const QStringList lines = QString::fromLatin1(command.help).split(QLatin1Char('\n'));
        help += head.leftJustified(kNameColumn - 1) + QLatin1Char(' ') + lines.first() + QLatin1Char('\n');
        for (const QString& line : lines.mid(1))
            help += QString(kNameColumn, QLatin1Char(' ')) + line + QLatin1Char('\n');
    }
    return help;
}
