// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// An agent's three broker links and its answers, the same for the agent program and for every
// agent of the simulator: the request link subscribed to channel + "H2C" and to the agent's own
// request topic (channel + "H2C/" + identity), the reply link publishing on the user's reply
// topic (channel + "C2H/" + USER, channel + "C2H" without a user) without subscribing (it would
// otherwise receive every other agent's replies and read none), the HQ link subscribed to the HQ
// token, whose messages are ignored. Every request is answered through answerRequest
// (request_handlers.h) from the sources given, the presence and inventory replies saying that
// the agent reads its own topic; a reply is published on the reply link. An agent with the shared
// topics only (the simulator's agents of older versions) reads and writes channel + "H2C" and
// channel + "C2H" alone and does not say so.
//
// Lives on the thread that creates it, as its links do; the sources are called there.

#include "broker_settings.h"
#include "mqtt_message.h"
#include "request_handlers.h"

#include <QObject>

#include <functional>
#include <memory>

class MqttTransmit;

class AgentLinks : public QObject {
    Q_OBJECT

public:
    // Changes a reply before it goes out (the simulator's send stamp); request and reply payloads.
    using ReplyFilter = std::function<QByteArray(const QByteArray& request, QByteArray reply)>;

    enum class Topics { OwnAndShared, SharedOnly };

    AgentLinks(const BrokerSettings& settings, RequestSources sources, Topics topics = Topics::OwnAndShared,
               QObject* parent = nullptr);
    ~AgentLinks() override;

    void connectToHost();
    // Request and HQ links subscribed, reply link up.
    bool isReady() const;

    void setReplyFilter(ReplyFilter filter) { m_filter = std::move(filter); }

    quint64 requestsSeen() const { return m_requestsSeen; }
    quint64 repliesSent() const { return m_repliesSent; }

private:
    void onRequest(const MqttMessage& message);

    RequestSources m_sources;
    ReplyFilter m_filter;
    std::unique_ptr<MqttTransmit> m_requestLink;
    std::unique_ptr<MqttTransmit> m_replyLink;
    std::unique_ptr<MqttTransmit> m_hqLink;
    quint64 m_requestsSeen = 0;
    quint64 m_repliesSent = 0;
};
