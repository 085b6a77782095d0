// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The inputs of the files rule on Linux: the bin directory of the configured prefix, systemd's
// state directory, the XDG base directories.

#include "file_places.h"

#include <QCoreApplication>
#include <QStandardPaths>

PlaceInputs currentPlaceInputs()
{
    PlaceInputs inputs;
    inputs.programDirectory = QCoreApplication::applicationDirPath();
    inputs.installedDirectory = QStringLiteral(VRD_INSTALLED_BINDIR);
    // systemd joins several state directories with ':'; the unit names one.
    inputs.stateDirectory = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    inputs.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    inputs.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return inputs;
}
