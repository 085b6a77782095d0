// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// A board file followed while the program runs: reloaded when its modification time changes.

#include "watched_board.h"
#include "file_facts.h"

#include <cstdio>
#include <utility>

namespace portio {

namespace {

constexpr auto kRecheckInterval = std::chrono::milliseconds(200);

} // namespace

WatchedBoard::WatchedBoard(std::string path) : path_(std::move(path)) {}

SimBoard* WatchedBoard::board()
{
    const auto now = std::chrono::steady_clock::now();
    if (loadedStamp_ < 0 || now - lastCheck_ >= kRecheckInterval) {
        lastCheck_ = now;
        refresh();
    }
    return board_ ? &*board_ : nullptr;
}

void WatchedBoard::refresh()
{
    const int64_t found = modificationStamp(path_);
    const int64_t stamp = found < 0 ? -2 : found;
    if (stamp == loadedStamp_)
        return;
    loadedStamp_ = stamp;
    std::string error;
    std::optional<SimBoard> fresh = SimBoard::fromFile(path_, &error);
    if (!fresh) {
        // Keep the values the board had; say once per change what is wrong with the file.
        if (error != lastError_)
            std::fprintf(stderr, "gauge64: board file %s: %s\n", path_.c_str(), error.c_str());
        lastError_ = error;
        return;
    }
    lastError_.clear();
    if (board_)
        board_->takeValuesFrom(std::move(*fresh));
    else
        board_ = std::move(fresh);
}

} // namespace portio
