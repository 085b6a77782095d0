// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The broker killed outright (SIGKILL) and started again on the same port, twenty times, under
// a running fleet: three real agents and the real station. Every program must come back each
// time on its own, none may die, and none may keep a socket or file of a dead connection.
// Figure: the longest time from a restart to working again, for the agents and the station.

#include "client_process_fixture.h"
#include "network_fleet.h"
#include "test_broker.h"
#include "qt_test_loop.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QString kChannel = QStringLiteral("FAULTNET1");
constexpr int kAgents = 3;
constexpr int kRestarts = 20;
// The station retries 10 s after it lost the broker; the rest is room for a busy machine.
constexpr int kRecoveryAllowedMs = 30000;
constexpr int kPhaseSpreadMs = 1000;
constexpr int kLinksPerAgent = 3;   // requests, replies, head office
constexpr int kLinksOfStation = 2;  // requests, replies

struct Longest {
    qint64 ms = 0;
    qint64 totalMs = 0;
    void add(qint64 value)
    {
        ms = std::max(ms, value);
        totalMs += value;
    }
};

// The database files are open only during a write: the fewest files seen over a second are
// those the program keeps open.
int fewestOpenFiles(qint64 pid)
{
    int fewest = nettest::openFiles(pid);
    vrdtest::waitUntil([&] {
        fewest = std::min(fewest, nettest::openFiles(pid));
        return false;
    }, 1000);
    return fewest;
}

class NetworkFaultBrokerKilled : public testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        clienttest::ClientOptions options;
        options.port = broker.port();
        options.channel = kChannel;
        for (int i = 0; i < kAgents; ++i)
            agents.push_back(std::make_unique<clienttest::ClientUnderTest>(options));
        for (auto& agent : agents)
            ASSERT_TRUE(agent->launch());
        for (auto& agent : agents)
            ASSERT_TRUE(agent->waitUntilStarted()) << agent->errors();
        station = std::make_unique<nettest::BrowserProcess>(broker.port(), kChannel);
        ASSERT_TRUE(station->start());
        identities = clienttest::Station(broker.port(), kChannel).awaitClients(kAgents, 20000);
        ASSERT_EQ(identities.size(), kAgents);
    }

    vrdtest::TestBroker broker;
    std::vector<std::unique_ptr<clienttest::ClientUnderTest>> agents;
    std::unique_ptr<nettest::BrowserProcess> station;
    QSet<QUuid> identities;
};

TEST_F(NetworkFaultBrokerKilled, EveryAgentAndTheStationComeBackAfterEachOfTwentyKills)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    const nettest::Recovery first = nettest::awaitRecovery(broker.port(), kChannel, identities, station.get(),
                                                           sinceStart, kRecoveryAllowedMs);
    ASSERT_GE(first.stationMs(), 0) << station->errors();
    std::vector<qint64> pids;
    std::vector<int> filesBefore;
    for (auto& agent : agents)
        pids.push_back(nettest::processInDirectory(QFileInfo(agent->workFile("VRD.INI")).absolutePath()));
    pids.push_back(station->pid());
    for (qint64 pid : pids) {
        ASSERT_GT(pid, 0);
        filesBefore.push_back(fewestOpenFiles(pid));
    }

    std::vector<size_t> errorsBefore;
    for (auto& agent : agents)
        errorsBefore.push_back(agent->errors().size());
    errorsBefore.push_back(station->errors().size());

    Longest agentsBack;
    Longest stationBack;
    for (int restart = 1; restart <= kRestarts; ++restart) {
        // The programs' one-second timers run in step with each other and with this loop: a
        // pause of random length makes each kill meet them at another point of their second.
        vrdtest::waitUntil([] { return false; }, int(QRandomGenerator::global()->bounded(kPhaseSpreadMs)));
        broker.kill();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        QElapsedTimer sinceRestart;
        sinceRestart.start();
        const nettest::Recovery back = nettest::awaitRecovery(broker.port(), kChannel, identities, station.get(),
                                                              sinceRestart, kRecoveryAllowedMs);
        ASSERT_GE(back.agentsMs, 0) << "agents not back after restart " << restart;
        ASSERT_GE(back.stationRequestsMs, 0) << "station sends no request after restart " << restart;
        ASSERT_GE(back.stationRepliesMs, 0) << "station gets no reply after restart " << restart;
        agentsBack.add(back.agentsMs);
        stationBack.add(back.stationMs());
        for (auto& agent : agents)
            ASSERT_TRUE(agent->isRunning()) << "after restart " << restart << ": " << agent->errors();
        ASSERT_TRUE(station->isRunning()) << "after restart " << restart << ": " << station->errors();
    }

    // Stalls of the event loops while their links went down and up again.
    nettest::Stalls agentStalls;
    for (size_t i = 0; i < agents.size(); ++i)
        agentStalls += nettest::stallsIn(agents[i]->errors().substr(errorsBefore[i]));
    const nettest::Stalls stationStalls = nettest::stallsIn(station->errors().substr(errorsBefore.back()));
    EXPECT_LT(agentStalls.longestMs, nettest::kStallAllowedMs);
    EXPECT_LT(stationStalls.longestMs, nettest::kStallAllowedMs) << station->errors();

    // Each program holds exactly its links' connections and no more files than before.
    std::string openFilesText;
    for (size_t i = 0; i < pids.size(); ++i) {
        const int links = i < agents.size() ? kLinksPerAgent : kLinksOfStation;
        EXPECT_TRUE(nettest::awaitConnections(pids[i], broker.port(), links))
            << "process " << i << " holds " << nettest::socketsTo(pids[i], broker.port()).size() << " connections";
        const int filesAfter = fewestOpenFiles(pids[i]);
        EXPECT_LE(filesAfter, filesBefore[i]) << "process " << i;
        openFilesText += (i == 0 ? "" : ", ") + std::to_string(filesBefore[i]) + " -> " + std::to_string(filesAfter);
    }
    for (auto& agent : agents)
        EXPECT_TRUE(agent->stop()) << agent->errors();

    nettest::reportFigure("longest_agents_back_ms",
                          "longest time from broker restart to every agent answering again " +
                              std::to_string(agentsBack.ms) + " ms (mean " +
                              std::to_string(agentsBack.totalMs / kRestarts) + " ms, " +
                              std::to_string(kRestarts) + " restarts, " + std::to_string(kAgents) + " agents)");
    nettest::reportFigure("longest_station_back_ms",
                          "longest time from broker restart to the station sending and receiving again " +
                              std::to_string(stationBack.ms) + " ms (mean " +
                              std::to_string(stationBack.totalMs / kRestarts) + " ms)");
    nettest::reportFigure("stalls", "event-loop stalls over the restarts: agents " + nettest::stallText(agentStalls) +
                                        "; station " + nettest::stallText(stationStalls));
    nettest::reportFigure("open_files", "open files of the agents and the station, before -> after the restarts: " +
                                            openFilesText);
}

} // namespace
