// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The broker hung (SIGSTOP) for 30 s, then resumed (SIGCONT), under an agent and the station.
// Its sockets stay open and silent, so only the keep-alive can tell: each link must drop its
// dead connection within about two keep-alive periods (10 s each), come back after the
// resume, and the programs' event loops must keep running throughout.
// Figures: time to notice, time to work again after the resume, longest event-loop stall.

#include "client_process_fixture.h"
#include "event_loop_watch.h"
#include "network_fleet.h"
#include "test_broker.h"
#include "qt_test_loop.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>

namespace {

const QString kChannel = QStringLiteral("FAULTNET3");
constexpr int kHangMs = 30000;
// Two keep-alive periods, the housekeeping second, and room for a busy machine.
constexpr qint64 kNoticeAllowedMs = 25000;
// After the resume: the station's 10 s retry, perhaps twice (an attempt made during the hang
// is refused or dropped), and room.
constexpr int kRecoveryAllowedMs = 45000;
constexpr int kLookEveryMs = 100;

// When each connection the program held at the start of the hang was closed by the program.
class DeadConnectionWatch {
public:
    DeadConnectionWatch(qint64 pid, quint16 port)
        : m_pid(pid)
        , m_port(port)
    {
        for (const QByteArray& socket : nettest::socketsTo(pid, port))
            m_closedAtMs[socket] = -1;
    }

    int watched() const { return int(m_closedAtMs.size()); }

    void look(qint64 nowMs)
    {
        const QSet<QByteArray> open = nettest::socketsTo(m_pid, m_port);
        for (auto& [socket, closedAtMs] : m_closedAtMs)
            if (closedAtMs < 0 && !open.contains(socket))
                closedAtMs = nowMs;
    }

    // When the last of them was closed; -1 while one is still open.
    qint64 allClosedAtMs() const
    {
        qint64 last = 0;
        for (const auto& entry : m_closedAtMs) {
            if (entry.second < 0)
                return -1;
            last = std::max(last, entry.second);
        }
        return last;
    }

private:
    qint64 m_pid;
    quint16 m_port;
    std::map<QByteArray, qint64> m_closedAtMs;
};

class NetworkFaultBrokerHung : public testing::Test {
protected:
    void SetUp() override
    {
        vrdtest::ensureCoreApplication();
        ASSERT_TRUE(broker.start()) << broker.output().toStdString();
        clienttest::ClientOptions options;
        options.port = broker.port();
        options.channel = kChannel;
        agent = std::make_unique<clienttest::ClientUnderTest>(options);
        ASSERT_TRUE(agent->start()) << agent->errors();
        station = std::make_unique<nettest::BrowserProcess>(broker.port(), kChannel);
        ASSERT_TRUE(station->start());
        identities = clienttest::Station(broker.port(), kChannel).awaitClients(1, 20000);
        ASSERT_EQ(identities.size(), 1);
        QElapsedTimer sinceStart;
        sinceStart.start();
        const nettest::Recovery linked = nettest::awaitRecovery(broker.port(), kChannel, identities, station.get(),
                                                                sinceStart, kRecoveryAllowedMs);
        ASSERT_GE(linked.stationMs(), 0) << station->errors();
        agentPid = nettest::processInDirectory(QFileInfo(agent->workFile(QStringLiteral("VRD.INI"))).absolutePath());
        ASSERT_GT(agentPid, 0);
        ASSERT_TRUE(nettest::awaitConnections(agentPid, broker.port(), 3));
        ASSERT_TRUE(nettest::awaitConnections(station->pid(), broker.port(), 2));
    }

