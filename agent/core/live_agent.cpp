// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "live_agent.h"

LiveAgent::LiveAgent(ReadingSource& readings, FaultSource& faults, LoadSource processorLoad)
    : m_readings(readings)
    , m_faults(faults)
    , m_processorLoad(std::move(processorLoad))
{
}

LiveAgent::~LiveAgent() = default;

LiveAgent::AlarmStep LiveAgent::judge()
{
    AlarmStep step;
    step.fault = anySwitchedSensorInError(m_snapshot);
    const bool wasSet = m_alarm.isSet();
    step.begins = m_alarm.update(step.fault);
    step.ends = wasSet && !step.fault;
    return step;
}

void LiveAgent::startLinks(const BrokerSettings& settings, AgentLinks::Topics topics)
{
    m_links = std::make_unique<AgentLinks>(settings, requestSources(), topics);
    m_links->connectToHost();
}

void LiveAgent::stopLinks()
{
    m_links.reset();
}

RequestSources LiveAgent::requestSources()
{
    RequestSources sources;
    sources.host = m_identity;
    sources.snapshot = [this]() -> const SensorSnapshot& { return m_snapshot; };
    sources.processorLoad = [this] { return m_processorLoad(); };
    sources.lastFaults = [this] { return m_faults.lastFaults(); };
    sources.todaysFaults = [this] { return m_faults.todaysFaults(); };
    sources.inventory = [this] { return m_inventory; };
    sources.history = m_history;
    return sources;
}
