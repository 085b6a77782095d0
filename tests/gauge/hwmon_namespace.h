// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Runs programs on a captured hwmon tree: tests/gauge/fixtures/hwmon/<machine> mounted over
// /sys/class and the lm-sensors configuration, in a private user and mount namespace.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace hwmon_fixture {

// Why the namespace cannot be made here (user namespaces refused, no lm-sensors
// configuration files to mount over); empty when it can.
QString refusal();

QString machineDirectory(const QString& machine);

// The program and arguments that run program inside the namespace of the machine in
// machineDir (laid out as the fixtures are).
QString namespaceProgram();
QStringList namespaceArguments(const QString& machineDir, const QString& program, const QStringList& arguments);

} // namespace hwmon_fixture
