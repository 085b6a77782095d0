// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One of the project's programs run to its end, as a script would run it.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vrdtest {

struct ProgramRun {
    int exitCode = -1; // -1: it crashed, or was killed at the time limit
    QByteArray output; // its standard output
};

// Runs the program and waits for its end, killing it after timeoutMs. Blocks the calling thread:
// for programs that need nothing of the test's event loop.
ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                      const QString& workingDirectory = QString());

} // namespace vrdtest
