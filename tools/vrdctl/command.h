// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl's commands: one row each in commands.cpp, one file each for what it does.

#include "exit_codes.h"
#include "options.h"

#include <QTextStream>

class FleetQuery;

struct CommandContext {
    const Options& options;
    FleetQuery* query; // connected, for a command that asks agents; null otherwise
    QTextStream& out;
};

struct Command {
    const char* name;
    const char* arguments; // after the name in the help: "ID", "ID --type T [--hours H] ..."
    const char* help;      // one or more lines, each indented under the name
    bool namesAgent;       // takes an agent's identity
    bool asksAgents;       // needs the broker
    int (*run)(CommandContext& context);
};

// Every command, in the order the help lists them.
const Command* findCommand(const QString& name);
QString commandsHelp();

int runList(CommandContext& context);
int runSensors(CommandContext& context);
int runFaults(CommandContext& context);
int runCheck(CommandContext& context);
int runHistory(CommandContext& context);
int runEvents(CommandContext& context);
int runRelease(CommandContext& context);
