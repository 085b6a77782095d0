// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "source_text.h"

#include "gauge64_source.h"

#include <algorithm>
#include <cstring>

namespace gauge {

namespace {

std::string& line()
{
    static std::string text;
    return text;
}

} // namespace

void recordSource(const char* kind, const std::vector<std::string>& devices)
{
    std::string text = std::string(kind) + ": ";
    for (std::size_t i = 0; i < devices.size(); ++i)
        text += (i == 0 ? "" : ", ") + devices[i];
    line() = devices.empty() ? text + "none" : text;
}

void forgetSource()
{
    line().clear();
}

const std::string& sourceLine()
{
    return line();
}

} // namespace gauge

#ifndef _WIN32
extern "C" int32_t DLLSource(char* buffer, uint32_t length)
{
    const std::string& text = gauge::sourceLine();
    if (buffer && length > 0) {
        const std::size_t copied = std::min<std::size_t>(text.size(), length - 1);
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
    return int32_t(text.size());
}
#endif
