// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrd-agent's standard error in the journal's style: one line per event, each with a priority
// prefix ("<4>") that systemd reads when standard error is the journal, and that stays readable
// on a terminal. Qt's messages of every thread come through here too; debug messages (the
// logging thread's traces, the debug-message log's lines) only while the settings' DEBUG switch
// is on.

#include <QString>

#include <string>

namespace journal {

enum Priority { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Writes `text`, a line per line of it, each with the prefix of `priority`.
void write(Priority priority, const QString& text);

// Routes Qt's messages here: debug as Debug, info as Info, warning as Warning, critical as Error.
void installMessageHandler();

// Whether Debug lines are written (off at start).
void showDebug(bool shown);

// A sink for the debug-message log's lines ("[location,line_N] +---> text\r\n").
void debugLogLine(const std::string& line);

} // namespace journal
