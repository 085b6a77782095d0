// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The client database's time text read back: its calendar-date key and its local time, through the
// machine's time zone.

#include "sensor_time.h"
#include "scoped_time_zone.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SensorDateKey, IsACalendarDayOrNone)
{
    const std::pair<const char*, int> cases[] = {
        {"2024-3-5 7:4:0", 20240305}, {"2024-03-05 07:04:00", 20240305}, {"2024-9-30", 20240930},
        {"2024-2-29 0:0:0", 20240229}, {"9999-12-31 23:59:59", 99991231}, {"1-1-1 0:0:0", 10101},
        {"2023-2-29 0:0:0", -1},      {"2024-2-30 0:0:0", -1},           {"2024-4-31 0:0:0", -1},
        {"0-1-1 0:0:0", -1},          {"2024-0-1 0:0:0", -1},            {"2024-13-1 0:0:0", -1},
        {"2024-3-0 0:0:0", -1},       {"2024-3-32 0:0:0", -1},           {"02024-3-5 0:0:0", -1},
        {"2024-3-5x", -1},            {"", -1},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(key, dateKeyOfText(text, int(std::strlen(text)))) << text;
}
TEST(StoredLocalTime, WholeTextsOnlyThroughTheTimeZone)
{
    const vrdtest::ScopedTimeZone zone(vrdtest::kUtcPlusEight);
    struct Case {
        const char* stored;
        qint64 utcSeconds; // 0: not a stored time
    };
    const Case cases[] = {
        {"2024-3-5 7:4:0", 1709593440},
        {"2024-03-05 07:04:00", 1709593440},
        {"2024-12-31 23:59:50", 1735660790},
        {"2024-2-29 0:0:0", 1709136000},
        {"", 0},
        {"2024-3-5", 0},
        {"2024-3-5 7:4", 0},
        {"2024-3-5 7:4:0:0", 0},
        {"2024-3-5  7:4:0", 0},
        {"2023-2-29 0:0:0", 0},
        {"2024-3-5 24:0:0", 0},
        {"2024-3--5 7:4:0", 0},
        {"2024-3-+5 7:4:0", 0},
        {"x-3-5 7:4:0", 0},
        {"2024-3-5 7:4:0x", 0},
    };
    for (const Case& c : cases) {
        const QDateTime local = storedLocalTime(QString::fromLatin1(c.stored));
        EXPECT_EQ(local.isValid() ? local.toSecsSinceEpoch() : 0, c.utcSeconds) << c.stored;
        const std::optional<qint64> fast = storedEpochSeconds(c.stored, int(std::strlen(c.stored)));
        EXPECT_EQ(fast.value_or(0), c.utcSeconds) << c.stored;
    }
}

} // namespace
