// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Many simulated agents, each on the wire as a real agent is (SimAgent: the agent core's three
// connections of its own). The agents are spread over worker threads, each running its own event
// loop with a share of the connections (FleetShard); a thread owns its agents and their links, and
// hands only counters to the main thread, through atomics.

#include "sim_agent.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <memory>
#include <optional>
#include <random>
#include <vector>

struct FleetOptions {
    BrokerSettings broker; // every agent's [CLOUD] settings
    bool stamp = false;    // presence replies carry "SimSentNs", the monotonic send time
    bool ownTopic = true;  // own request topic and per-user replies; off: the shared topics only
    int agents = 10;
    // The agents this process runs: [first, first + count) of the fleet; count -1: all of them.
    int first = 0;
    int count = -1;
    int threads = 0; // 0: one per kAgentsPerThread agents, at most kMaxThreads
    quint64 seed = 1;
    double troubledShare = 0.1; // agents with one reading held out of its limits
    // Readings and inventory of every agent from this machine and this simulated board (read
    // through the sensor library once at start) instead of drifting made-up values.
    std::optional<SensorSnapshot> boardSnapshot;
    std::optional<msg::Inventory> machineInventory;
};

// Counters a shard publishes for the main thread.
struct ShardCounters {
    std::atomic<int> ready{0};
    std::atomic<quint64> requestsSeen{0};
    std::atomic<quint64> repliesSent{0};
};

// The agents of one worker thread. Created on the main thread, then moved to its thread;
// start() runs there and creates the links.
class FleetShard : public QObject {
    Q_OBJECT

public:
    FleetShard(std::vector<SimulatedMachine> machines, const FleetOptions& options, bool drift, quint64 seed,
               ShardCounters& counters);
    ~FleetShard() override;

public slots:
    void start();

private:
    void connectSome();
    void tick();
    void publishCounters();

    std::vector<SimulatedMachine> m_machines; // until their agents are made, on the shard's thread
    const BrokerSettings m_broker;
    const AgentLinks::Topics m_topics;
    const bool m_stamp;
    const bool m_drift;
    std::mt19937_64 m_random;
    ShardCounters& m_counters;
    std::vector<std::unique_ptr<SimAgent>> m_agents;
    size_t m_linked = 0; // agents whose links are open
    QTimer m_connectTimer{this};
    QTimer m_tick{this};
    QTimer m_status{this};
    quint64 m_ticks = 0;
};

class Fleet {
public:
    static constexpr int kAgentsPerThread = 2500;
    static constexpr int kMaxThreads = 8;

    explicit Fleet(const FleetOptions& options);
    ~Fleet(); // ends the threads, closing every connection

    // Starts the threads; each connects its agents a batch at a time.
    void start();
    bool isReady() const;
    int readyAgents() const;

    const QVector<SimulatedMachine>& machines() const { return m_machines; }
    int threadCount() const { return int(m_threads.size()); }

    quint64 requestsSeen() const;
    quint64 repliesSent() const;

private:
    FleetOptions m_options;
    QVector<SimulatedMachine> m_machines; // this process's agents' machines; the main thread's copy
    std::vector<std::unique_ptr<ShardCounters>> m_counters;
    std::vector<std::unique_ptr<QThread>> m_threads;
};
