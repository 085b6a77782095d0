// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Chooses the driver stand-in from the environment. The choice is renewed when the
// environment changed, so a host that points GAUGE64_BOARD elsewhere and initialises the
// library again talks to the new board.

#include "os_api.h"

#include <cstdlib>
#include <string>

namespace portio {

namespace {

struct Selection {
    std::unique_ptr<OsApi> os;
    std::string board;
    std::string trace;
    bool overridden = false;
};

Selection& selection()
{
    static Selection current;
    return current;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

void selectOs()
{
    Selection& current = selection();
    if (current.overridden)
        return;
    const std::string board = environment("GAUGE64_BOARD");
    const std::string trace = environment("GAUGE64_TRACE");
    if (current.os && board == current.board && trace == current.trace)
        return;
    std::unique_ptr<OsApi> chosen;
    if (!board.empty())
        chosen = makeSimBoardOs(board.c_str());
    if (!chosen)
        chosen = makeNativeOs();
    if (!trace.empty())
        chosen = makeTraceOs(std::move(chosen), trace.c_str());
    current.os = std::move(chosen);
    current.board = board;
    current.trace = trace;
}

OsApi& os()
{
    Selection& current = selection();
    if (!current.os)
        selectOs();
    return *current.os;
}

void overrideOs(std::unique_ptr<OsApi> replacement)
{
    Selection& current = selection();
    current.overridden = replacement != nullptr;
    current.os = std::move(replacement);
}

} // namespace portio
