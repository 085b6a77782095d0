// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Where the agent and the station keep their settings file and databases. One rule for both,
// checked in this order:
//   1. $STATE_DIRECTORY is set (a systemd unit with StateDirectory=): everything in it;
//   2. the program runs from where it was installed: "VRD.INI" and the databases in a folder of
//      the program's own, $XDG_CONFIG_HOME/varden/<program>/ and $XDG_DATA_HOME/varden/<program>/
//      on Linux, %LOCALAPPDATA%\Varden\<program>\ for both on Windows;
//   3. anywhere else (build/bin, a copy of the program): the fallback directory the program has
//      always used (the agent its working directory, the station its own directory).
// The inputs of each system are in file_places_linux.cpp and file_places_win32.cpp.

#include <QString>
#include <QStringList>

// What the rule reads from the process, gathered in one place so tests can supply their own.
struct PlaceInputs {
    QString programDirectory;   // canonical directory of the running executable
    QString installedDirectory; // where programs are installed (empty: never installed)
    QString stateDirectory;     // $STATE_DIRECTORY
    QString configHome;         // $XDG_CONFIG_HOME, or ~/.config; %LOCALAPPDATA% on Windows
    QString dataHome;           // $XDG_DATA_HOME, or ~/.local/share; %LOCALAPPDATA% on Windows
    // Windows: an installed program lies in a folder of its own below Program Files, and paths
    // match without regard to case. Linux: it lies in the installed directory itself.
    bool installedBelow = false;
    QString vendorDirectory = QStringLiteral("varden");
};

struct FilePlaces {
    QString settingsDirectory; // empty: the working directory
    QString dataDirectory;     // empty: the working directory

    // `name` inside the settings directory ("VRD.INI" alone for the working directory).
    QString settingsFile(const QString& name) const;
};

// The rule above, with no look at the process: `program` names the per-program directories,
// `fallback` is rule 3's directory.
FilePlaces filePlaces(const QString& program, const QString& fallback, const PlaceInputs& inputs);

// The inputs of the running process. Needs the application object (for its directory).
PlaceInputs currentPlaceInputs();

// Creates the settings and data directories that do not exist yet (mode 0700, as the XDG base
// directory rules ask); false when one cannot be created.
bool createPlaces(const FilePlaces& places);

// Where a tool of the station (vrdctl) looks for the broker settings, in this order: "VRD.INI" in
// the working directory; when the tool runs from the directory it was installed to, the station's
// own settings file (rule 2 above). The first that exists is read.
QStringList stationSettingsFiles(const PlaceInputs& inputs);
