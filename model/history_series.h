// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A reading history: the values of one sensor type over [from, to), cut into buckets of equal
// length, each with the lowest, mean and highest value logged in it. A bucket without readings
// is left out, so an outage shows as a gap.

#include <QtGlobal>

#include <vector>

// What is asked: the type as stored in SENSOR_TBL, the range in Unix seconds, at most `points`
// buckets.
struct HistoryQuery {
    int type = 0;
    qint64 from = 0;
    qint64 to = 0;
    int points = 0;
};

constexpr int kHistoryMaxPoints = 500;
// Sixty days of logging plus a day of slack for the day being written.
constexpr qint64 kHistoryMaxRangeSeconds = 61 * 24 * 3600;

// A query the agent answers: a non-empty range of at most 61 days, 1 to 500 buckets.
inline bool isAnswerableHistoryQuery(const HistoryQuery& query)
{
    return query.from < query.to && query.to - query.from <= kHistoryMaxRangeSeconds && query.points >= 1
        && query.points <= kHistoryMaxPoints;
}

// Seconds per bucket: the shortest length with which `points` buckets cover the range, rounded
// up to whole hours from an hour on and to whole minutes from a minute on, so that a range that
// starts on a whole hour or minute is read from the summaries alone.
inline qint64 historyStep(const HistoryQuery& query)
{
    constexpr qint64 kMinute = 60;
    constexpr qint64 kHour = 3600;
    const qint64 range = query.to - query.from;
    const qint64 shortest = (range + query.points - 1) / query.points;
    const qint64 unit = shortest >= kHour ? kHour : shortest >= kMinute ? kMinute : 1;
    return (shortest + unit - 1) / unit * unit;
}

// Values in the unit of the type (mV, RPM, degrees Celsius, percent); the mean is rounded to
// the nearest whole unit, halves away from zero.
struct HistoryBucket {
    qint64 start = 0; // Unix seconds
    int min = 0;
    int avg = 0;
    int max = 0;
};

struct HistorySeries {
    int type = 0;
    qint64 step = 0; // seconds per bucket
    std::vector<HistoryBucket> buckets; // rising start times
};
