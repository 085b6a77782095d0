// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sim_agent.h"

#include <QDateTime>

#include <chrono>

namespace {

// The steady clock is CLOCK_MONOTONIC on Linux: one time base for every process of the machine.
qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Appends "SimSentNs" to a compact reply object; the station ignores keys it does not know.
QByteArray stampedPresence(const QByteArray& request, QByteArray reply)
{
    const std::optional<msg::Envelope> asked = msg::parseMessage(request);
    if (!asked || asked->code != msg::KindProcessorLoad)
        return reply;
    reply.chop(1);
    reply += ",\"SimSentNs\":" + QByteArray::number(monotonicNanoseconds()) + '}';
    return reply;
}

} // namespace

SimAgent::Readings::Readings(SimulatedMachine& machine, bool drift, std::mt19937_64& random)
    : m_machine(machine)
    , m_drift(drift)
    , m_random(random)
{
}

void SimAgent::Readings::read(SensorSnapshot& snapshot)
{
    if (m_drift)
        driftMachine(m_machine, snapshot, m_random);
}

std::optional<QVector<msg::FaultRecord>> SimAgent::Faults::lastFaults()
{
    return recentFaults(m_log, false, QDateTime::currentSecsSinceEpoch());
}

std::optional<QVector<msg::FaultRecord>> SimAgent::Faults::todaysFaults()
{
    return recentFaults(m_log, true, QDateTime::currentSecsSinceEpoch());
}

SimAgent::SimAgent(const SimulatedMachine& machine, bool drift, std::mt19937_64& random)
    : m_machine(machine)
    , m_readings(m_machine, drift, random)
    , m_faults(m_machine.faults)
    , m_live(m_readings, m_faults, [this] { return int16_t(m_machine.load); })
{
    m_live.snapshot() = m_machine.snapshot;
    m_live.setIdentity(m_machine.identity);
    m_live.setInventory(m_machine.inventory);
}

void SimAgent::startLinks(const BrokerSettings& settings, AgentLinks::Topics topics, bool stamp)
{
    m_live.startLinks(settings, topics);
    if (stamp)
        m_live.links()->setReplyFilter(stampedPresence);
}

void SimAgent::tick(bool loggingPass, qint64 nowUtcSeconds)
{
    m_live.read();
    if (loggingPass)
        logFaults(m_machine.faults, m_live.snapshot(), nowUtcSeconds);
}

bool SimAgent::isReady() const
{
    return m_live.links() && m_live.links()->isReady();
}

quint64 SimAgent::requestsSeen() const
{
    return m_live.links() ? m_live.links()->requestsSeen() : 0;
}

quint64 SimAgent::repliesSent() const
{
    return m_live.links() ? m_live.links()->repliesSent() : 0;
}
