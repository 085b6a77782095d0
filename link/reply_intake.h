// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What a station or vrdctl does with each message of its reply link before anything reads it.
// Anyone the broker lets publish on a reply topic can send anything there, so a message is taken
// only when all of these hold:
//   - it is not retained: a retained message answers no request of this run;
//   - it came on a reply topic, which names the account it speaks for (msg::replyAccount);
//   - it parses (msg::parseMessage: size, nesting, repeated keys, JSON);
//   - a request of its kind went out before it arrived, and not too long before (AskedKinds);
//   - it names a client's identity, and an inventory reply the same one twice;
//   - its account speaks for that identity (AccountTies).
// A message that fails is refused with the first reason that applies; the caller counts, logs
// or reports as it sees fit.
//
// Not thread-safe, except AskedKinds: the station's reader thread takes the messages while the
// window's thread sends the requests.

#include "account_ties.h"
#include "messages.h"
#include "mqtt_message.h"

#include <QString>
#include <QUuid>

#include <array>
#include <atomic>

// The kinds of request sent so far, for replies to be matched to: a reply of a kind nobody asked
// for, or asked for long before it arrived, answers nothing. Written by the thread that sends,
// read by the one that receives; the times are those of monotonicMs().
class AskedKinds {
public:
    // Every kind is asked again at least this often while it is wanted (presence every second, a
    // client's sensors every ten), and every answer comes at once.
    static constexpr qint64 kAnswerWindowMs = 30000;

    // Call before publishing the request, so that no answer can overtake the note.
    void noteAsked(int kind, qint64 nowMs);
    // Whether a request of the kind went out before arrivedMs and its latest no more than the
    // window before it. A kind that is not a request kind of the protocol never was asked.
    bool asked(int kind, qint64 arrivedMs) const;

private:
    struct Times {
        std::atomic<qint64> first{-1};
        std::atomic<qint64> last{-1};
    };
    static int slotOf(int kind);

    std::array<Times, 6> m_times; // by slotOf
};

// The clock of AskedKinds and of arrivals: milliseconds of the steady clock.
qint64 monotonicMs();

class ReplyIntake {
public:
    enum class Verdict {
        Accepted,
        Retained,
        NotAReplyTopic,
        Malformed,
        NotAsked,
        NoIdentity,      // no client's identity, or an inventory naming two
        UnknownIdentity, // not a client the reader knows, in a reply that may not register one
        Claimed,         // tied to another account
        OverLimit,       // a new identity beyond its account's share of the minute
    };
    static constexpr int kVerdicts = int(Verdict::OverLimit) + 1;

    struct Taken {
        Verdict verdict = Verdict::Malformed;
        msg::Envelope envelope; // when parsed
        QUuid sender;           // when named
        QString account;        // the account of the topic, when a reply topic
        QString tiedAccount;    // Claimed: the account the identity is tied to
        bool tiedNow = false;   // Accepted: this reply made the tie
    };

    struct Policy {
        // Any reply may make its identity known (a tool that keeps nothing); otherwise only an
        // inventory reply, which registers a client.
        bool anyReplyIntroduces = false;
        bool limitNewIdentities = true; // AccountTies::kNewIdentitiesPerMinute
    };

    ReplyIntake(const QString& channel, const AskedKinds& asked, Policy policy);

    Taken take(const MqttMessage& message, qint64 arrivedMs);

    AccountTies& ties() { return m_ties; }
    const AccountTies& ties() const { return m_ties; }

    // Messages refused or accepted so far, by verdict.
    quint64 count(Verdict verdict) const { return m_counts[size_t(verdict)]; }

    // Switches the account check off: every claim is taken, ties or not. Only for the test that
    // shows what the check keeps out.
    void setAccountCheck(bool on) { m_accountCheck = on; }

private:
    Taken judge(const MqttMessage& message, qint64 arrivedMs);

    const QString m_channel;
    const AskedKinds& m_asked;
    const Policy m_policy;
    AccountTies m_ties;
    std::array<quint64, kVerdicts> m_counts{};
    bool m_accountCheck = true;
};

// The name of a verdict as counters and logs show it: "retained", "claimed", ...
const char* verdictName(ReplyIntake::Verdict verdict);
