// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// What the station and vrdctl take from their reply link: every reason a message is refused, the
// tie of an identity to the first account that carries it, the limit of new identities per
// account, and the log line that never holds a payload whole.

#include "messages.h"
#include "payload_log.h"
#include "reply_intake.h"

#include <gtest/gtest.h>

namespace {

const QString kChannel = QStringLiteral("VARDEN6");
const QUuid kAgentA = msg::parseUuid(QStringLiteral("{0a0a0a0a-0000-4000-8000-00000000000a}"));
const QUuid kAgentB = msg::parseUuid(QStringLiteral("{0b0b0b0b-0000-4000-8000-00000000000b}"));

constexpr qint64 kNow = 1000000;

QString userTopic(const QString& account)
{
    return account.isEmpty() ? msg::replyTopic(kChannel) : msg::replyTopic(kChannel) + '/' + account;
}

MqttMessage reply(const QString& account, const QByteArray& payload, bool retain = false)
{
    return MqttMessage(0, userTopic(account), payload, 0, retain);
}

QByteArray inventory(const QUuid& identity, const QString& name = QStringLiteral("PC"))
{
    return msg::buildInventoryReply(identity, msg::Inventory{name, {}, {}, {}, {}, {}});
}

QByteArray presence(const QUuid& identity)
{
    return msg::buildLoadReply(identity, 5);
}

QByteArray sensors(const QUuid& identity)
{
    return msg::buildSensorReply(identity, SensorSnapshot{});
}

class ReplyIntakeTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (int kind : {msg::KindCurrentSensors, msg::KindProcessorLoad, msg::KindInventory})
            asked.noteAsked(kind, kNow - 1000);
    }

    ReplyIntake::Verdict take(const QString& account, const QByteArray& payload, qint64 at = kNow, bool retain = false)
    {
        return intake.take(reply(account, payload, retain), at).verdict;
    }

    AskedKinds asked;
    ReplyIntake intake{kChannel, asked, ReplyIntake::Policy{}};
};

using V = ReplyIntake::Verdict;

TEST_F(ReplyIntakeTest, EveryReasonToRefuseAMessage)
{
    QByteArray mismatched = inventory(kAgentA);
    const QByteArray key = "\"TUuid\":\"";
    mismatched.replace(key + msg::uuidText(kAgentA).toUtf8(), key + msg::uuidText(kAgentB).toUtf8());
    const struct {
        const char* name;
        MqttMessage message;
        V verdict;
    } cases[] = {
        {"a retained reply", reply("agentA", inventory(kAgentA), true), V::Retained},
        {"a request topic", MqttMessage(0, msg::requestTopic(kChannel), inventory(kAgentA)), V::NotAReplyTopic},
        {"a level below a user's topic", MqttMessage(0, userTopic("agentA") + "/x", inventory(kAgentA)),
         V::NotAReplyTopic},
        {"not JSON", reply("agentA", "garbage"), V::Malformed},
        {"a repeated key", reply("agentA", R"({"SrvCall":4,"SrvCall":4})"), V::Malformed},
        {"nested too deep", reply("agentA", QByteArray(9, '[') + QByteArray(9, ']')), V::Malformed},
        {"a kind never asked", reply("agentA", msg::buildFaultReply(msg::KindLastFaults, kAgentA, {})), V::NotAsked},
        {"no code", reply("agentA", R"({"TUuid":"x"})"), V::NotAsked},
        {"no identity", reply("agentA", R"({"SrvCall":2})"), V::NoIdentity},
        {"the broadcast identity", reply("agentA", presence(msg::broadcastUuid())), V::NoIdentity},
        {"an inventory naming two identities", reply("agentA", mismatched), V::NoIdentity},
        {"a presence reply of an unknown client", reply("agentA", presence(kAgentA)), V::UnknownIdentity},
    };
    for (const auto& c : cases)
        EXPECT_EQ(intake.take(c.message, kNow).verdict, c.verdict) << c.name;
    EXPECT_EQ(intake.ties().size(), 0);
}

