// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A board file followed while the program runs.

#include "sim_board.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace portio {

// A board file that is reloaded when its modification time changes (checked at most a few
// times a second, so a running program sees a change within one second).
class WatchedBoard {
public:
    explicit WatchedBoard(std::string path);
    SimBoard* board(); // null while the file is missing or malformed
    const std::string& path() const { return path_; }

private:
    void refresh();

    std::string path_;
    std::optional<SimBoard> board_;
    int64_t loadedStamp_ = -1;
    std::string lastError_;
    std::chrono::steady_clock::time_point lastCheck_{};
};

} // namespace portio
