// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What every agent does once a second and on every request, whatever backs it: its reading source
// fills the snapshot, the alarm verdict is taken over the switched-on sensors, and its three links
// answer the station from the snapshot, its fault source, its processor load and its inventory.
// The agent program (agent.h) has one, beside the resources it owns; the simulator has one per
// simulated agent, on a model of a machine. So the two cannot answer differently.
//
// Lives on one thread; its sources are called there.

#include "agent_links.h"
#include "alarm.h"
#include "fault_source.h"
#include "reading_source.h"

#include <QUuid>

#include <functional>
#include <memory>

class LiveAgent {
public:
    using LoadSource = std::function<int16_t()>;
    using HistorySource = std::function<std::optional<HistorySeries>(const HistoryQuery&)>;

    // One tick's alarm: the verdict, and whether it begins or ends a fault episode.
    struct AlarmStep {
        bool fault = false;
        bool begins = false;
        bool ends = false;
    };

    LiveAgent(ReadingSource& readings, FaultSource& faults, LoadSource processorLoad);
    LiveAgent(const LiveAgent&) = delete;
    LiveAgent& operator=(const LiveAgent&) = delete;
    ~LiveAgent();

    void setIdentity(const QUuid& identity) { m_identity = identity; }
    void setInventory(const msg::Inventory& inventory) { m_inventory = inventory; }
    // Kind 16 is answered only with a history source.
    void setHistory(HistorySource history) { m_history = std::move(history); }

    const QUuid& identity() const { return m_identity; }
    SensorSnapshot& snapshot() { return m_snapshot; }
    const SensorSnapshot& snapshot() const { return m_snapshot; }
    const AlarmLatch& alarm() const { return m_alarm; }

    // The readings of this tick into the snapshot.
    void read() { m_readings.read(m_snapshot); }
    // The alarm verdict on the snapshot as it stands, through the one latch.
    AlarmStep judge();

    // Opens the three links and answers from then on; the identity and inventory must be set.
    void startLinks(const BrokerSettings& settings, AgentLinks::Topics topics = AgentLinks::Topics::OwnAndShared);
    void stopLinks();
    AgentLinks* links() const { return m_links.get(); }

    // Where each reply takes its data from: this agent's live parts.
    RequestSources requestSources();

private:
    ReadingSource& m_readings;
    FaultSource& m_faults;
    LoadSource m_processorLoad;
    HistorySource m_history;
    QUuid m_identity;
    msg::Inventory m_inventory;
    SensorSnapshot m_snapshot;
    AlarmLatch m_alarm;
    std::unique_ptr<AgentLinks> m_links;
};