TEST_F(ReplyIntakeTest, AReplyAnswersOnlyARequestOfItsKindSentBeforeItAndNotLongBefore)
{
    ReplyIntake::Taken taken = intake.take(reply("agentA", inventory(kAgentA)), kNow);
    ASSERT_EQ(taken.verdict, V::Accepted);
    // Asked first at kNow - 1000: an answer that arrived before then answers nothing.
    EXPECT_EQ(take("agentA", presence(kAgentA), kNow - 1001), V::NotAsked);
    EXPECT_EQ(take("agentA", presence(kAgentA), kNow - 1000), V::Accepted);
    // A request of the kind sent again meanwhile does not refuse an earlier answer.
    asked.noteAsked(msg::KindProcessorLoad, kNow + 5);
    EXPECT_EQ(take("agentA", presence(kAgentA), kNow), V::Accepted);
    EXPECT_EQ(take("agentA", presence(kAgentA), kNow + 5 + AskedKinds::kAnswerWindowMs), V::Accepted);
    EXPECT_EQ(take("agentA", presence(kAgentA), kNow + 6 + AskedKinds::kAnswerWindowMs), V::NotAsked);
}

TEST_F(ReplyIntakeTest, AnIdentitySpeaksOnlyThroughTheAccountThatFirstCarriedIt)
{
    ReplyIntake::Taken first = intake.take(reply("agentA", inventory(kAgentA)), kNow);
    EXPECT_EQ(first.verdict, V::Accepted);
    EXPECT_TRUE(first.tiedNow);
    EXPECT_EQ(first.account, QStringLiteral("agentA"));

    ReplyIntake::Taken again = intake.take(reply("agentA", sensors(kAgentA)), kNow);
    EXPECT_EQ(again.verdict, V::Accepted);
    EXPECT_FALSE(again.tiedNow);

    for (const QString& forger : {QStringLiteral("agentB"), QString()}) {
        for (const QByteArray& forged : {inventory(kAgentA, "FORGED"), presence(kAgentA), sensors(kAgentA)}) {
            ReplyIntake::Taken claim = intake.take(reply(forger, forged), kNow);
            EXPECT_EQ(claim.verdict, V::Claimed) << forger.toStdString();
            EXPECT_EQ(claim.tiedAccount, QStringLiteral("agentA"));
        }
    }
    // The shared topic is an account of its own: what it carried first, a user may not claim.
    EXPECT_EQ(take(QString(), inventory(kAgentB)), V::Accepted);
    EXPECT_EQ(take("agentB", presence(kAgentB)), V::Claimed);
    EXPECT_EQ(intake.count(V::Claimed), 7u);
}

TEST_F(ReplyIntakeTest, WithTheCheckOffEveryClaimIsTaken)
{
    ASSERT_EQ(take("agentA", inventory(kAgentA)), V::Accepted);
    intake.setAccountCheck(false);
    EXPECT_EQ(take("agentB", inventory(kAgentA, "FORGED")), V::Accepted);
    EXPECT_EQ(take("agentB", sensors(kAgentB)), V::Accepted);
}

TEST_F(ReplyIntakeTest, KnownClientsAreTiedByTheirNextReplyAndReleasedOnesByTheNextAfterThat)
{
    intake.ties().know(kAgentA, std::nullopt);        // a registry row from before ties were kept
    intake.ties().know(kAgentB, QStringLiteral("agentB")); // a tie kept in the registry
    ReplyIntake::Taken first = intake.take(reply("agentA", presence(kAgentA)), kNow);
    EXPECT_EQ(first.verdict, V::Accepted);
    EXPECT_TRUE(first.tiedNow);
    EXPECT_EQ(take("agentX", presence(kAgentA)), V::Claimed);
    EXPECT_EQ(take("agentA", presence(kAgentB)), V::Claimed);

    // The agent moved to another account: released, it is tied by whichever account speaks next.
    intake.ties().release(kAgentB);
    EXPECT_EQ(intake.ties().accountOf(kAgentB), std::nullopt);
    EXPECT_EQ(take("agentC", presence(kAgentB)), V::Accepted);
    EXPECT_EQ(take("agentB", presence(kAgentB)), V::Claimed);

    // Client Reset forgets them all: unknown again, a presence reply cannot bring them back.
    intake.ties().releaseAll();
    EXPECT_EQ(take("agentA", presence(kAgentA)), V::UnknownIdentity);
    EXPECT_EQ(take("agentX", inventory(kAgentA)), V::Accepted);
}

