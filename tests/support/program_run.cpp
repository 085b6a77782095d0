// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "program_run.h"

#include <QProcess>

namespace vrdtest {

ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                      const QString& workingDirectory)
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return {-1, process.readAllStandardOutput()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

} // namespace vrdtest
