// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "account_ties.h"

AccountTies::AccountTies(bool limitNewIdentities)
    : m_limitNewIdentities(limitNewIdentities)
{
}

void AccountTies::know(const QUuid& identity, const std::optional<QString>& account)
{
    if (!identity.isNull())
        m_ties.insert(identity, Tie{account, -1});
}

AccountTies::Verdict AccountTies::admit(const QUuid& identity, const QString& account, bool mayAdd, qint64 nowMs)
{
    const auto found = m_ties.find(identity);
    if (found != m_ties.end()) {
        if (!found->account) {
            *found = Tie{account, nowMs};
            return Verdict::TiedNow;
        }
        return *found->account == account ? Verdict::Speaks : Verdict::Claimed;
    }
    if (!mayAdd)
        return Verdict::Unknown;
    if (!withinShare(account, nowMs)) {
        ++m_overLimit[account];
        return Verdict::OverLimit;
    }
    m_ties.insert(identity, Tie{account, nowMs});
    return Verdict::TiedNow;
}

// Counts the new identity against the account's minute when there is room for it.
bool AccountTies::withinShare(const QString& account, qint64 nowMs)
{
    if (!m_limitNewIdentities || account.isEmpty())
        return true;
    // Accounts whose minute has passed are forgotten, so that the table holds only the accounts
    // of the last minute however many there are.
    if (nowMs - m_prunedAtMs >= kMinuteMs) {
        m_prunedAtMs = nowMs;
        for (auto it = m_minutes.begin(); it != m_minutes.end();)
            it = nowMs - it->startMs >= kMinuteMs ? m_minutes.erase(it) : std::next(it);
    }
    Minute& minute = m_minutes[account];
    if (minute.added == 0 || nowMs - minute.startMs >= kMinuteMs)
        minute = Minute{nowMs, 0};
    if (minute.added >= kNewIdentitiesPerMinute)
        return false;
    ++minute.added;
    return true;
}

std::optional<QString> AccountTies::accountOf(const QUuid& identity) const
{
    const auto found = m_ties.constFind(identity);
    return found == m_ties.cend() ? std::nullopt : found->account;
}

qint64 AccountTies::tiedAtMs(const QUuid& identity) const
{
    const auto found = m_ties.constFind(identity);
    return found == m_ties.cend() ? -1 : found->tiedAtMs;
}

void AccountTies::release(const QUuid& identity)
{
    const auto found = m_ties.find(identity);
    if (found != m_ties.end())
        *found = Tie{};
}

void AccountTies::releaseAll()
{
    m_ties.clear();
}