TEST_F(ReplyIntakeTest, AnAccountAddsAtMostItsShareOfNewIdentitiesAMinute)
{
    const auto flood = [&](const QString& account, int count, qint64 at) {
        int accepted = 0;
        for (int i = 0; i < count; ++i)
            accepted += take(account, inventory(QUuid::createUuid()), at) == V::Accepted ? 1 : 0;
        return accepted;
    };
    constexpr int kShare = AccountTies::kNewIdentitiesPerMinute;
    EXPECT_EQ(flood("agentB", kShare + 50, kNow), kShare);
    EXPECT_EQ(intake.count(V::OverLimit), 50u);
    EXPECT_EQ(intake.ties().overLimit(QStringLiteral("agentB")), 50u);
    // Another account has its own share; the one it had is no wider a minute later.
    EXPECT_EQ(flood("agentC", 3, kNow), 3);
    EXPECT_EQ(flood("agentB", 10, kNow + AccountTies::kMinuteMs - 1), 0);
    asked.noteAsked(msg::KindInventory, kNow + AccountTies::kMinuteMs);
    EXPECT_EQ(flood("agentB", kShare + 1, kNow + AccountTies::kMinuteMs), kShare);
    // Known identities never count: the account's own agent still answers.
    EXPECT_EQ(take("agentC", presence(kAgentA)), V::UnknownIdentity);
    // The shared topic is no account the broker holds to anything: it is not limited.
    EXPECT_EQ(flood(QString(), 3 * kShare, kNow), 3 * kShare);
}

TEST(ReplyIntakeForATool, AnyReplyIntroducesItsIdentityAndNothingIsLimited)
{
    AskedKinds asked;
    asked.noteAsked(msg::KindProcessorLoad, kNow);
    ReplyIntake intake(kChannel, asked, ReplyIntake::Policy{true, false});
    for (int i = 0; i < 2 * AccountTies::kNewIdentitiesPerMinute; ++i)
        ASSERT_EQ(intake.take(reply("agents", presence(QUuid::createUuid())), kNow).verdict, V::Accepted) << i;
    ASSERT_EQ(intake.take(reply("agentA", presence(kAgentA)), kNow).verdict, V::Accepted);
    EXPECT_EQ(intake.take(reply("agentB", presence(kAgentA)), kNow).verdict, V::Claimed);
}

TEST(PayloadLog, ALineHoldsTheFirstBytesEscapedAndEachKindComesAtMostOnceASecond)
{
    EXPECT_EQ(payloadExcerpt("{\"MSG\":\"ok\"}"), QStringLiteral("{\"MSG\":\"ok\"}"));
    EXPECT_EQ(payloadExcerpt("a\x1b[2Jb\\\xe2\x80\xae"), QStringLiteral("a\\x1b[2Jb\\x5c\\xe2\\x80\\xae"));
    const QString excerpt = payloadExcerpt(QByteArray(60000, 'x'));
    EXPECT_EQ(excerpt, QString(PayloadLog::kExcerptBytes, QLatin1Char('x')) + QStringLiteral(" ... (60000 bytes)"));

    PayloadLog log;
    const QString faults = QStringLiteral("fault history");
    EXPECT_TRUE(log.due(faults, 0));
    EXPECT_FALSE(log.due(faults, PayloadLog::kIntervalMs - 1));
    EXPECT_TRUE(log.due(QStringLiteral("another kind"), 1));
    EXPECT_TRUE(log.due(faults, PayloadLog::kIntervalMs));
}

} // namespace
