// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Where the agent and the station keep their settings file and databases. One rule for both,
// checked in this order:
//   1. $STATE_DIRECTORY is set (a systemd unit with StateDirectory=): everything in it;
//   2. the program runs from the directory it was installed to: "VRD.INI" in
//      $XDG_CONFIG_HOME/varden/<program>/, the databases in $XDG_DATA_HOME/varden/<program>/;
//   3. anywhere else (build/bin, a copy of the program): the fallback directory the program has
//      always used (the agent its working directory, the station its own directory).

#include <QString>

// What the rule reads from the process, gathered in one place so tests can supply their own.
struct PlaceInputs {
    QString programDirectory;   // canonical directory of the running executable
    QString installedDirectory; // where `cmake --install` puts programs (empty: never installed)
    QString stateDirectory;     // $STATE_DIRECTORY
    QString configHome;         // $XDG_CONFIG_HOME, or ~/.config
    QString dataHome;           // $XDG_DATA_HOME, or ~/.local/share
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
