// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// A second process that holds the client database locked: BEGIN EXCLUSIVE, "locked" on standard
// output, the lock held for the given seconds, then ROLLBACK and "released".
//
//     storage_db_locker FILE SECONDS

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: storage_db_locker FILE SECONDS\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_busy_timeout(db, 10000);
    if (sqlite3_exec(db, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot lock: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    std::printf("released\n");
    std::fflush(stdout);
    sqlite3_close(db);
    return 0;
}
