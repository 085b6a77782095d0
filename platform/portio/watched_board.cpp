// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// A board file followed while the program runs: reloaded when its modification time changes.

#include "watched_board.h"

#include <sys/stat.h>

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
    struct stat info {};
    const int64_t stamp = ::stat(path_.c_str(), &info) == 0
                              ? int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec
                              : -2;
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
