// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Kind 16: the request's shape, every way a request is dropped, and the reply read back.

#include "history_messages.h"
#include "messages.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

const QUuid kHost = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

QJsonObject objectOf(const QByteArray& text)
{
    const std::optional<msg::Envelope> envelope = msg::parseMessage(text);
    EXPECT_TRUE(envelope) << text.toStdString();
    return envelope ? envelope->object : QJsonObject();
}

TEST(HistoryMessages, RequestCarriesTheQuery)
{
    const QByteArray request = msg::buildHistoryRequest(kHost, {8, 1709593440, 1709679840, 500});
    EXPECT_EQ(R"({"From":1709593440,"Points":500,"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}",)"
              R"("To":1709679840,"Type":8})",
              request.toStdString());
    const std::optional<HistoryQuery> query = msg::parseHistoryRequest(objectOf(request));
    ASSERT_TRUE(query);
    EXPECT_EQ(8, query->type);
    EXPECT_EQ(1709593440, query->from);
    EXPECT_EQ(1709679840, query->to);
    EXPECT_EQ(500, query->points);
}

TEST(HistoryMessages, MalformedRequestsAreDropped)
{
    const char* const dropped[] = {
        R"({"From":0,"To":3600,"Points":10})",                   // no type
        R"({"Type":8,"To":3600,"Points":10})",                   // no From
        R"({"Type":8,"From":0,"Points":10})",                    // no To
        R"({"Type":8,"From":0,"To":3600})",                      // no Points
        R"({"Type":"8","From":0,"To":3600,"Points":10})",        // text
        R"({"Type":8,"From":0.5,"To":3600,"Points":10})",        // fraction
        R"({"Type":8,"From":0,"To":3600,"Points":true})",        // boolean
        R"({"Type":8,"From":0,"To":null,"Points":10})",          // null
        R"({"Type":8,"From":[0],"To":3600,"Points":10})",        // array
        R"({"Type":8,"From":1e300,"To":1e301,"Points":10})",     // beyond whole numbers
        R"({"Type":8,"From":3600,"To":3600,"Points":10})",       // From = To
        R"({"Type":8,"From":3601,"To":3600,"Points":10})",       // From > To
        R"({"Type":8,"From":0,"To":5270401,"Points":10})",       // 61 days and a second
        R"({"Type":8,"From":0,"To":3600,"Points":0})",           // no bucket
        R"({"Type":8,"From":0,"To":3600,"Points":501})",         // too many
        R"({"Type":8,"From":0,"To":3600,"Points":-1})",
        R"({"Type":4294967304,"From":0,"To":3600,"Points":10})", // type beyond int
    };
    for (const char* text : dropped)
        EXPECT_FALSE(msg::parseHistoryRequest(objectOf(text))) << text;

    const char* const kept[] = {
        R"({"Type":8,"From":0,"To":5270400,"Points":500})", // 61 days exactly
        R"({"Type":8,"From":-60,"To":0,"Points":1})",
        R"({"Type":8,"From":0,"To":1,"Points":1,"Other":"ignored"})",
    };
    for (const char* text : kept)
        EXPECT_TRUE(msg::parseHistoryRequest(objectOf(text))) << text;
}

TEST(HistoryMessages, ReplyHasTheFormatAndReadsBack)
{
    HistorySeries series{8, 173, {{1709593440, 41, 45, 52}, {1709593786, -3, 0, 2}}};
    const QByteArray reply = msg::buildHistoryReply(kHost, series);
    EXPECT_EQ(R"({"History":[{"Points":[[1709593440,41,45,52],[1709593786,-3,0,2]],"Step":173,"Type":8}],)"
              R"("SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
              reply.toStdString());
    const std::optional<HistorySeries> read = msg::parseHistoryReply(objectOf(reply));
    ASSERT_TRUE(read);
    EXPECT_EQ(8, read->type);
    EXPECT_EQ(173, read->step);
    ASSERT_EQ(2u, read->buckets.size());
    EXPECT_EQ(1709593786, read->buckets[1].start);
    EXPECT_EQ(-3, read->buckets[1].min);
    EXPECT_EQ(2, read->buckets[1].max);
}

TEST(HistoryMessages, WidestReplyStaysUnderThePayloadCap)
{
    HistorySeries series{2147483647, 10368, {}};
    for (int i = 0; i < kHistoryMaxPoints; ++i)
        series.buckets.push_back({-9007199254740991LL + i, -2147483647 - 1, -2147483647 - 1, -2147483647 - 1});
    const QByteArray reply = msg::buildHistoryReply(kHost, series);
    EXPECT_LT(reply.size(), msg::kMaxPayloadBytes);
    const std::optional<HistorySeries> read = msg::parseHistoryReply(objectOf(reply));
    ASSERT_TRUE(read);
    EXPECT_EQ(size_t(kHistoryMaxPoints), read->buckets.size());
}

TEST(HistoryMessages, HostileRepliesKeepOnlyWellFormedPointsInOrder)
{
    EXPECT_FALSE(msg::parseHistoryReply(objectOf(R"({"SrvCall":16})")));
    EXPECT_FALSE(msg::parseHistoryReply(objectOf(R"({"History":[]})")));
    EXPECT_FALSE(msg::parseHistoryReply(objectOf(R"({"History":[7]})")));
    const std::optional<HistorySeries> read = msg::parseHistoryReply(objectOf(
        R"({"History":[{"Type":"x","Step":-5,"Points":[[100,1,2,3],[90,1,1,1],[100,9,9,9],[110,1,2],)"
        R"([120,1,2,"3"],[130,1.5,2,3],"x",[140,4,5,6,7],[150,7,8,9]]}]})"));
    ASSERT_TRUE(read);
    EXPECT_EQ(0, read->type);
    EXPECT_EQ(0, read->step);
    ASSERT_EQ(2u, read->buckets.size());
    EXPECT_EQ(100, read->buckets[0].start);
    EXPECT_EQ(150, read->buckets[1].start);
}

} // namespace
