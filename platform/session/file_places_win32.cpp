// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The inputs of the files rule on Windows: a program installed below the Program Files folder
// (by the installer, into Program Files\Varden) keeps its files in the user's local application
// data, %LOCALAPPDATA%\Varden\<program>\, since the program's folder is not the user's to write
// and a program started at login has no working directory of its own. There is no service state
// directory.

#include "file_places.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

#include <shlobj.h>

namespace {

QString knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)))
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    CoTaskMemFree(path);
    return folder;
}

} // namespace

PlaceInputs currentPlaceInputs()
{
    PlaceInputs inputs;
    inputs.programDirectory = QCoreApplication::applicationDirPath();
    // The Program Files folder of the program's own kind: "Program Files (x86)" for a 32-bit one
    // on 64-bit Windows, where its installer puts it.
    inputs.installedDirectory = knownFolder(FOLDERID_ProgramFiles);
    inputs.installedBelow = true;
    inputs.configHome = inputs.dataHome = knownFolder(FOLDERID_LocalAppData);
    inputs.vendorDirectory = QStringLiteral("Varden");
    return inputs;
}
