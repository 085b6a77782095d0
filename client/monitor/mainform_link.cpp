// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The window's broker links and its answers to the station's requests.

#include "dmi_table.h"
#include "link_failures.h"
#include "mainform.h"
#include "messages.h"

#include <QHostAddress>

void Mainform::startBrokerLinks()
{
    if (!m_broker.enable)
        return;
    // The shared topic and this machine's own, on which a station asks it alone.
    m_requestLink = makeLink(msg::requestTopic(m_broker.branchToken));
    m_requestLink->addSubscription(msg::agentRequestTopic(m_broker.branchToken, m_hostIdentity));
    connect(m_requestLink.get(), &MqttTransmit::SignalMqttReceived, this, &Mainform::slot_mtsBranchReceived);
    m_requestLink->connectToHost();

    // Publish only: subscribed, it would receive every other agent's replies and read none. With
    // a USER, on that user's reply topic, which the broker can tie to the account.
    const QString notice = msg::userTopicNotice(m_broker.branchToken, m_broker.access.user);
    if (!notice.isEmpty())
        tellLinkFailure(notice);
    m_replyLink = makeLink(msg::agentReplyTopic(m_broker.branchToken, m_broker.access.user));
    m_replyLink->setSubscribing(false);
    m_replyLink->connectToHost();

    m_hqLink = makeLink(m_broker.hqToken);
    connect(m_hqLink.get(), &MqttTransmit::SignalMqttReceived, this, &Mainform::slot_mtsHQReceived);
    m_hqLink->connectToHost();
}

// The host is taken only as an address literal: a host name gives the null address, which never
// connects, and nothing waits on a name lookup.
std::unique_ptr<MqttTransmit> Mainform::makeLink(const QString& topic) const
{
    auto link = std::make_unique<MqttTransmit>(QHostAddress(m_broker.host), quint16(m_broker.port), topic,
                                               MqttTransmit::ReconnectPolicy::Client);
    link->setAccess(m_broker.access);
    return link;
}

void Mainform::stopBrokerLinks()
{
    m_requestLink.reset();
    m_replyLink.reset();
    m_hqLink.reset();
}

RequestSources Mainform::requestSources()
{
    RequestSources sources;
    sources.host = m_hostIdentity;
    sources.ownTopic = true;
    sources.snapshot = [this]() -> const SensorSnapshot& { return m_snapshot; };
    sources.processorLoad = [this] { return m_loggingThread.GetCpuLoad(); };
    sources.lastFaults = [this] { return m_database.lastFaults(); };
    sources.todaysFaults = [this] { return m_database.todaysFaults(); };
    sources.history = [this](const HistoryQuery& query) { return m_database.history(query); };
    sources.inventory = [this] {
        return msg::Inventory{m_inventory.sysUser,  m_inventory.procName,  m_inventory.osCaption,
                              m_inventory.sysModel, m_inventory.sysSerial, hostIdentityText(m_hostIdentity)};
    };
    return sources;
}

void Mainform::slot_mtsBranchReceived(const MqttMessage& message)
{
    const QByteArray reply = answerRequest(message.payload(), requestSources());
    if (!reply.isEmpty() && m_replyLink)
        m_replyLink->PublishPayload(reply);
}

void Mainform::slot_mtsHQReceived(const MqttMessage&)
{
}
