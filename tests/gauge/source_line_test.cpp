// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Linux only, beside the contract: the line naming the source, cut to the caller's buffer.

#include "shared_library.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

TEST(Exports, SourceLineIsCutToTheBufferAndGoneAfterRelease)
{
    void* library = loader::open(VRD_BIN_DIR "/libGauge64.so");
    ASSERT_TRUE(library) << loader::lastError();
    using SourceExport = int32_t (*)(char*, uint32_t);
    auto source = reinterpret_cast<SourceExport>(loader::symbol(library, "DLLSource"));
    auto initial = reinterpret_cast<int32_t (*)()>(loader::symbol(library, "DLLInitial"));
    auto release = reinterpret_cast<int32_t (*)()>(loader::symbol(library, "DLLRelease"));
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
    loader::close(library);
}
