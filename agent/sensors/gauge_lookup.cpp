// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "gauge_lookup.h"

#include "shared_library.h"

std::vector<std::string> gaugeLibraryFiles(const std::string& programDirectory)
{
    const std::string file = loader::kGaugeFileName;
    return {programDirectory + "/" + file, programDirectory + "/" VRD_LIBDIR_FROM_BINDIR "/" + file, file};
}
