// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A measured figure: one plain "figure:" line on standard output and a property of the test.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace storagetest {

inline void reportFigure(const std::string& name, const std::string& value)
{
    std::printf("figure: %s = %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
    ::testing::Test::RecordProperty(name, value);
}

inline void reportFigure(const std::string& name, long long value)
{
    reportFigure(name, std::to_string(value));
}

} // namespace storagetest
