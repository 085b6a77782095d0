// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "file_places.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString canonicalDirectory(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

bool runsInstalled(const PlaceInputs& inputs)
{
    if (inputs.installedDirectory.isEmpty())
        return false;
    const QString program = canonicalDirectory(inputs.programDirectory);
    const QString installed = canonicalDirectory(inputs.installedDirectory);
    if (!inputs.installedBelow)
        return program == installed;
    return program.startsWith(installed + QLatin1Char('/'), Qt::CaseInsensitive);
}

QString programDirectoryUnder(const QString& base, const PlaceInputs& inputs, const QString& program)
{
    return QDir(base).filePath(inputs.vendorDirectory + QLatin1Char('/') + program);
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
        return {programDirectoryUnder(inputs.configHome, inputs, program),
                programDirectoryUnder(inputs.dataHome, inputs, program)};
    return {fallback, fallback};
}

QStringList stationSettingsFiles(const PlaceInputs& inputs)
{
    const QString name = QStringLiteral("VRD.INI");
    QStringList files = {name};
    if (runsInstalled(inputs))
        files << QDir(programDirectoryUnder(inputs.configHome, inputs, QStringLiteral("VrdBrowser"))).filePath(name);
    return files;
}

bool createPlaces(const FilePlaces& places)
{
    return createPrivateDirectory(places.settingsDirectory) && createPrivateDirectory(places.dataDirectory);
}
