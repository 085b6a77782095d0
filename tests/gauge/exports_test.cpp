// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The shared library as a host loads it: the sixteen plain names, the Linux-only source line,
// and nothing else of ours.

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

TEST(Exports, PlainNamesResolveAndInternalsStayHidden)
{
    void* library = dlopen(VRD_BIN_DIR "/libGauge64.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    for (const char* name : {"DLLInitial", "DLLRelease", "Vcore", "Vio", "P5V", "P12V", "N12V", "N5V", "Fan1",
                             "Fan2", "SysTemp", "CpuTemp", "P5VAmp", "P12VAmp", "PVbat", "PMemRead"})
        EXPECT_TRUE(dlsym(library, name)) << name;
    EXPECT_FALSE(dlsym(library, "_ZN5gauge6PortInEj"));
    EXPECT_FALSE(dlsym(library, "_ZN5gauge8ReadZeroEv"));
    auto release = reinterpret_cast<int32_t (*)()>(dlsym(library, "DLLRelease"));
    ASSERT_TRUE(release);
    EXPECT_EQ(release(), 1);
    dlclose(library);
}

// Linux only, beside the contract: the line naming the source, cut to the caller's buffer.
TEST(Exports, SourceLineIsCutToTheBufferAndGoneAfterRelease)
{
    void* library = dlopen(VRD_BIN_DIR "/libGauge64.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    using SourceExport = int32_t (*)(char*, uint32_t);
    auto source = reinterpret_cast<SourceExport>(dlsym(library, "DLLSource"));
    auto initial = reinterpret_cast<int32_t (*)()>(dlsym(library, "DLLInitial"));
    auto release = reinterpret_cast<int32_t (*)()>(dlsym(library, "DLLRelease"));
    ASSERT_TRUE(source && initial && release);
    EXPECT_EQ(source(nullptr, 0), 0);

    const std::string board = VRD_SOURCE_DIR "/boards/fintek-f81865.json";
    const std::string line = "simulated board: " + board;
    setenv("GAUGE64_BOARD", board.c_str(), 1);
    ASSERT_EQ(initial(), 16);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(source(buffer, 6), int32_t(line.size()));
    EXPECT_STREQ(buffer, "simul");
    EXPECT_EQ(buffer[6], 'x');
    std::string whole(line.size() + 1, '\0');
    EXPECT_EQ(source(whole.data(), uint32_t(whole.size())), int32_t(line.size()));
    EXPECT_EQ(whole.c_str(), line);
    EXPECT_EQ(release(), 1);
    EXPECT_EQ(source(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    unsetenv("GAUGE64_BOARD");
    dlclose(library);
}
