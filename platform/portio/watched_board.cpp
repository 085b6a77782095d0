// A board file followed while the program runs: reloaded when its modification time changes.

#include "watched_board.h"

#include <cstdio>
#include <filesystem>
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
    std::error_code failed;
    const auto modified = std::filesystem::last_write_time(std::filesystem::path(path_), failed);
    const int64_t stamp = failed ? -2 : int64_t(modified.time_since_epoch().count());
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
