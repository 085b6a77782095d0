// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "health_poller.h"

#include "sensor_types.h"

#include <algorithm>

namespace {

// A step that comes late (a busy event loop) catches up at most this much, so that a stall does
// not turn into a burst.
constexpr qint64 kLongestStepMs = 1000;

} // namespace

std::optional<int> crossedLimit(const msg::SensorKeys& keys, const msg::SensorFigures& figures)
{
    if (!outOfLimits(keys.code, figures))
        return std::nullopt;
    // The high limit is tested first, as the limit test does.
    const bool above = hasHighLimit(sensorTypeRow(keys.code)->rule) && figures.reading > figures.high;
    return above ? figures.high : figures.low;
}

HealthPoller::HealthPoller(Listener listener)
    : m_listener(std::move(listener))
{
}

void HealthPoller::setOnline(const QUuid& client, bool online)
{
    if (client.isNull())
        return;
    State& state = m_states[client];
    if (state.online == online)
        return;
    state.online = online;
    m_onlineCount += online ? 1 : -1;
    if (online && !state.inRotation) {
        state.inRotation = true;
        m_rotation.append(client);
    }
    if (!online) {
        state.askedAtMs = -1;
        if (state.health != ClientHealth::Unknown)
            setHealth(client, state, ClientHealth::NoAnswer);
    }
}

void HealthPoller::setSelected(const QUuid& client)
{
    m_selected = client;
}

void HealthPoller::noteAsked(const QUuid& client, qint64 nowMs)
{
    const auto found = m_states.find(client);
    if (found != m_states.end() && found->online)
        markAsked(client, *found, nowMs);
}

void HealthPoller::markAsked(const QUuid& client, State& state, qint64 nowMs)
{
    // An older request still unanswered keeps its deadline: a client that never answers is
    // found out even when it is asked again meanwhile.
    if (state.askedAtMs >= 0)
        return;
    state.askedAtMs = nowMs;
    m_deadlines.emplace_back(client, nowMs);
}

void HealthPoller::step(qint64 nowMs)
{
    const qint64 elapsed = m_lastStepMs < 0 ? 0 : std::clamp<qint64>(nowMs - m_lastStepMs, 0, kLongestStepMs);
    m_lastStepMs = nowMs;
    m_credit += double(m_onlineCount) * double(elapsed) / double(kRoundMs);
    // Never more than one round's worth at once. The small addend keeps a sum of tenths that
    // should make a whole from falling just short of it.
    int due = std::min(int(m_credit + 1e-9), m_onlineCount);
    m_credit -= due;
    for (; due > 0; --due) {
        const std::optional<QUuid> client = nextInTurn();
        if (!client)
            break;
        // The selected client takes its turn without a request of ours: the window asks it.
        if (*client == m_selected)
            continue;
        m_listener.ask(*client);
        ++m_requestsSent;
        markAsked(*client, m_states[*client], nowMs);
    }
    expireOverdue(nowMs);
}

// The next online client of the rotation; nothing when none is online.
std::optional<QUuid> HealthPoller::nextInTurn()
{
    for (int looked = 0; looked <= m_rotation.size(); ++looked) {
        if (m_cursor >= m_rotation.size()) {
            compactRotation();
            m_cursor = 0;
            if (m_rotation.isEmpty())
                return std::nullopt;
        }
        const QUuid client = m_rotation[m_cursor++];
        if (m_states[client].online)
            return client;
    }
    return std::nullopt;
}

void HealthPoller::compactRotation()
{
    QVector<QUuid> kept;
    kept.reserve(m_onlineCount);
    for (const QUuid& client : m_rotation) {
        State& state = m_states[client];
        if (state.online)
            kept.append(client);
        else
            state.inRotation = false;
    }
    m_rotation = std::move(kept);
}

void HealthPoller::expireOverdue(qint64 nowMs)
{
    while (!m_deadlines.empty() && nowMs - m_deadlines.front().second >= kAnswerMs) {
        const auto [client, askedAt] = m_deadlines.front();
        m_deadlines.pop_front();
        State& state = m_states[client];
        // Answered (or gone offline) since: the deadline is stale.
        if (state.askedAtMs != askedAt)
            continue;
        state.askedAtMs = -1;
        setHealth(client, state, ClientHealth::NoAnswer);
    }
}

void HealthPoller::onSensorReply(const QUuid& client, const msg::SensorReport& report)
{
    const auto found = m_states.find(client);
    if (found == m_states.end())
        return;
    State& state = *found;
    state.askedAtMs = -1;
    bool anyFault = false;
    for (const msg::SensorKeys& keys : msg::kSensorKeys) {
        const msg::SensorFigures& figures = report.byType[size_t(keys.code)];
        std::optional<SensorFault>& held = state.faults[size_t(keys.code)];
        const std::optional<int> limit = crossedLimit(keys, figures);
        anyFault = anyFault || limit.has_value();
        if (limit && !held) {
            held = SensorFault{keys.code, figures.reading, *limit};
            m_listener.faultChanged(client, *held, true);
        } else if (!limit && held) {
            m_listener.faultChanged(client, SensorFault{keys.code, figures.reading, held->limit}, false);
            held.reset();
        }
    }
    if (anyFault && !state.episodeLatched) {
        state.episodeLatched = true;
        m_listener.faultEpisodeStarted(client);
    }
    if (!anyFault)
        state.episodeLatched = false;
    setHealth(client, state, anyFault ? ClientHealth::Fault : ClientHealth::Healthy);
}

void HealthPoller::setHealth(const QUuid& client, State& state, ClientHealth health)
{
    if (state.health == health)
        return;
    state.health = health;
    m_listener.healthChanged(client, health);
}

ClientHealth HealthPoller::healthOf(const QUuid& client) const
{
    const auto found = m_states.constFind(client);
    return found == m_states.cend() ? ClientHealth::Unknown : found->health;
}
