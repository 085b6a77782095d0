// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One simulated agent on the wire, as VrdClient is: three connections of the link class the
// agent uses (its client-identifier form, keep-alive, QoS and once-a-second reconnection),
// the request link subscribed to channel + "H2C" and to the agent's own request topic, the reply
// link publishing on the user's reply topic (channel + "C2H" without a user) without
// subscribing, the HQ link subscribed to the HQ token. Requests are answered by the agent's own
// request handler, so the reply bytes are those a real agent sends for the same readings,
// identity and inventory. With ownTopic off the agent is one that predates addressed topics:
// the shared topics only, and no "OwnTopic" in its replies.
//
// Lives on the thread of the FleetShard that created it; the Agent data it answers from is
// that shard's and is touched on that thread only.

#include "agent.h"
#include "broker_access.h"
#include "mqtt_message.h"
#include "request_handlers.h"

#include <QHostAddress>
#include <QObject>

#include <memory>

class MqttTransmit;

struct LinkSettings {
    QHostAddress host{QHostAddress::LocalHost};
    quint16 port = 1883;
    QString channel;
    QString hqToken;
    bool stamp = false; // presence replies carry "SimSentNs", the monotonic send time
    bool ownTopic = true; // own request topic and per-user replies; off: the shared topics only
    BrokerAccess access; // login and TLS of the agent's links
};

class SimAgent : public QObject {
    Q_OBJECT

public:
    SimAgent(Agent& agent, const LinkSettings& settings, QObject* parent = nullptr);
    ~SimAgent() override;

    void connectToHost();
    // Request and HQ links subscribed, reply link up.
    bool isReady() const;

    quint64 requestsSeen() const { return m_requestsSeen; }
    quint64 repliesSent() const { return m_repliesSent; }

private:
    void onRequest(const MqttMessage& message);
    RequestSources sources();

    Agent& m_agent;
    const bool m_stamp;
    std::unique_ptr<MqttTransmit> m_requestLink;
    std::unique_ptr<MqttTransmit> m_replyLink;
    std::unique_ptr<MqttTransmit> m_hqLink;
    RequestSources m_sources;
    quint64 m_requestsSeen = 0;
    quint64 m_repliesSent = 0;
};
