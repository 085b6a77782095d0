// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's side of the protocol for scripts: two links on the broker (requests out,
// replies in) and a wait for the replies that match what was asked.
//
// Every reply passes the same intake as the station's (reply_intake.h): a retained reply, one of
// a kind not yet asked in this run, or one that claims an agent on another account's topic than
// the one it is tied to, is refused. The ties are the station's, read from its registry when
// vrdctl is given it; an agent the registry does not tie is tied by the first reply of this run.
// Having kept nothing, vrdctl cannot tell which of two accounts is an agent's own: an answer for
// such an agent waits kRivalWaitMs for a reply of another account, and one that comes makes the
// answer one that cannot be trusted.
//
// A request for one agent (askAgent) goes first on that agent's own request topic, which only it
// reads. A one-shot tool does not know whether the agent reads one (an agent that predates it
// reads only the shared topic), so when no answer comes within the first half of the time, at most
// kOwnTopicWaitMs, the request goes again on the shared topic for the rest of it. An agent that
// answers late on its own topic may answer twice; the first answer counts.

#include "broker_settings.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "reply_intake.h"

#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QVector>

#include <functional>
#include <optional>

class FleetQuery {
public:
    static constexpr int kOwnTopicWaitMs = 1000;
    static constexpr int kRivalWaitMs = 250;

    // `ties`: the station's, by identity (client_accounts.h); none when vrdctl has no registry.
    FleetQuery(const BrokerSettings& settings, const QHash<QUuid, QString>& ties);

    // Waits until requests can go out and replies can come in.
    bool connect(int timeoutMs);

    // A broadcast request, on the shared topic.
    void send(int code, const QUuid& addressee);

    struct Answer {
        std::optional<msg::Envelope> reply; // the first of `agent`'s own account
        QString account;                    // that reply's
        // Other accounts whose replies claimed the agent in this run, when no registry ties it:
        // the reply may be theirs as well as its own.
        QStringList rivals;
    };

    // The first reply of kind `code` from `agent` to `request` (asked as above), or none within
    // timeoutMs.
    Answer askAgent(const QUuid& agent, int code, const QByteArray& request, int timeoutMs);

    // Collects replies for which `wanted` is true until `enough` says so or the time is up.
    QVector<msg::Envelope> collect(const std::function<bool(const msg::Envelope&)>& wanted,
                                   const std::function<bool(const QVector<msg::Envelope>&)>& enough,
                                   int timeoutMs);

    // Accounts whose replies were refused for claiming the agent, in this run.
    QStringList claimsOn(const QUuid& agent) const;
    bool tiedByRegistry(const QUuid& agent) const { return m_registryTies.contains(agent); }

private:
    void take(const MqttMessage& message);

    AskedKinds m_asked;
    ReplyIntake m_intake;
    QSet<QUuid> m_registryTies;
    MqttTransmit m_requests;
    QString m_channel;
    MqttTransmit m_replies;
    struct Taken {
        msg::Envelope envelope;
        QString account;
    };
    QVector<Taken> m_inbox;
    QHash<QUuid, QStringList> m_claims; // refused claims, by the agent they named
    QSet<QString> m_told;               // accounts already reported on standard error
};

// Runs the Qt event loop until `done` is true or the time is up; returns `done()`.
bool waitFor(const std::function<bool()>& done, int timeoutMs);
