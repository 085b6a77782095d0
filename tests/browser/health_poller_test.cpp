// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The health poller on a clock the test turns: how often each client is asked, the selected
// client's own cadence, no answer, fault transitions with their limits, one balloon per episode.

#include "health_poller.h"

#include <QHash>
#include <QVector>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Recorded {
    QVector<QUuid> asked;
    QVector<qint64> askedAtMs;
    QHash<QUuid, ClientHealth> health;
    QVector<std::pair<SensorFault, bool>> faults;
    int episodes = 0;
};

struct Harness {
    Recorded seen;
    qint64 nowMs = 0;
    HealthPoller poller{{[this](const QUuid& c) {
                             seen.asked.append(c);
                             seen.askedAtMs.append(nowMs);
                         },
                         [this](const QUuid& c, ClientHealth h) { seen.health[c] = h; },
                         [this](const QUuid&, const SensorFault& f, bool started) { seen.faults.append({f, started}); },
                         [this](const QUuid&) { ++seen.episodes; }}};

    void runFor(qint64 ms)
    {
        for (const qint64 end = nowMs + ms; nowMs < end;) {
            nowMs += HealthPoller::kStepMs;
            poller.step(nowMs);
        }
    }
};

QVector<QUuid> makeClients(int count)
{
    QVector<QUuid> clients;
    for (int i = 0; i < count; ++i)
        clients.append(QUuid::createUuid());
    return clients;
}

msg::SensorReport healthyReport()
{
    msg::SensorReport report;
    report.byType[SensorCpuTemp] = {45, true, 70, 0};
    report.byType[SensorCpuFan] = {2500, true, 0, 1000};
    report.byType[SensorVcore] = {1200, true, 3600, 500};
    return report;
}

class HealthPollerRate : public ::testing::TestWithParam<int> {};

// Whatever the fleet size: at most N/10 requests a second, and every client asked once in
// every ten seconds.
TEST_P(HealthPollerRate, AsksEachClientOnceARoundAndNoMore)
{
    const int count = GetParam();
    Harness h;
    const QVector<QUuid> clients = makeClients(count);
    for (const QUuid& c : clients)
        h.poller.setOnline(c, true);
    h.runFor(60000);

    QHash<QUuid, QVector<qint64>> asksOf;
    for (int i = 0; i < h.seen.asked.size(); ++i)
        asksOf[h.seen.asked[i]].append(h.seen.askedAtMs[i]);
    ASSERT_EQ(asksOf.size(), count);
    for (const QUuid& c : clients) {
        const QVector<qint64>& times = asksOf[c];
        ASSERT_GE(times.size(), 5);
        EXPECT_LE(times.first(), HealthPoller::kRoundMs + HealthPoller::kStepMs);
        for (int i = 1; i < times.size(); ++i)
            EXPECT_LE(times[i] - times[i - 1], HealthPoller::kRoundMs + HealthPoller::kStepMs);
    }
    // The busiest second of the run.
    int busiest = 0;
    for (int i = 0, j = 0; i < h.seen.askedAtMs.size(); ++i) {
        while (h.seen.askedAtMs[i] - h.seen.askedAtMs[j] >= 1000)
            ++j;
        busiest = std::max(busiest, i - j + 1);
    }
    EXPECT_LE(busiest, std::max(1, (count + 9) / 10) + 1) << "requests in one second for " << count << " clients";
    EXPECT_EQ(h.poller.requestsSent(), quint64(h.seen.asked.size()));
}

INSTANTIATE_TEST_SUITE_P(FleetSizes, HealthPollerRate, ::testing::Values(1, 7, 100, 1000, 10000));

TEST(HealthPoller, TheSelectedClientIsLeftToTheWindowButItsAnswersCount)
{
    Harness h;
    const QVector<QUuid> clients = makeClients(3);
    for (const QUuid& c : clients)
        h.poller.setOnline(c, true);
    h.poller.setSelected(clients[1]);
    h.runFor(30000);
    EXPECT_FALSE(h.seen.asked.contains(clients[1]));
    EXPECT_TRUE(h.seen.asked.contains(clients[0]) && h.seen.asked.contains(clients[2]));

    h.poller.noteAsked(clients[1], h.nowMs);
    h.runFor(HealthPoller::kAnswerMs);
    EXPECT_EQ(h.poller.healthOf(clients[1]), ClientHealth::NoAnswer);
    h.poller.onSensorReply(clients[1], healthyReport());
    EXPECT_EQ(h.poller.healthOf(clients[1]), ClientHealth::Healthy);
}

