// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet_query.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

FleetQuery::FleetQuery(const BrokerSettings& settings)
    : m_requests(QHostAddress(settings.host), settings.port, msg::requestTopic(settings.channel),
                 MqttTransmit::ReconnectPolicy::Browser)
    , m_channel(settings.channel)
    , m_replies(QHostAddress(settings.host), settings.port, msg::replyTopic(settings.channel),
                MqttTransmit::ReconnectPolicy::Browser)
{
    QObject::connect(&m_replies, &MqttTransmit::SignalMqttReceived, [this](const MqttMessage& message) {
        if (std::optional<msg::Envelope> envelope = msg::parseMessage(message.payload()))
            m_inbox.append(*envelope);
    });
    m_requests.setSubscribing(false); // its own requests would come back unread
    m_replies.addSubscription(msg::anyUserReplyTopic(settings.channel)); // agents that log in
    m_requests.setAccess(settings.access);
    m_replies.setAccess(settings.access);
    m_requests.connectToHost();
    m_replies.connectToHost();
}

bool FleetQuery::connect(int timeoutMs)
{
    return waitFor([this] { return m_requests.isConnectedToHost() && m_replies.isSubscribed(); }, timeoutMs);
}

void FleetQuery::send(int code, const QUuid& addressee)
{
    m_requests.PublishPayload(msg::buildRequest(code, addressee));
}

std::optional<msg::Envelope> FleetQuery::askAgent(const QUuid& agent, int code, const QByteArray& request,
                                                  int timeoutMs)
{
    const auto fromAgent = [&](const msg::Envelope& e) {
        return e.code == code && msg::addressOf(e.object) == std::optional(agent);
    };
    const auto any = [](const QVector<msg::Envelope>& got) { return !got.isEmpty(); };
    QElapsedTimer clock;
    clock.start();
    m_requests.PublishPayload(request, msg::agentRequestTopic(m_channel, agent));
    QVector<msg::Envelope> replies = collect(fromAgent, any, std::min(timeoutMs / 2, kOwnTopicWaitMs));
    if (replies.isEmpty()) {
        m_requests.PublishPayload(request);
        replies = collect(fromAgent, any, int(std::max<qint64>(0, timeoutMs - clock.elapsed())));
    }
    if (replies.isEmpty())
        return std::nullopt;
    return replies.first();
}

QVector<msg::Envelope> FleetQuery::collect(const std::function<bool(const msg::Envelope&)>& wanted,
                                          const std::function<bool(const QVector<msg::Envelope>&)>& enough,
                                          int timeoutMs)
{
    QVector<msg::Envelope> matched;
    waitFor(
        [&] {
            for (const msg::Envelope& envelope : std::as_const(m_inbox))
                if (wanted(envelope))
                    matched.append(envelope);
            m_inbox.clear();
            return enough(matched);
        },
        timeoutMs);
    return matched;
}
