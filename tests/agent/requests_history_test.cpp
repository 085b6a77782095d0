// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Kind 16 at the agent: addressed like kind 1, malformed requests dropped, the store's answer
// sent as it is, and no answer when the store cannot give one.

#include "history_messages.h"
#include "request_handlers.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

const QUuid kHost = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

struct Fixture {
    std::optional<HistorySeries> stored = HistorySeries{8, 36, {{1000, 40, 42, 45}}};
    std::vector<HistoryQuery> asked;
    RequestSources sources()
    {
        RequestSources s;
        s.host = kHost;
        s.history = [this](const HistoryQuery& q) {
            asked.push_back(q);
            return stored;
        };
        return s;
    }
};

TEST(ClientHistoryRequests, OnlyTheAddressedAgentAnswersAWellFormedRequest)
{
    struct Case {
        const char* request;
        bool answered;
    };
    const Case cases[] = {
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","Type":8,"From":1000,"To":4600,"Points":100})", true},
        {R"({"SrvCall":16,"TUuid":"01234567-89AB-CDEF-0123-456789ABCDEF","Type":8,"From":1000,"To":4600,"Points":100})", true},
        {R"({"SrvCall":16,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}","Type":8,"From":1000,"To":4600,"Points":100})", false},
        {R"({"SrvCall":16,"TUuid":"{11111111-89ab-cdef-0123-456789abcdef}","Type":8,"From":1000,"To":4600,"Points":100})", false},
        {R"({"SrvCall":16,"Type":8,"From":1000,"To":4600,"Points":100})", false},
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","From":1000,"To":4600,"Points":100})", false},
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","Type":8,"From":4600,"To":1000,"Points":100})", false},
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","Type":8,"From":1000,"To":4600,"Points":501})", false},
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","Type":8,"From":0,"To":5270401,"Points":5})", false},
        {R"({"SrvCall":16,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}","Type":8,"From":"1000","To":4600,"Points":5})", false},
    };
    for (const Case& c : cases) {
        Fixture fixture;
        const QByteArray reply = answerRequest(c.request, fixture.sources());
        EXPECT_EQ(c.answered, !reply.isEmpty()) << c.request;
        // A dropped request never reaches the database.
        EXPECT_EQ(c.answered ? 1u : 0u, fixture.asked.size()) << c.request;
    }
}

TEST(ClientHistoryRequests, ReplyCarriesTheStoredBuckets)
{
    Fixture fixture;
    const QByteArray reply = answerRequest(
        msg::buildHistoryRequest(kHost, {8, 1000, 4600, 100}), fixture.sources());
    EXPECT_EQ(R"({"History":[{"Points":[[1000,40,42,45]],"Step":36,"Type":8}],"SrvCall":16,)"
              R"("TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
              reply.toStdString());
    ASSERT_EQ(1u, fixture.asked.size());
    EXPECT_EQ(8, fixture.asked[0].type);
    EXPECT_EQ(1000, fixture.asked[0].from);
    EXPECT_EQ(4600, fixture.asked[0].to);
    EXPECT_EQ(100, fixture.asked[0].points);
}

// A history that could not be read is not sent as one without readings.
TEST(ClientHistoryRequests, FailedQueryGetsNoAnswer)
{
    Fixture fixture;
    fixture.stored = std::nullopt;
    EXPECT_TRUE(answerRequest(msg::buildHistoryRequest(kHost, {8, 1000, 4600, 100}), fixture.sources()).isEmpty());
}

} // namespace
