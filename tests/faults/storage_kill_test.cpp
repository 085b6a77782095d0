// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Agents killed with SIGKILL inside their logging passes, fifty times: every database stays
// sound and the settings file stays whole.

#include "storage_agent.h"
#include "storage_figure.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

using namespace storagetest;

namespace {

constexpr int kKills = 50;
// Ten agents side by side: every logging pass of the wall clock gives ten kills.
constexpr int kAgents = 10;
// The logging loop reads the clock, then sleeps its 50 ms period before it writes: a pass starts
// 50 to 100 ms after the second and writes its rows within a few ms.
constexpr int kEarliestKillMs = 40;
constexpr int kLatestKillMs = 140;
// Agents that have not finished starting by then sit out one pass.
constexpr int kReadyByMs = 9600;
constexpr qint64 kBudgetMs = 240000;

struct Killed {
    int hotJournals = 0;
    int unsound = 0;
    int settingsChanged = 0;
};

struct AgentSlot {
    QTemporaryDir dir;
    std::unique_ptr<StorageAgent> agent;
};

// The settings file as the agent itself writes it: after that, a save changes no byte.
QByteArray settingsAsTheAgentWritesThem()
{
    QTemporaryDir dir;
    StorageAgent agent(dir.path());
    writeFile(agent.file(kSettingsName), settingsText({}));
    if (!agent.start() || !agent.terminate())
        return {};
    return readFile(agent.file(kSettingsName));
}

} // namespace

TEST(StorageKill, FiftyKillsInsideLoggingPassesLeaveSoundFiles)
{
    const QByteArray settings = settingsAsTheAgentWritesThem();
    ASSERT_FALSE(settings.isEmpty());

    std::vector<AgentSlot> agents(kAgents);
    for (AgentSlot& slot : agents) {
        ASSERT_TRUE(slot.dir.isValid());
        slot.agent = std::make_unique<StorageAgent>(slot.dir.path());
        ASSERT_TRUE(writeFile(slot.agent->file(kSettingsName), settings));
        ASSERT_TRUE(slot.agent->launch());
    }

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> offsetMs(kEarliestKillMs, kLatestKillMs);
    Killed killed;
    int kills = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    while (kills < kKills && elapsed.elapsed() < kBudgetMs) {
        sleepUntilLoggingPass(kReadyByMs - 2000);
        std::vector<std::pair<int, AgentSlot*>> round;
        for (AgentSlot& slot : agents) {
            const int left = std::max(0, kReadyByMs - msIntoLoggingPeriod());
            if (int(round.size()) < kKills - kills && slot.agent->waitUntilStarted(left))
                round.emplace_back(offsetMs(random), &slot);
        }
        std::sort(round.begin(), round.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        const qint64 pass = nextLoggingPass();
        for (const auto& [offset, slot] : round) {
            sleepUntil(pass + offset);
            slot->agent->kill();
        }
        for (const auto& [offset, slot] : round) {
            const QString database = slot->agent->file(kDatabaseName);
            killed.hotJournals += hasHotJournal(database) ? 1 : 0;
            const QString integrity = integrityCheck(database);
            EXPECT_EQ(integrity, QStringLiteral("ok")) << "killed " << offset << " ms into a pass";
            killed.unsound += integrity == QStringLiteral("ok") ? 0 : 1;
            const bool settingsWhole = readFile(slot->agent->file(kSettingsName)) == settings;
            EXPECT_TRUE(settingsWhole) << "killed " << offset << " ms into a pass";
            killed.settingsChanged += settingsWhole ? 0 : 1;
            ++kills;
            EXPECT_TRUE(slot->agent->launch());
        }
    }

    for (AgentSlot& slot : agents) {
        EXPECT_TRUE(slot.agent->waitUntilStarted()) << slot.agent->errors().toStdString();
        slot.agent->requestTermination();
    }
    qint64 rowsLogged = 0;
    for (AgentSlot& slot : agents) {
        EXPECT_TRUE(slot.agent->waitForExit(30000) && slot.agent->exitedCleanly())
            << slot.agent->errors().toStdString();
        EXPECT_EQ(integrityCheck(slot.agent->file(kDatabaseName)), QStringLiteral("ok"));
        rowsLogged += sensorRows(slot.agent->file(kDatabaseName)).value_or(0);
    }

    reportFigure("random seed of the kill offsets", seed);
    reportFigure("kills", kills);
    reportFigure("kills that left a hot journal (killed mid-transaction)", killed.hotJournals);
    reportFigure("databases failing integrity_check", killed.unsound);
    reportFigure("settings files not byte for byte whole", killed.settingsChanged);
    reportFigure("rows logged by all agents", rowsLogged);
    reportFigure("duration (s)", elapsed.elapsed() / 1000);
    EXPECT_EQ(kills, kKills);
}
