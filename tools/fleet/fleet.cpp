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

FleetShard::FleetShard(std::vector<Agent> agents, const LinkSettings& link, bool drift, quint64 seed,
                       ShardCounters& counters)
    : m_agents(std::move(agents))
    , m_link(link)
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
    m_simAgents.reserve(m_agents.size());
    m_connectTimer.start(kConnectEveryMs);
    m_tick.start(kTickMs);
    m_status.start(kStatusMs);
    connectSome();
}

void FleetShard::connectSome()
{
    const size_t end = std::min(m_agents.size(), m_simAgents.size() + kConnectBatch);
    while (m_simAgents.size() < end) {
        m_simAgents.push_back(std::make_unique<SimAgent>(m_agents[m_simAgents.size()], m_link));
        m_simAgents.back()->connectToHost();
    }
    if (m_simAgents.size() == m_agents.size())
        m_connectTimer.stop();
}

void FleetShard::tick()
{
    ++m_ticks;
    const bool loggingPass = m_ticks % kLoggingPassTicks == 0;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (Agent& agent : m_agents) {
        if (m_drift)
            driftAgent(agent, m_random);
        if (loggingPass)
            logFaults(agent, now);
    }
}

void FleetShard::publishCounters()
{
    int ready = 0;
    quint64 requests = 0;
    quint64 replies = 0;
    for (const auto& agent : m_simAgents) {
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
        Agent agent = makeAgent(i, random, now, options.troubledShare);
        if (i < options.first)
            continue;
        if (options.boardSnapshot) {
            agent.snapshot = *options.boardSnapshot;
            agent.faults.clear();
        }
        if (options.machineInventory)
            agent.inventory = *options.machineInventory;
        m_agents.append(agent);
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
    const int agents = m_agents.size();
    const int wanted = m_options.threads > 0 ? m_options.threads : (agents + kAgentsPerThread - 1) / kAgentsPerThread;
    const int threads = std::clamp(wanted, 1, kMaxThreads);
    const bool drift = !m_options.boardSnapshot;
    for (int t = 0; t < threads; ++t) {
        const int first = int(qint64(agents) * t / threads);
        const int last = int(qint64(agents) * (t + 1) / threads);
        std::vector<Agent> share(m_agents.begin() + first, m_agents.begin() + last);
        m_counters.push_back(std::make_unique<ShardCounters>());
        auto* shard = new FleetShard(std::move(share), m_options.link, drift, m_options.seed + quint64(t) + 1,
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
    return !m_counters.empty() && readyAgents() == m_agents.size();
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
