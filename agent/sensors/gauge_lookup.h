// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Where every program looks for the sensor library, in this order: beside the program (the build
// tree), in the library directory of the prefix the program is installed in
// (VRD_LIBDIR_FROM_BINDIR, relative to the program, so a copied or relocated prefix works), then
// on the system's search path. Plain C++: gauge64-read, which uses no Qt, looks here too.

#include <string>
#include <vector>

// The library's file names to try, in order; `programDirectory` is the running program's own.
std::vector<std::string> gaugeLibraryFiles(const std::string& programDirectory);
