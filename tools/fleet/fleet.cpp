// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr int kTickMs = 1000;
// The agents' logging threads write a pass every ten seconds.
constexpr int kLoggingPassTicks = 10;
// Connections opened per shard every kConnectEveryMs: a fleet that starts at once would overrun
// the broker's listen backlog, and every refused agent would retry a second later anyway.
constexpr int kConnectBatch = 100;
constexpr int kConnectEveryMs = 20;
constexpr int kStatusMs = 100;

} // namespace

FleetShard::FleetShard(std::vector<SimulatedMachine> machines, const FleetOptions& options, bool drift,
                       quint64 seed, ShardCounters& counters)
    : m_machines(std::move(machines))
    , m_broker(options.broker)
    , m_topics(options.ownTopic ? AgentLinks::Topics::OwnAndShared : AgentLinks::Topics::SharedOnly)
    , m_stamp(options.stamp)
    , m_drift(drift)
    , m_random(seed)
    , m_counters(counters)
{
    connect(&m_connectTimer, &QTimer::timeout, this, &FleetShard::connectSome);
    connect(&m_tick, &QTimer::timeout, this, &FleetShard::tick);
    connect(&m_status, &QTimer::timeout, this, &FleetShard::publishCounters);
}

FleetShard::~FleetShard() = default;

void FleetShard::start()
{
    m_agents.reserve(m_machines.size());
    for (const SimulatedMachine& machine : m_machines)
        m_agents.push_back(std::make_unique<SimAgent>(machine, m_drift, m_random));
    m_machines.clear();
    m_connectTimer.start(kConnectEveryMs);
    m_tick.start(kTickMs);
    m_status.start(kStatusMs);
    connectSome();
}

void FleetShard::connectSome()
{
    const size_t end = std::min(m_agents.size(), m_linked + kConnectBatch);
    for (; m_linked < end; ++m_linked)
        m_agents[m_linked]->startLinks(m_broker, m_topics, m_stamp);
    if (m_linked == m_agents.size())
        m_connectTimer.stop();
}

void FleetShard::tick()
{
    ++m_ticks;
    const bool loggingPass = m_ticks % kLoggingPassTicks == 0;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const auto& agent : m_agents)
        agent->tick(loggingPass, now);
}

void FleetShard::publishCounters()
{
    int ready = 0;
    quint64 requests = 0;
    quint64 replies = 0;
    for (const auto& agent : m_agents) {
        ready += agent->isReady() ? 1 : 0;
        requests += agent->requestsSeen();
        replies += agent->repliesSent();
    }
    m_counters.ready = ready;
    m_counters.requestsSeen = requests;
    m_counters.repliesSent = replies;
}

Fleet::Fleet(const FleetOptions& options)
    : m_options(options)
{
    std::mt19937_64 random(options.seed);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const int end = options.count < 0 ? options.agents : std::min(options.agents, options.first + options.count);
    // Every agent is drawn in order, so that a slice in another process gets the same agents.
    for (int i = 0; i < end; ++i) {
        SimulatedMachine machine = makeMachine(i, random, now, options.troubledShare);
        if (i < options.first)
            continue;
        if (options.boardSnapshot) {
            machine.snapshot = *options.boardSnapshot;
            machine.faults.clear();
        }
        if (options.machineInventory)
            machine.inventory = *options.machineInventory;
        m_machines.append(machine);
    }
}

Fleet::~Fleet()
{
    for (size_t i = 0; i < m_threads.size(); ++i) {
        m_threads[i]->quit();
        m_threads[i]->wait();
    }
}

void Fleet::start()
{
    const int agents = m_machines.size();
    const int wanted = m_options.threads > 0 ? m_options.threads : (agents + kAgentsPerThread - 1) / kAgentsPerThread;
    const int threads = std::clamp(wanted, 1, kMaxThreads);
    const bool drift = !m_options.boardSnapshot;
    for (int t = 0; t < threads; ++t) {
        const int first = int(qint64(agents) * t / threads);
        const int last = int(qint64(agents) * (t + 1) / threads);
        std::vector<SimulatedMachine> share(m_machines.begin() + first, m_machines.begin() + last);
        m_counters.push_back(std::make_unique<ShardCounters>());
        auto* shard = new FleetShard(std::move(share), m_options, drift, m_options.seed + quint64(t) + 1,
                                     *m_counters.back());
        m_threads.push_back(std::make_unique<QThread>());
        shard->moveToThread(m_threads.back().get());
        QObject::connect(m_threads.back().get(), &QThread::finished, shard, &QObject::deleteLater);
        m_threads.back()->start();
        QMetaObject::invokeMethod(shard, &FleetShard::start, Qt::QueuedConnection);
    }
}

int Fleet::readyAgents() const
{
    int ready = 0;
    for (const auto& counters : m_counters)
        ready += counters->ready;
    return ready;
}

bool Fleet::isReady() const
{
    return !m_counters.empty() && readyAgents() == m_machines.size();
}

quint64 Fleet::requestsSeen() const
{
    quint64 total = 0;
    for (const auto& counters : m_counters)
        total += counters->requestsSeen;
    return total;
}

quint64 Fleet::repliesSent() const
{
    quint64 total = 0;
    for (const auto& counters : m_counters)
        total += counters->repliesSent;
    return total;
}
