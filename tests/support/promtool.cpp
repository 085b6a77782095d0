// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "promtool.h"

#include <QProcess>

namespace vrdtest {

QString promtoolProgram()
{
    return QStringLiteral(VRD_PROMTOOL);
}

PromtoolResult promtoolCheck(const QByteArray& text)
{
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start(promtoolProgram(), {QStringLiteral("check"), QStringLiteral("metrics")});
    if (!promtool.waitForStarted())
        return {-1, QStringLiteral("promtool did not start")};
    promtool.write(text);
    promtool.closeWriteChannel();
    promtool.waitForFinished(30000);
    return {promtool.exitCode(), QString::fromUtf8(promtool.readAll())};
}

} // namespace vrdtest
