// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One simulated agent: the agent core's live part (LiveAgent: snapshot, answers, the three links
// of a real agent) on a simulated reading source and fault source, the machine of
// simulated_machine.h. Its replies are those a real agent sends for the same readings, identity
// and inventory, because they are made by the same code. With its own topic off it is an agent
// that predates addressed topics: the shared topics only, and no "OwnTopic" in its replies.
//
// Lives on the thread of the FleetShard that created it; the random generator is that shard's.

#include "live_agent.h"
#include "simulated_machine.h"

#include <random>

class SimAgent {
public:
    // drift: the readings wander once a second; without it they hold still (a board read once).
    SimAgent(const SimulatedMachine& machine, bool drift, std::mt19937_64& random);

    // Opens the agent's links; with stamp, presence replies carry "SimSentNs", the monotonic send time.
    void startLinks(const BrokerSettings& settings, AgentLinks::Topics topics, bool stamp);

    // One second: the readings of the tick; on a logging pass, the faults of its readings.
    void tick(bool loggingPass, qint64 nowUtcSeconds);

    // Request and HQ links subscribed, reply link up.
    bool isReady() const;
    quint64 requestsSeen() const;
    quint64 repliesSent() const;

private:
    class Readings : public ReadingSource {
    public:
        Readings(SimulatedMachine& machine, bool drift, std::mt19937_64& random);
        void read(SensorSnapshot& snapshot) override;

    private:
        SimulatedMachine& m_machine;
        const bool m_drift;
        std::mt19937_64& m_random;
    };

    class Faults : public FaultSource {
    public:
        explicit Faults(QVector<msg::FaultRecord>& log) : m_log(log) {}
        std::optional<QVector<msg::FaultRecord>> lastFaults() override;
        std::optional<QVector<msg::FaultRecord>> todaysFaults() override;

    private:
        QVector<msg::FaultRecord>& m_log;
    };

    SimulatedMachine m_machine;
    Readings m_readings;
    Faults m_faults;
    LiveAgent m_live;
};
