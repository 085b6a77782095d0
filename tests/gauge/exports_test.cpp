// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The shared library as a host loads it: the sixteen plain names, and nothing else of ours.

#include "shared_library.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

TEST(Exports, PlainNamesResolveAndInternalsStayHidden)
{
    void* library = loader::open(std::string(VRD_BIN_DIR "/") + loader::kGaugeFileName);
    ASSERT_TRUE(library) << loader::lastError();
    for (const char* name : {"DLLInitial", "DLLRelease", "Vcore", "Vio", "P5V", "P12V", "N12V", "N5V", "Fan1",
                             "Fan2", "SysTemp", "CpuTemp", "P5VAmp", "P12VAmp", "PVbat", "PMemRead"})
        EXPECT_TRUE(loader::symbol(library, name)) << name;
    EXPECT_FALSE(loader::symbol(library, "_ZN5gauge6PortInEj"));
    EXPECT_FALSE(loader::symbol(library, "_ZN5gauge8ReadZeroEv"));
    auto release = reinterpret_cast<int32_t (*)()>(loader::symbol(library, "DLLRelease"));
    ASSERT_TRUE(release);
    EXPECT_EQ(release(), 1);
    loader::close(library);
}