    vrdtest::TestBroker broker;
    std::unique_ptr<clienttest::ClientUnderTest> agent;
    std::unique_ptr<nettest::BrowserProcess> station;
    QSet<QUuid> identities;
    qint64 agentPid = 0;
};

// The watch is there and speaks: a stall caused from outside (the program stopped for a moment)
// is reported, at its length or a little less.
TEST_F(NetworkFaultBrokerHung, TheEventLoopWatchReportsAStallOfEachProgram)
{
    constexpr int kStoppedMs = 600;
    const std::pair<qint64, std::function<std::string()>> programs[] = {
        {agentPid, [this] { return agent->errors(); }},
        {station->pid(), [this] { return station->errors(); }},
    };
    for (const auto& [pid, errors] : programs) {
        const size_t before = errors().size();
        ::kill(pid_t(pid), SIGSTOP);
        vrdtest::waitUntil([] { return false; }, kStoppedMs);
        ::kill(pid_t(pid), SIGCONT);
        nettest::Stalls stalls;
        vrdtest::waitUntil([&] {
            stalls = nettest::stallsIn(errors().substr(before));
            return stalls.count > 0;
        }, 5000);
        EXPECT_GE(stalls.longestMs, kStoppedMs - EventLoopWatch::kIntervalMs) << errors();
        EXPECT_LE(stalls.longestMs, kStoppedMs + 1000) << errors();
    }
}

TEST_F(NetworkFaultBrokerHung, LinksDropTheSilentConnectionAndComeBackWithoutStallingTheirPrograms)
{
    DeadConnectionWatch agentLinks(agentPid, broker.port());
    DeadConnectionWatch stationLinks(station->pid(), broker.port());
    ASSERT_EQ(agentLinks.watched(), 3);
    ASSERT_EQ(stationLinks.watched(), 2);
    const size_t agentErrorsBefore = agent->errors().size();
    const size_t stationErrorsBefore = station->errors().size();

    ASSERT_TRUE(broker.hang());
    QElapsedTimer sinceHang;
    sinceHang.start();
    bool hungThroughout = true;
    while (sinceHang.elapsed() < kHangMs) {
        hungThroughout = hungThroughout && broker.isHung();
        vrdtest::waitUntil([] { return false; }, kLookEveryMs);
        agentLinks.look(sinceHang.elapsed());
        stationLinks.look(sinceHang.elapsed());
    }
    ASSERT_TRUE(hungThroughout) << "the broker went on before its time\n" << broker.output().toStdString();
    broker.resume();
    QElapsedTimer sinceResume;
    sinceResume.start();
    const nettest::Recovery back =
        nettest::awaitRecovery(broker.port(), kChannel, identities, station.get(), sinceResume, kRecoveryAllowedMs);

    const nettest::Stalls agentStalls = nettest::stallsIn(agent->errors().substr(agentErrorsBefore));
    const nettest::Stalls stationStalls =
        nettest::stallsIn(station->errors().substr(stationErrorsBefore));
    const qint64 agentNoticedMs = agentLinks.allClosedAtMs();
    const qint64 stationNoticedMs = stationLinks.allClosedAtMs();
    EXPECT_GE(agentNoticedMs, 0) << "the agent kept a connection to the hung broker for the whole hang";
    EXPECT_GE(stationNoticedMs, 0) << "the station kept a connection to the hung broker for the whole hang";
    EXPECT_LE(agentNoticedMs, kNoticeAllowedMs);
    EXPECT_LE(stationNoticedMs, kNoticeAllowedMs);
    EXPECT_GE(back.agentsMs, 0) << "the agent does not answer after the resume";
    EXPECT_GE(back.stationRequestsMs, 0) << "the station sends no request after the resume";
    EXPECT_GE(back.stationRepliesMs, 0) << "the station gets no reply after the resume";
    EXPECT_LT(agentStalls.longestMs, nettest::kStallAllowedMs) << agent->errors();
    EXPECT_LT(stationStalls.longestMs, nettest::kStallAllowedMs) << station->errors();
    // Every attempt made during the hang is closed again: each holds its links' connections only.
    EXPECT_TRUE(nettest::awaitConnections(agentPid, broker.port(), 3));
    EXPECT_TRUE(nettest::awaitConnections(station->pid(), broker.port(), 2));
    EXPECT_TRUE(station->isRunning()) << station->errors();
    EXPECT_TRUE(agent->stop()) << agent->errors();

    nettest::reportFigure("noticed_ms", "time from hang to every dead connection dropped: agent " +
                                            std::to_string(agentNoticedMs) + " ms, station " +
                                            std::to_string(stationNoticedMs) + " ms (keep-alive 10 s)");
    nettest::reportFigure("back_ms", "time from resume to working again: agent " + std::to_string(back.agentsMs) +
                                         " ms, station " + std::to_string(back.stationMs()) + " ms (requests " +
                                         std::to_string(back.stationRequestsMs) + " ms, replies " +
                                         std::to_string(back.stationRepliesMs) + " ms)");
    nettest::reportFigure("stalls", "event-loop stalls during hang and recovery: agent " +
                                        nettest::stallText(agentStalls) + "; station " +
                                        nettest::stallText(stationStalls));
}

} // namespace
