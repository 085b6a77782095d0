// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "reply_intake.h"

#include <chrono>

namespace {

// The request kinds of the protocol, each with its slot in AskedKinds.
constexpr int kRequestKinds[] = {
    msg::KindCurrentSensors, msg::KindProcessorLoad, msg::KindLastFaults,
    msg::KindInventory,      msg::KindTodaysFaults,  msg::KindHistory,
};

constexpr const char* kVerdictNames[] = {
    "accepted", "retained", "not a reply topic", "malformed", "not asked", "no identity", "unknown identity",
    "claimed", "over the new-identity limit",
};
static_assert(std::size(kVerdictNames) == ReplyIntake::kVerdicts);

} // namespace

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int AskedKinds::slotOf(int kind)
{
    for (int slot = 0; slot < int(std::size(kRequestKinds)); ++slot)
        if (kRequestKinds[slot] == kind)
            return slot;
    return -1;
}

void AskedKinds::noteAsked(int kind, qint64 nowMs)
{
    const int slot = slotOf(kind);
    if (slot < 0)
        return;
    qint64 unset = -1;
    m_times[size_t(slot)].first.compare_exchange_strong(unset, nowMs);
    m_times[size_t(slot)].last.store(nowMs);
}

bool AskedKinds::asked(int kind, qint64 arrivedMs) const
{
    const int slot = slotOf(kind);
    if (slot < 0)
        return false;
    const qint64 first = m_times[size_t(slot)].first.load();
    const qint64 last = m_times[size_t(slot)].last.load();
    // `last` may be later than the arrival: a request of the kind went out again meanwhile.
    return first >= 0 && first <= arrivedMs && arrivedMs - last <= kAnswerWindowMs;
}

const char* verdictName(ReplyIntake::Verdict verdict)
{
    return kVerdictNames[size_t(verdict)];
}

ReplyIntake::ReplyIntake(const QString& channel, const AskedKinds& asked, Policy policy)
    : m_channel(channel)
    , m_asked(asked)
    , m_policy(policy)
    , m_ties(policy.limitNewIdentities)
{
}

ReplyIntake::Taken ReplyIntake::take(const MqttMessage& message, qint64 arrivedMs)
{
    Taken taken = judge(message, arrivedMs);
    ++m_counts[size_t(taken.verdict)];
    return taken;
}

ReplyIntake::Taken ReplyIntake::judge(const MqttMessage& message, qint64 arrivedMs)
{
    Taken taken;
    if (message.retain()) {
        taken.verdict = Verdict::Retained;
        return taken;
    }
    const std::optional<QString> account = msg::replyAccount(m_channel, message.topic());
    if (!account) {
        taken.verdict = Verdict::NotAReplyTopic;
        return taken;
    }
    taken.account = *account;
    std::optional<msg::Envelope> envelope = msg::parseMessage(message.payload());
    if (!envelope) {
        taken.verdict = Verdict::Malformed;
        return taken;
    }
    taken.envelope = std::move(*envelope);
    const int code = taken.envelope.code;
    if (!m_asked.asked(code, arrivedMs)) {
        taken.verdict = Verdict::NotAsked;
        return taken;
    }
    const bool inventory = code == msg::KindInventory;
    const std::optional<QUuid> sender =
        inventory ? msg::inventorySender(taken.envelope.object) : msg::addressOf(taken.envelope.object);
    if (!sender || sender->isNull() || *sender == msg::broadcastUuid()) {
        taken.verdict = Verdict::NoIdentity;
        return taken;
    }
    taken.sender = *sender;
    if (!m_accountCheck) {
        taken.verdict = Verdict::Accepted;
        return taken;
    }
    switch (m_ties.admit(*sender, *account, inventory || m_policy.anyReplyIntroduces, arrivedMs)) {
    case AccountTies::Verdict::Speaks:
        taken.verdict = Verdict::Accepted;
        break;
    case AccountTies::Verdict::TiedNow:
        taken.verdict = Verdict::Accepted;
        taken.tiedNow = true;
        break;
    case AccountTies::Verdict::Claimed:
        taken.verdict = Verdict::Claimed;
        taken.tiedAccount = m_ties.accountOf(*sender).value_or(QString());
        break;
    case AccountTies::Verdict::OverLimit:
        taken.verdict = Verdict::OverLimit;
        break;
    case AccountTies::Verdict::Unknown:
        taken.verdict = Verdict::UnknownIdentity;
        break;
    }
    return taken;
}
