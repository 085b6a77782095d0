// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "hwmon_namespace.h"

#include <QFileInfo>
#include <QProcess>

namespace hwmon_fixture {

namespace {

QString probeRefusal()
{
    for (const char* path : {"/etc/sensors3.conf", "/etc/sensors.d"})
        if (!QFileInfo::exists(QString::fromLatin1(path)))
            return QStringLiteral("%1 is missing (package libsensors-config), nothing to mount over").arg(path);
    QProcess unshare;
    unshare.start(QStringLiteral("unshare"), {"--user", "--map-root-user", "--mount", "true"});
    if (!unshare.waitForFinished(10000))
        return QStringLiteral("unshare did not run: %1").arg(unshare.errorString());
    if (unshare.exitStatus() != QProcess::NormalExit || unshare.exitCode() != 0)
        return QStringLiteral("user namespaces refused: %1").arg(QString::fromLocal8Bit(unshare.readAllStandardError()).trimmed());
    return {};
}

} // namespace

QString refusal()
{
    static const QString reason = probeRefusal();
    return reason;
}

QString machineDirectory(const QString& machine)
{
    return QStringLiteral(VRD_SOURCE_DIR "/tests/gauge/fixtures/hwmon/") + machine;
}

QString namespaceProgram()
{
    return QStringLiteral(VRD_SOURCE_DIR "/tests/gauge/hwmon_namespace.sh");
}

QStringList namespaceArguments(const QString& machineDir, const QString& program, const QStringList& arguments)
{
    return QStringList{machineDir, program} + arguments;
}

} // namespace hwmon_fixture
