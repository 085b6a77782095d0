// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "agent_links.h"

#include "messages.h"
#include "mqtt_transmit.h"

#include <QHostAddress>

namespace {

// The host is taken only as an address literal: a host name gives the null address, which never
// connects, and nothing waits on a name lookup. The agent reconnects once a second.
std::unique_ptr<MqttTransmit> makeLink(const BrokerSettings& settings, const QString& topic)
{
    auto link = std::make_unique<MqttTransmit>(QHostAddress(settings.host), settings.port, topic,
                                               MqttTransmit::ReconnectPolicy::Client);
    link->setAccess(settings.access);
    return link;
}

} // namespace

AgentLinks::AgentLinks(const BrokerSettings& settings, RequestSources sources, Topics topics, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
    , m_requestLink(makeLink(settings, msg::requestTopic(settings.channel)))
    , m_replyLink(makeLink(settings, topics == Topics::OwnAndShared
                                         ? msg::agentReplyTopic(settings.channel, settings.access.user)
                                         : msg::replyTopic(settings.channel)))
    , m_hqLink(makeLink(settings, settings.hqToken))
{
    m_sources.ownTopic = topics == Topics::OwnAndShared;
    if (m_sources.ownTopic)
        m_requestLink->addSubscription(msg::agentRequestTopic(settings.channel, m_sources.host));
    m_replyLink->setSubscribing(false);
    connect(m_requestLink.get(), &MqttTransmit::SignalMqttReceived, this, &AgentLinks::onRequest);
}

AgentLinks::~AgentLinks() = default;

void AgentLinks::connectToHost()
{
    m_requestLink->connectToHost();
    m_replyLink->connectToHost();
    m_hqLink->connectToHost();
}

bool AgentLinks::isReady() const
{
    return m_requestLink->isSubscribed() && m_hqLink->isSubscribed() && m_replyLink->isConnectedToHost();
}

void AgentLinks::onRequest(const MqttMessage& message)
{
    ++m_requestsSeen;
    QByteArray reply = answerRequest(message.payload(), m_sources);
    if (reply.isEmpty())
        return;
    if (m_filter)
        reply = m_filter(message.payload(), std::move(reply));
    if (m_replyLink->PublishPayload(reply))
        ++m_repliesSent;
}
