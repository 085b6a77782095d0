// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sim_agent.h"

#include "mqtt_transmit.h"
#include "sensor_time.h"

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
QByteArray stamped(QByteArray payload)
{
    payload.chop(1);
    payload += ",\"SimSentNs\":" + QByteArray::number(monotonicNanoseconds()) + '}';
    return payload;
}

// The agent's faults as its database would return them: local time text, newest first.
SensorLogRows logRows(const Agent& agent, bool todayOnly)
{
    SensorLogRows rows;
    for (const msg::FaultRecord& record : recentFaults(agent, todayOnly, QDateTime::currentSecsSinceEpoch()))
        rows.push_back({sensorTimeText(QDateTime::fromSecsSinceEpoch(record.utcSeconds).toLocalTime()), record.type,
                        record.data});
    return rows;
}

std::unique_ptr<MqttTransmit> makeLink(const LinkSettings& settings, const QString& topic)
{
    auto link = std::make_unique<MqttTransmit>(settings.host, settings.port, topic, MqttTransmit::ReconnectPolicy::Client);
    link->setAccess(settings.access);
    return link;
}

} // namespace

SimAgent::SimAgent(Agent& agent, const LinkSettings& settings, QObject* parent)
    : QObject(parent)
    , m_agent(agent)
    , m_stamp(settings.stamp)
    , m_requestLink(makeLink(settings, msg::requestTopic(settings.channel)))
    , m_replyLink(makeLink(settings, settings.ownTopic ? msg::agentReplyTopic(settings.channel, settings.access.user)
                                                       : msg::replyTopic(settings.channel)))
    , m_hqLink(makeLink(settings, settings.hqToken))
    , m_sources(sources())
{
    m_sources.ownTopic = settings.ownTopic;
    if (settings.ownTopic)
        m_requestLink->addSubscription(msg::agentRequestTopic(settings.channel, agent.identity));
    m_replyLink->setSubscribing(false);
    connect(m_requestLink.get(), &MqttTransmit::SignalMqttReceived, this, &SimAgent::onRequest);
}

SimAgent::~SimAgent() = default;

void SimAgent::connectToHost()
{
    m_requestLink->connectToHost();
    m_replyLink->connectToHost();
    m_hqLink->connectToHost();
}

bool SimAgent::isReady() const
{
    return m_requestLink->isSubscribed() && m_hqLink->isSubscribed() && m_replyLink->isConnectedToHost();
}

RequestSources SimAgent::sources()
{
    RequestSources sources;
    sources.host = m_agent.identity;
    sources.snapshot = [this]() -> const SensorSnapshot& { return m_agent.snapshot; };
    sources.processorLoad = [this] { return int16_t(m_agent.load); };
    sources.lastFaults = [this] { return std::optional<SensorLogRows>(logRows(m_agent, false)); };
    sources.todaysFaults = [this] { return std::optional<SensorLogRows>(logRows(m_agent, true)); };
    sources.inventory = [this] { return m_agent.inventory; };
    return sources;
}

void SimAgent::onRequest(const MqttMessage& message)
{
    ++m_requestsSeen;
    QByteArray reply = answerRequest(message.payload(), m_sources);
    if (reply.isEmpty())
        return;
    if (m_stamp && msg::parseMessage(message.payload())->code == msg::KindProcessorLoad)
        reply = stamped(reply);
    if (m_replyLink->PublishPayload(reply))
        ++m_repliesSent;
}
