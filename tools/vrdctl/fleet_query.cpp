// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet_query.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

QString accountText(const QString& account)
{
    return account.isEmpty() ? QStringLiteral("the shared reply topic") : QStringLiteral("account %1").arg(account);
}

} // namespace

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

FleetQuery::FleetQuery(const BrokerSettings& settings, const QHash<QUuid, QString>& ties)
    : m_intake(settings.channel, m_asked, ReplyIntake::Policy{true, false})
    , m_requests(QHostAddress(settings.host), settings.port, msg::requestTopic(settings.channel),
                 MqttTransmit::ReconnectPolicy::Browser)
    , m_channel(settings.channel)
    , m_replies(QHostAddress(settings.host), settings.port, msg::replyTopic(settings.channel),
                MqttTransmit::ReconnectPolicy::Browser)
{
    for (auto it = ties.cbegin(); it != ties.cend(); ++it) {
        m_intake.ties().know(it.key(), it.value());
        m_registryTies.insert(it.key());
    }
    QObject::connect(&m_replies, &MqttTransmit::SignalMqttReceived,
                     [this](const MqttMessage& message) { take(message); });
    m_requests.setSubscribing(false); // its own requests would come back unread
    m_replies.addSubscription(msg::anyUserReplyTopic(settings.channel)); // agents that log in
    m_requests.setAccess(settings.access);
    m_replies.setAccess(settings.access);
    m_requests.connectToHost();
    m_replies.connectToHost();
}

void FleetQuery::take(const MqttMessage& message)
{
    ReplyIntake::Taken taken = m_intake.take(message, monotonicMs());
    if (taken.verdict == ReplyIntake::Verdict::Accepted) {
        m_inbox.append({std::move(taken.envelope), taken.account});
        return;
    }
    if (taken.verdict != ReplyIntake::Verdict::Claimed)
        return;
    QStringList& claims = m_claims[taken.sender];
    if (!claims.contains(taken.account))
        claims.append(taken.account);
    if (m_told.contains(taken.account))
        return;
    m_told.insert(taken.account);
    std::fprintf(stderr, "vrdctl: refused a reply on %s for %s, which %s speaks for\n",
                 qUtf8Printable(accountText(taken.account)), qUtf8Printable(msg::uuidText(taken.sender)),
                 qUtf8Printable(accountText(taken.tiedAccount)));
}

bool FleetQuery::connect(int timeoutMs)
{
    return waitFor([this] { return m_requests.isConnectedToHost() && m_replies.isSubscribed(); }, timeoutMs);
}

void FleetQuery::send(int code, const QUuid& addressee)
{
    m_asked.noteAsked(code, monotonicMs());
    m_requests.PublishPayload(msg::buildRequest(code, addressee));
}

QStringList FleetQuery::claimsOn(const QUuid& agent) const
{
    return m_claims.value(agent);
}

FleetQuery::Answer FleetQuery::askAgent(const QUuid& agent, int code, const QByteArray& request, int timeoutMs)
{
    const auto fromAgent = [&](const msg::Envelope& e) {
        return e.code == code && msg::addressOf(e.object) == std::optional(agent);
    };
    QElapsedTimer clock;
    clock.start();
    Answer answer;
    const auto firstReply = [&](int waitMs) {
        waitFor(
            [&] {
                for (const Taken& taken : std::as_const(m_inbox)) {
                    if (!answer.reply && fromAgent(taken.envelope)) {
                        answer.reply = taken.envelope;
                        answer.account = taken.account;
                    }
                }
                m_inbox.clear();
                return answer.reply.has_value();
            },
            waitMs);
    };
    m_asked.noteAsked(code, monotonicMs());
    m_requests.PublishPayload(request, msg::agentRequestTopic(m_channel, agent));
    firstReply(std::min(timeoutMs / 2, kOwnTopicWaitMs));
    if (!answer.reply) {
        m_requests.PublishPayload(request);
        firstReply(int(std::max<qint64>(0, timeoutMs - clock.elapsed())));
    }
    if (!answer.reply || tiedByRegistry(agent))
        return answer;
    waitFor([&] { return !claimsOn(agent).isEmpty(); }, kRivalWaitMs);
    answer.rivals = claimsOn(agent);
    return answer;
}

QVector<msg::Envelope> FleetQuery::collect(const std::function<bool(const msg::Envelope&)>& wanted,
                                          const std::function<bool(const QVector<msg::Envelope>&)>& enough,
                                          int timeoutMs)
{
    QVector<msg::Envelope> matched;
    waitFor(
        [&] {
            for (const Taken& taken : std::as_const(m_inbox))
                if (wanted(taken.envelope))
                    matched.append(taken.envelope);
            m_inbox.clear();
            return enough(matched);
        },
        timeoutMs);
    return matched;
}