TEST(HealthPoller, SilenceIsNoAnswerAndAnAnswerEndsIt)
{
    Harness h;
    const QUuid client = QUuid::createUuid();
    h.poller.setOnline(client, true);
    h.runFor(HealthPoller::kRoundMs + HealthPoller::kStepMs);
    ASSERT_EQ(h.seen.asked.size(), 1);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Unknown);
    h.runFor(HealthPoller::kAnswerMs);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::NoAnswer);

    h.poller.onSensorReply(client, healthyReport());
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Healthy);
    // Answered in time: stays healthy over many rounds.
    for (int round = 0; round < 5; ++round) {
        h.runFor(HealthPoller::kRoundMs);
        h.poller.onSensorReply(client, healthyReport());
    }
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Healthy);

    // Gone offline: no longer asked, shown as not answering.
    h.poller.setOnline(client, false);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::NoAnswer);
    const int asked = h.seen.asked.size();
    h.runFor(3 * HealthPoller::kRoundMs);
    EXPECT_EQ(h.seen.asked.size(), asked);
}

TEST(HealthPoller, AClientNeverAskedThatGoesOfflineStaysUnknown)
{
    Harness h;
    const QUuid client = QUuid::createUuid();
    h.poller.setOnline(client, true);
    h.poller.setOnline(client, false);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Unknown);
    EXPECT_TRUE(h.seen.health.isEmpty());
}

struct FaultCase {
    const char* name;
    int type;
    msg::SensorFigures figures;
    std::optional<int> limit; // nothing: healthy
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

class CrossedLimitTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CrossedLimitTest, NamesTheLimitCrossed)
{
    const FaultCase& c = GetParam();
    const msg::SensorKeys& keys = *std::find_if(msg::kSensorKeys.begin(), msg::kSensorKeys.end(),
                                                [&](const msg::SensorKeys& k) { return k.code == c.type; });
    EXPECT_EQ(crossedLimit(keys, c.figures), c.limit);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, CrossedLimitTest,
    ::testing::Values(FaultCase{"TemperatureAtLimit", SensorCpuTemp, {70, true, 70, 0}, std::nullopt},
                      FaultCase{"TemperatureAbove", SensorCpuTemp, {71, true, 70, 0}, 70},
                      FaultCase{"SwitchedOff", SensorCpuTemp, {99, false, 70, 0}, std::nullopt},
                      FaultCase{"FanBelow", SensorSysFan, {999, true, 0, 1000}, 1000},
                      FaultCase{"VoltageAboveWindow", SensorVcore, {3601, true, 3600, 500}, 3600},
                      FaultCase{"VoltageBelowWindow", SensorP12V, {10499, true, 13500, 10500}, 10500},
                      FaultCase{"VoltageInWindow", SensorP12V, {12000, true, 13500, 10500}, std::nullopt}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(HealthPoller, FaultsStartAndEndPerReadingWithOneBalloonPerEpisode)
{
    Harness h;
    const QUuid client = QUuid::createUuid();
    h.poller.setOnline(client, true);
    msg::SensorReport hot = healthyReport();
    hot.byType[SensorCpuTemp].reading = 81;

    h.poller.onSensorReply(client, hot);
    ASSERT_EQ(h.seen.faults.size(), 1);
    EXPECT_TRUE(h.seen.faults[0].second);
    EXPECT_EQ(h.seen.faults[0].first.sensorType, int(SensorCpuTemp));
    EXPECT_EQ(h.seen.faults[0].first.value, 81);
    EXPECT_EQ(h.seen.faults[0].first.limit, 70);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Fault);
    EXPECT_EQ(h.seen.episodes, 1);

    // The same fault again, then a second reading failing within the same episode: one new
    // fault, no new balloon.
    h.poller.onSensorReply(client, hot);
    msg::SensorReport hotAndSlow = hot;
    hotAndSlow.byType[SensorCpuFan].reading = 400;
    h.poller.onSensorReply(client, hotAndSlow);
    EXPECT_EQ(h.seen.faults.size(), 2);
    EXPECT_EQ(h.seen.episodes, 1);

    // A silence in between does not end the episode.
    h.runFor(HealthPoller::kRoundMs + HealthPoller::kAnswerMs + 2 * HealthPoller::kStepMs);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::NoAnswer);
    h.poller.onSensorReply(client, hotAndSlow);
    EXPECT_EQ(h.seen.episodes, 1);

    // Healthy again: both faults end, carrying the reading now and the limit crossed.
    h.poller.onSensorReply(client, healthyReport());
    ASSERT_EQ(h.seen.faults.size(), 4);
    EXPECT_FALSE(h.seen.faults[2].second);
    EXPECT_FALSE(h.seen.faults[3].second);
    EXPECT_EQ(h.seen.faults[2].first.value, 45);
    EXPECT_EQ(h.seen.faults[2].first.limit, 70);
    EXPECT_EQ(h.poller.healthOf(client), ClientHealth::Healthy);

    // A new episode: a new balloon.
    h.poller.onSensorReply(client, hot);
    EXPECT_EQ(h.seen.episodes, 2);
}

TEST(HealthPoller, RepliesFromClientsNeverListedAreIgnored)
{
    Harness h;
    msg::SensorReport hot = healthyReport();
    hot.byType[SensorCpuTemp].reading = 99;
    h.poller.onSensorReply(QUuid::createUuid(), hot);
    EXPECT_TRUE(h.seen.faults.isEmpty());
    EXPECT_EQ(h.seen.episodes, 0);
}

} // namespace
