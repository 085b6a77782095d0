// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Which broker account speaks for which agent identity. An agent with a USER replies on its own
// reply topic, channel + "C2H/" + user, which the shipped access rules let only that account write
// (docs/broker/). The first account whose topic carries an identity is tied to it; a reply that
// claims the identity on another account's topic is refused, so an account speaks for its own
// agents only. The shared reply topic counts as one account of its own, the empty name.
//
// The first account wins: a station that meets an agent first through a forger keeps the forger
// until an operator releases the identity (Client Reset, `vrdctl release`).
//
// New identities cost the station memory and a registry row each, so an account may add at most
// kNewIdentitiesPerMinute of them in any minute; the rest are refused and counted. The shared
// topic is not limited: it is no account the broker can hold to anything, and on the shipped
// broker no account may write it.
//
// Plain logic on the caller's thread: the caller passes the time in.

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

class AccountTies {
public:
    // With one account per agent an account adds one identity in its life; a machine reinstalled
    // adds another. A shared account of a larger fleet fills in over several minutes.
    static constexpr int kNewIdentitiesPerMinute = 100;
    static constexpr qint64 kMinuteMs = 60000;

    enum class Verdict {
        Speaks,    // tied to this account before
        TiedNow,   // tied to this account by this reply
        Claimed,   // tied to another account: refuse the reply
        OverLimit, // a new identity beyond this account's share of the minute: refuse it
        Unknown,   // not known, and this reply may not make it known: refuse it
    };

    // limitNewIdentities false: any number of identities a minute (a tool that keeps nothing).
    explicit AccountTies(bool limitNewIdentities = true);

    // An identity known before this run: tied to `account`, or untied (a registry row written
    // before ties were kept), which the next reply of any account ties.
    void know(const QUuid& identity, const std::optional<QString>& account);

    // One reply of `account` claims `identity`. `mayAdd`: the reply may make an unknown identity
    // known (an inventory reply, which registers a client).
    Verdict admit(const QUuid& identity, const QString& account, bool mayAdd, qint64 nowMs);

    bool knows(const QUuid& identity) const { return m_ties.contains(identity); }
    // The account tied to the identity; nothing when untied or unknown.
    std::optional<QString> accountOf(const QUuid& identity) const;
    // When the tie was made (nowMs of admit); -1 for ties from know() and for untied identities.
    qint64 tiedAtMs(const QUuid& identity) const;

    // The identity stays known, untied: the next reply of any account ties it.
    void release(const QUuid& identity);
    // Forgets every identity.
    void releaseAll();

    int size() const { return m_ties.size(); }
    // New identities refused over the limit since start, by account.
    quint64 overLimit(const QString& account) const { return m_overLimit.value(account); }

private:
    struct Tie {
        std::optional<QString> account;
        qint64 tiedAtMs = -1;
    };
    struct Minute {
        qint64 startMs = 0;
        int added = 0;
    };

    bool withinShare(const QString& account, qint64 nowMs);

    const bool m_limitNewIdentities;
    QHash<QUuid, Tie> m_ties;
    QHash<QString, Minute> m_minutes; // accounts that added identities in the current minute
    qint64 m_prunedAtMs = 0;
    QHash<QString, quint64> m_overLimit;
};
