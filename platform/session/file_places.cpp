// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "file_places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr char kVendorDirectory[] = "varden";

QString canonicalDirectory(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

bool runsInstalled(const PlaceInputs& inputs)
{
    return !inputs.installedDirectory.isEmpty() &&
           canonicalDirectory(inputs.programDirectory) == canonicalDirectory(inputs.installedDirectory);
}

QString programDirectoryUnder(const QString& base, const QString& program)
{
    return QDir(base).filePath(QLatin1String(kVendorDirectory) + QLatin1Char('/') + program);
}

bool createPrivateDirectory(const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).isDir())
        return true;
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

QString FilePlaces::settingsFile(const QString& name) const
{
    return settingsDirectory.isEmpty() ? name : QDir(settingsDirectory).filePath(name);
}

FilePlaces filePlaces(const QString& program, const QString& fallback, const PlaceInputs& inputs)
{
    if (!inputs.stateDirectory.isEmpty())
        return {inputs.stateDirectory, inputs.stateDirectory};
    if (runsInstalled(inputs))
        return {programDirectoryUnder(inputs.configHome, program), programDirectoryUnder(inputs.dataHome, program)};
    return {fallback, fallback};
}

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

bool createPlaces(const FilePlaces& places)
{
    return createPrivateDirectory(places.settingsDirectory) && createPrivateDirectory(places.dataDirectory);
}
