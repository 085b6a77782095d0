// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's answers: the addressing rule over every kind and the replies' exact bytes.

#include "request_handlers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

const QUuid kHost = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

struct Fixture {
    SensorSnapshot snapshot;
    std::optional<QVector<msg::FaultRecord>> faults = QVector<msg::FaultRecord>{};
    RequestSources sources()
    {
        RequestSources s;
        s.host = kHost;
        s.snapshot = [this]() -> const SensorSnapshot& { return snapshot; };
        s.processorLoad = [] { return int16_t(12); };
        s.lastFaults = [this] { return faults; };
        s.todaysFaults = [this] { return faults; };
        s.inventory = [] { return msg::Inventory{"HOST\\ann", "CPU", "OS", "Model", "Serial", {}}; };
        return s;
    }
};

int replyCode(const QByteArray& reply)
{
    return QJsonDocument::fromJson(reply).object().value("SrvCall").toInt(-1);
}

struct AddressCase {
    const char* request;
    int replyCode; // -1: no reply
};

TEST(ClientRequests, AddressingRule)
{
    const AddressCase cases[] = {
        {R"({"SrvCall":0,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", -1},
        {R"({"SrvCall":1,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", 1},
        {R"({"SrvCall":1,"TUuid":"0123456789ABCDEF0123456789ABCDEF"})", -1},
        {R"({"SrvCall":1,"TUuid":"01234567-89AB-CDEF-0123-456789ABCDEF"})", 1},
        {R"({"SrvCall":1,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})", -1},
        {R"({"SrvCall":1,"TUuid":"{11111111-89ab-cdef-0123-456789abcdef}"})", -1},
        {R"({"SrvCall":1,"TUuid":"x"})", -1},
        {R"({"SrvCall":1,"TUuid":42})", -1},
        {R"({"SrvCall":1})", -1},
        {R"({"SrvCall":2,"TUuid":"x"})", 2},
        {R"({"SrvCall":2,"TUuid":null})", 2},
        {R"({"SrvCall":2})", -1},
        {R"({"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", 3},
        {R"({"SrvCall":3,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})", -1},
        {R"({"SrvCall":4,"TUuid":"x"})", 4},
        {R"({"SrvCall":4})", -1},
        {R"({"SrvCall":5,"TUuid":"{01234567-89AB-CDEF-0123-456789ABCDEF}"})", 5},
        {R"({"SrvCall":5,"TUuid":"x"})", -1},
        {R"({"SrvCall":6,"TUuid":"x"})", -1},
        {R"({"SrvCall":65535,"TUuid":"x"})", -1},
        {R"({"SrvCall":2.5,"TUuid":"x"})", -1},
        {R"({"SrvCall":"2","TUuid":"x"})", -1},
        {R"([{"SrvCall":2,"TUuid":"x"}])", -1},
        {R"({"SrvCall":2,"TUuid":"x")", -1},
        {"", -1},
    };
    Fixture fixture;
    const RequestSources sources = fixture.sources();
    for (const AddressCase& c : cases) {
        const QByteArray reply = answerRequest(c.request, sources);
        EXPECT_EQ(reply.isEmpty() ? -1 : replyCode(reply), c.replyCode) << c.request;
    }
}

TEST(ClientRequests, ProcessorLoadReplyBytes)
{
    Fixture fixture;
    EXPECT_EQ(answerRequest(R"({"SrvCall":2,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})", fixture.sources()),
              QByteArray(R"({"CurrProc":[{"Usage":12}],"SrvCall":2,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"));
}

// An agent that reads its own topic answers every kind as one that does not, except for the one
// key its presence and inventory replies add.
TEST(ClientRequests, OwnTopicAddsOneKeyToPresenceAndInventoryOnly)
{
    const char* requests[] = {
        R"({"SrvCall":1,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
        R"({"SrvCall":2,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})",
        R"({"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
        R"({"SrvCall":4,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})",
        R"({"SrvCall":5,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
    };
    Fixture fixture;
    const RequestSources shared = fixture.sources();
    RequestSources own = fixture.sources();
    own.ownTopic = true;
    for (const char* request : requests) {
        const QByteArray plain = answerRequest(request, shared);
        QJsonObject extended = QJsonDocument::fromJson(answerRequest(request, own)).object();
        ASSERT_FALSE(plain.isEmpty()) << request;
        const int code = replyCode(plain);
        EXPECT_EQ(msg::announcesOwnTopic(extended), code == msg::KindProcessorLoad || code == msg::KindInventory)
            << request;
        EXPECT_FALSE(plain.contains("OwnTopic")) << request;
        extended.remove(QStringLiteral("OwnTopic"));
        EXPECT_EQ(QJsonDocument(extended).toJson(QJsonDocument::Compact), plain) << request;
    }
}

TEST(ClientRequests, SensorReplyCarriesTheSnapshot)
{
    Fixture fixture;
    fixture.snapshot.CpuTemp = -5;
    fixture.snapshot.Vcore_Hi = 5000;
    fixture.snapshot.CBCPUFan = 1;
    const QByteArray reply =
        answerRequest(R"({"SrvCall":1,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", fixture.sources());
    const QJsonObject sensors = QJsonDocument::fromJson(reply).object().value("CurrSensor").toArray().at(0).toObject();
    EXPECT_EQ(sensors.size(), 36);
    EXPECT_EQ(sensors.value("SenCPUTemp").toInt(), -5);
    EXPECT_EQ(sensors.value("SenSetGapVcoreHi").toInt(), 5000);
    EXPECT_EQ(sensors.value("SenSetEnFan1"), QJsonValue(true));
    EXPECT_EQ(sensors.value("SenSetEnN5V"), QJsonValue(false));
}

TEST(ClientRequests, FaultEntryBytes)
{
    Fixture fixture;
    fixture.faults = QVector<msg::FaultRecord>{{0, 3712, 1709593440}};
    const QByteArray reply =
        answerRequest(R"({"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", fixture.sources());
    EXPECT_TRUE(reply.contains(R"({"DT":"1709593440","MSG":"Vcore = 3.712 V","TYPE":0})")) << reply.constData();
}

TEST(ClientRequests, FaultRepliesAreSentEvenWhenEmptyOrFailed)
{
    Fixture fixture;
    using Records = std::optional<QVector<msg::FaultRecord>>;
    for (const Records& records : {Records(QVector<msg::FaultRecord>{}), Records()}) {
        fixture.faults = records;
        for (const char* request : {R"({"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})",
                                    R"({"SrvCall":5,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"}) {
            const QJsonObject reply = QJsonDocument::fromJson(answerRequest(request, fixture.sources())).object();
            EXPECT_TRUE(reply.value("Err50").isArray()) << request;
            EXPECT_TRUE(reply.value("Err50").toArray().isEmpty()) << request;
        }
    }
}

TEST(ClientRequests, FaultTextsByType)
{
    Fixture fixture;
    fixture.faults = QVector<msg::FaultRecord>{{8, 75, 1709593440}, {6, 4512, 1709593440}, {12, 255, 1709593440}};
    const QJsonArray entries =
        QJsonDocument::fromJson(
            answerRequest(R"({"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})", fixture.sources()))
            .object()
            .value("Err50")
            .toArray();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].toObject().value("MSG").toString(), "Processor Temperature = 75 'C");
    EXPECT_EQ(entries[1].toObject().value("MSG").toString(), "- 5V = 4.512 V");
    EXPECT_EQ(entries[2].toObject().value("MSG").toString(), "TypeID = 0xc, Data = 0xff");
}

} // namespace
