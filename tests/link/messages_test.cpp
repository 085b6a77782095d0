// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "messages.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

const QUuid kClient = QUuid::fromString(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

QJsonObject objectOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

TEST(MessageExamples, BroadcastLoadRequestAndItsReply)
{
    EXPECT_EQ(msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()),
              QByteArray(R"({"SrvCall":2,"TUuid":"{ffffffff-ffff-ffff-ffff-ffffffffffff}"})"));
    EXPECT_EQ(msg::buildLoadReply(kClient, 12),
              QByteArray(R"({"CurrProc":[{"Usage":12}],"SrvCall":2,)"
                         R"("TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"));
}

TEST(MessageExamples, FaultEntryOfALocalTimeInUtcPlus8)
{
    const QDateTime logged(QDate(2024, 3, 5), QTime(7, 4, 0), QTimeZone(8 * 3600));
    const QJsonObject fault = msg::faultObject({SensorVcore, 3712, logged.toSecsSinceEpoch()});
    EXPECT_EQ(QJsonDocument(fault).toJson(QJsonDocument::Compact),
              QByteArray(R"({"DT":"1709593440","MSG":"Vcore = 3.712 V","TYPE":0})"));
}

TEST(MessageTopics, ChannelTakesTheSuffixWithoutSeparator)
{
    EXPECT_EQ(msg::requestTopic(QStringLiteral("VARDEN6")), QStringLiteral("VARDEN6H2C"));
    EXPECT_EQ(msg::replyTopic(QStringLiteral("VARDEN6")), QStringLiteral("VARDEN6C2H"));
    EXPECT_EQ(msg::requestTopic(QString()), QStringLiteral("H2C"));
    EXPECT_EQ(msg::replyTopic(QString()), QStringLiteral("C2H"));
}

TEST(MessageTopics, AnAgentsOwnRequestTopicCarriesItsIdentityAsOneLevel)
{
    EXPECT_EQ(msg::agentRequestTopic(QStringLiteral("VARDEN6"), kClient),
              QStringLiteral("VARDEN6H2C/{01234567-89ab-cdef-0123-456789abcdef}"));
    EXPECT_EQ(msg::anyUserReplyTopic(QStringLiteral("VARDEN6")), QStringLiteral("VARDEN6C2H/+"));
}

struct UserTopicCase {
    const char* name;
    QString user;
    const char* replyTopic;
    const char* notice; // the line told on standard error; "" none
};

TEST(MessageTopics, RepliesGoOnTheUsersTopicWhenTheNameIsOneTopicLevel)
{
    const QString longest(256, QLatin1Char('u'));
    const UserTopicCase cases[] = {
        {"no user", QString(), "VARDEN6C2H", ""},
        {"plain", QStringLiteral("agents"), "VARDEN6C2H/agents", ""},
        {"dots, spaces, braces", QStringLiteral("site 1.{a}"), "VARDEN6C2H/site 1.{a}", ""},
        {"256 bytes", longest, nullptr, ""},
        {"257 bytes", longest + QLatin1Char('u'), "VARDEN6C2H", "USER is longer than 256 bytes"},
        {"two-byte characters over 256 bytes", QString(129, QChar(0xe9)), "VARDEN6C2H",
         "USER is longer than 256 bytes"},
        {"level separator", QStringLiteral("a/b"), "VARDEN6C2H", "USER contains '/'"},
        {"one-level wildcard", QStringLiteral("a+"), "VARDEN6C2H", "USER contains '+'"},
        {"many-level wildcard", QStringLiteral("#"), "VARDEN6C2H", "USER contains '#'"},
        {"NUL", QString::fromUtf8("a\0b", 3), "VARDEN6C2H", "USER contains a control character"},
        {"escape", QStringLiteral("a\x1b[31m"), "VARDEN6C2H", "USER contains a control character"},
        {"C1 control", QString(QChar(0x85)), "VARDEN6C2H", "USER contains a control character"},
    };
    const QString channel = QStringLiteral("VARDEN6");
    for (const UserTopicCase& c : cases) {
        const QString expected =
            c.replyTopic ? QString::fromUtf8(c.replyTopic) : msg::replyTopic(channel) + '/' + c.user;
        EXPECT_EQ(msg::agentReplyTopic(channel, c.user), expected) << c.name;
        const QString notice = msg::userTopicNotice(channel, c.user);
        if (*c.notice == '\0') {
            EXPECT_TRUE(notice.isEmpty()) << c.name << ": " << notice.toStdString();
            continue;
        }
        EXPECT_EQ(notice, QString::fromUtf8(c.notice) + " and cannot be one topic level: replies go on VARDEN6C2H")
            << c.name;
    }
}

TEST(MessageOwnTopic, PresenceAndInventoryRepliesCarryOneKeyMoreAndNothingElseChanges)
{
    const msg::Inventory inventory{"PLANT\\WS-1", "CPU", "OS", "Model", "SN", {}};
    EXPECT_EQ(msg::buildLoadReply(kClient, 12, true),
              QByteArray(R"({"CurrProc":[{"Usage":12}],"OwnTopic":1,"SrvCall":2,)"
                         R"("TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"));
    QJsonObject withKey = objectOf(msg::buildInventoryReply(kClient, inventory, true));
    EXPECT_TRUE(msg::announcesOwnTopic(withKey));
    withKey.remove(QStringLiteral("OwnTopic"));
    EXPECT_EQ(QJsonDocument(withKey).toJson(QJsonDocument::Compact), msg::buildInventoryReply(kClient, inventory));
    EXPECT_FALSE(msg::announcesOwnTopic(objectOf(msg::buildLoadReply(kClient, 12))));
}

TEST(MessageOwnTopic, OnlyTheNumberOneAnnouncesIt)
{
    const QJsonValue values[] = {QJsonValue(1), QJsonValue(1.0)};
    for (const QJsonValue& value : values)
        EXPECT_TRUE(msg::announcesOwnTopic({{"OwnTopic", value}}));
    const QJsonValue others[] = {QJsonValue(0), QJsonValue(2), QJsonValue(true), QJsonValue("1"), QJsonValue(1.5),
                                 QJsonValue(QJsonArray{1}), QJsonValue()};
    for (const QJsonValue& value : others)
        EXPECT_FALSE(msg::announcesOwnTopic({{"OwnTopic", value}})) << QJsonDocument(QJsonArray{value}).toJson().data();
}

struct UuidCase {
    const char* text;
    bool parses; // otherwise the null UUID
};

TEST(MessageUuid, ParsesTheWireFormInEitherCaseWithOrWithoutBraces)
{
    const UuidCase cases[] = {
        {"{01234567-89ab-cdef-0123-456789abcdef}", true},
        {"{01234567-89AB-CDEF-0123-456789ABCDEF}", true},
        {"01234567-89ab-cdef-0123-456789abcdef", true},
        {"01234567-89AB-cdef-0123-456789ABCDEF", true},
        {"", false},
        {"x", false},
        {"{01234567-89ab-cdef-0123-456789abcdef", false},
        {"01234567-89ab-cdef-0123-456789abcdef}", false},
        {"{01234567-89ab-cdef-0123-456789abcdef}x", false},
        {" {01234567-89ab-cdef-0123-456789abcdef}", false},
        {"01234567-89ab-cdef-0123-456789abcdeg", false},
        {"0123456789abcdef0123456789abcdef", false},
        {"{01234567_89ab_cdef_0123_456789abcdef}", false},
    };
    for (const UuidCase& c : cases) {
        const QUuid parsed = msg::parseUuid(QString::fromLatin1(c.text));
        EXPECT_EQ(parsed, c.parses ? kClient : QUuid()) << c.text;
    }
}

TEST(MessageUuid, NonStringValuesAreTheNullUuid)
{
    for (const QJsonValue& value : {QJsonValue(12), QJsonValue(true), QJsonValue(QJsonArray{}), QJsonValue()})
        EXPECT_TRUE(msg::parseUuid(value).isNull());
}

TEST(MessageUuid, WrittenBracedInLowerCase)
{
    EXPECT_EQ(msg::uuidText(msg::broadcastUuid()), QStringLiteral("{ffffffff-ffff-ffff-ffff-ffffffffffff}"));
    EXPECT_EQ(msg::parseUuid(QStringLiteral("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}")), msg::broadcastUuid());
    EXPECT_EQ(msg::uuidText(QUuid()), QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
}

TEST(MessageAddress, AbsentKeyDiffersFromAnUnparsableValue)
{
    EXPECT_FALSE(msg::addressOf(objectOf(R"({"SrvCall":1})")).has_value());
    EXPECT_EQ(msg::addressOf(objectOf(R"({"SrvCall":4,"TUuid":"x"})")), QUuid());
    EXPECT_EQ(msg::addressOf(objectOf(R"({"TUuid":null})")), QUuid());
    EXPECT_EQ(msg::addressOf(objectOf(R"({"TUuid":"01234567-89AB-CDEF-0123-456789ABCDEF"})")), kClient);
}

struct ParseCase {
    const char* name;
    QByteArray payload;
    bool accepted;
    int code;
};

QByteArray paddedObject(int size)
{
    // {"SrvCall":1,"pad":"xxx..."} of exactly size bytes
    const QByteArray head = R"({"SrvCall":1,"pad":")";
    const QByteArray tail = R"("})";
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}

TEST(MessageParser, HostilePayloads)
{
    const ParseCase cases[] = {
        {"empty", "", false, 0},
        {"not json", "SrvCall=1", false, 0},
        {"truncated", R"({"SrvCall":1,"TUuid":")", false, 0},
        {"trailing garbage", R"({"SrvCall":1}x)", false, 0},
        {"array", R"([{"SrvCall":1}])", false, 0},
        {"string", R"("SrvCall")", false, 0},
        {"number", "1", false, 0},
        {"null", "null", false, 0},
        {"deep nesting", QByteArray(60000, '['), false, 0},
        // The deepest message, a history reply, has five levels; eight pass, nine do not.
        {"nesting at the limit", R"({"SrvCall":16,"a":[[[[[[[1]]]]]]]})", true, 16},
        {"one level deeper", R"({"SrvCall":16,"a":[[[[[[[[1]]]]]]]]})", false, 0},
        {"brackets inside a string do not count", "{\"SrvCall\":4,\"Comp\":\"" + QByteArray(100, '[') + "\"}",
         true, 4},
        {"an escaped quote does not end the string", R"({"SrvCall":4,"Comp":"a\"[[[[[[[[[[[[\""})", true, 4},
        {"nul bytes", QByteArray("{\"SrvCall\":1}\0\0", 15), false, 0},
        {"larger than 64 KiB", paddedObject(msg::kMaxPayloadBytes + 1), false, 0},
        {"exactly 64 KiB", paddedObject(msg::kMaxPayloadBytes), true, 1},
        {"no code", R"({"TUuid":"x"})", true, 0},
        {"fractional code", R"({"SrvCall":1.5})", true, 0},
        {"string code", R"({"SrvCall":"1"})", true, 0},
        {"boolean code", R"({"SrvCall":true})", true, 0},
        {"object code", R"({"SrvCall":{"a":1}})", true, 0},
        {"huge code", R"({"SrvCall":1e300})", true, 0},
        {"code beyond int", R"({"SrvCall":4294967297})", true, 0},
        {"negative code", R"({"SrvCall":-3})", true, -3},
        {"whole double", R"({"SrvCall":3.0})", true, 3},
        {"unknown code", R"({"SrvCall":65535})", true, 65535},
        {"plain request", R"({"SrvCall":4,"TUuid":"x","extra":[1,2]})", true, 4},
        // A repeated key is dropped unread: Qt's reader loses the memory of the value it replaces.
        {"repeated key", R"({"SrvCall":2,"TUuid":"x","a":{"b":"c"},"a":{"b":"c"}})", false, 0},
        {"repeated code", R"({"SrvCall":2,"SrvCall":3})", false, 0},
        {"repeated key spelled with an escape", R"({"SrvCall":2,"\u0053rvCall":2})", false, 0},
        {"repeated key spelled with a line-break escape", R"({"SrvCall":2,"a\nb":1,"a\u000ab":2})", false, 0},
        {"escaped line break differs from the letter n", R"({"SrvCall":2,"a\nb":1,"anb":2})", true, 2},
        {"repeated key in a nested object", R"({"SrvCall":4,"CurrDMI":[{"Comp":"a","Comp":"b"}]})", false, 0},
        {"equal keys in sibling objects", R"({"SrvCall":3,"Err50":[{"DT":"1","MSG":"a"},{"DT":"2","MSG":"b"}]})",
         true, 3},
        {"key after a nested object", R"({"a":{"k":1},"k":2,"SrvCall":5})", true, 5},
        {"value equal to a key", R"({"SrvCall":2,"TUuid":"SrvCall","x":"TUuid"})", true, 2},
        {"quotes and braces inside strings", R"({"SrvCall":2,"a":"\"}{\"a\":","b\"":1,"b":2})", true, 2},
    };
    for (const ParseCase& c : cases) {
        const std::optional<msg::Envelope> parsed = msg::parseMessage(c.payload);
        EXPECT_EQ(parsed.has_value(), c.accepted) << c.name;
        if (parsed) {
            EXPECT_EQ(parsed->code, c.code) << c.name;
        }
    }
}

// Every field distinct, so a key bound to the wrong field shows.
SensorSnapshot distinctSnapshot()
{
    SensorSnapshot s;
    s.Vcore = 1201, s.Vio = 3302, s.P5V = 5003, s.P12V = 12004, s.N5V = 4905, s.N12V = -12006;
    s.Fan1 = 2107, s.Fan2 = 1808, s.CpuTemp = 49, s.SysTemp = -10;
    s.CBVcore = 1, s.CBVio = 0, s.CB5V = 1, s.CB12V = 0, s.CBN5V = 1;
    s.CBN12V = 0, s.CBCPUFan = 1, s.CBSYSFan = 0, s.CBCPUTemp = 0, s.CBSYSTemp = 1;
    s.Vcore_Hi = 1500, s.Vcore_Lo = 900, s.Vio_Hi = 3500, s.Vio_Lo = 3100;
    s.P5V_Hi = 5401, s.P5V_Lo = 4601, s.P12V_Hi = 13501, s.P12V_Lo = 10501;
    s.N5V_Hi = 5402, s.N5V_Lo = 4602, s.N12V_Hi = 13502, s.N12V_Lo = -10502;
    s.FAN1_Lo = 1001, s.FAN2_Lo = 1002, s.CPUTemp_Hi = 71, s.SYSTemp_Hi = 72;
    return s;
}

TEST(MessageSensors, ReplyCarriesEveryFieldUnderItsKey)
{
    const QByteArray expected =
        R"({"CurrSensor":[{"SenCPUTemp":49,"SenFan1":2107,"SenFan2":1808,"SenN12V":-12006,"SenN5V":4905,)"
        R"("SenP12V":12004,"SenP5V":5003,"SenSYSTemp":-10,"SenSetEnCPUTemp":false,"SenSetEnFan1":true,)"
        R"("SenSetEnFan2":false,"SenSetEnN12V":false,"SenSetEnN5V":true,"SenSetEnP12V":false,)"
        R"("SenSetEnP5V":true,"SenSetEnSYSTemp":true,"SenSetEnVcore":true,"SenSetEnVio":false,)"
        R"("SenSetGapCPUTemp":71,"SenSetGapFan1":1001,"SenSetGapFan2":1002,"SenSetGapN12VHi":13502,)"
        R"("SenSetGapN12VLo":-10502,"SenSetGapN5VHi":5402,"SenSetGapN5VLo":4602,"SenSetGapP12VHi":13501,)"
        R"("SenSetGapP12VLo":10501,"SenSetGapP5VHi":5401,"SenSetGapP5VLo":4601,"SenSetGapSYSTemp":72,)"
        R"("SenSetGapVcoreHi":1500,"SenSetGapVcoreLo":900,"SenSetGapVioHi":3500,"SenSetGapVioLo":3100,)"
        R"("SenVcore":1201,"SenVio":3302}],"SrvCall":1,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})";
    const QByteArray built = msg::buildSensorReply(kClient, distinctSnapshot());
    EXPECT_EQ(built, expected);
    EXPECT_EQ(objectOf(built).value("CurrSensor").toArray().at(0).toObject().size(), 36);
}

TEST(MessageSensors, ParsedReplyGivesFiguresByTypeCode)
{
    const SensorSnapshot s = distinctSnapshot();
    const msg::SensorReport report = msg::parseSensorReply(objectOf(msg::buildSensorReply(kClient, s)));
    const msg::SensorFigures& n12v = report.byType[SensorN12V];
    EXPECT_EQ(n12v.reading, -12006);
    EXPECT_FALSE(n12v.enabled);
    EXPECT_EQ(n12v.high, 13502);
    EXPECT_EQ(n12v.low, -10502);
    const msg::SensorFigures& fan1 = report.byType[SensorCpuFan];
    EXPECT_EQ(fan1.reading, 2107);
    EXPECT_TRUE(fan1.enabled);
    EXPECT_EQ(fan1.low, 1001);
    EXPECT_EQ(fan1.high, 0);
    const msg::SensorFigures& cpuTemp = report.byType[SensorCpuTemp];
    EXPECT_EQ(cpuTemp.reading, 49);
    EXPECT_EQ(cpuTemp.high, 71);
    EXPECT_EQ(cpuTemp.low, 0);
}

TEST(MessageSensors, MissingOrMistypedValuesReadAsZeroAndFalse)
{
    const char* replies[] = {
        R"({"SrvCall":1})",
        R"({"CurrSensor":{}})",
        R"({"CurrSensor":[]})",
        R"({"CurrSensor":[7]})",
        R"({"CurrSensor":[{"SenVcore":"1200","SenSetEnVcore":1,"SenSetGapVcoreHi":1.5,"SenFan1":null}]})",
    };
    for (const char* text : replies) {
        const msg::SensorReport report = msg::parseSensorReply(objectOf(text));
        for (const msg::SensorFigures& figures : report.byType) {
            EXPECT_EQ(figures.reading, 0) << text;
            EXPECT_FALSE(figures.enabled) << text;
            EXPECT_EQ(figures.high, 0) << text;
            EXPECT_EQ(figures.low, 0) << text;
        }
    }
}

TEST(MessageLoad, UsageReadsZeroWhenMissingOrMistyped)
{
    EXPECT_EQ(msg::parseLoadReply(objectOf(msg::buildLoadReply(kClient, 100))), 100);
    EXPECT_EQ(msg::parseLoadReply(objectOf(R"({"CurrProc":[{"Usage":"12"}]})")), 0);
    EXPECT_EQ(msg::parseLoadReply(objectOf(R"({"CurrProc":{"Usage":12}})")), 0);
    EXPECT_EQ(msg::parseLoadReply(objectOf(R"({"SrvCall":2})")), 0);
}

TEST(MessageFaults, TextsOfTheLoggedValue)
{
    const struct {
        int type;
        int data;
        const char* text;
    } cases[] = {
        {SensorCpuTemp, 75, "Processor Temperature = 75 'C"},
        {SensorN5V, 4512, "- 5V = 4.512 V"},
        {SensorSysFan, 640, "System Fan = 640 RPM"},
        {42, 7, "TypeID = 0x2a, Data = 0x7"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(msg::faultObject({c.type, c.data, 0}).value("MSG").toString(), QLatin1String(c.text));
}

TEST(MessageFaults, ReplyListsAtMostFiftyInGivenOrderAndReadsBack)
{
    QVector<msg::FaultRecord> records;
    for (int i = 0; i < 60; ++i)
        records.append({SensorCpuTemp, 80 + i, 1709593440 - i});
    const QJsonObject reply = objectOf(msg::buildFaultReply(msg::KindTodaysFaults, kClient, records));
    EXPECT_EQ(reply.value("SrvCall").toInt(), 5);
    EXPECT_EQ(reply.value("TUuid").toString(), msg::uuidText(kClient));

    const QVector<msg::FaultEntry> entries = msg::parseFaultReply(reply);
    ASSERT_EQ(entries.size(), msg::kMaxFaultEntries);
    EXPECT_EQ(entries.first().type, SensorCpuTemp);
    EXPECT_EQ(entries.first().text, QStringLiteral("Processor Temperature = 80 'C"));
    EXPECT_EQ(entries.first().utcSeconds, 1709593440u);
    EXPECT_EQ(entries.last().utcSeconds, 1709593440u - 49);
}

TEST(MessageFaults, EmptyListIsStillAReply)
{
    EXPECT_EQ(msg::buildFaultReply(msg::KindLastFaults, kClient, {}),
              QByteArray(R"({"Err50":[],"SrvCall":3,"TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"));
}

TEST(MessageFaults, HostileEntriesReadAsDefaults)
{
    const QVector<msg::FaultEntry> entries = msg::parseFaultReply(objectOf(
        R"({"Err50":[5,{"DT":"abc","MSG":3,"TYPE":"8"},{"DT":1709593440},{"DT":"-5"},{"DT":"17x"}]})"));
    ASSERT_EQ(entries.size(), 5);
    for (const msg::FaultEntry& entry : entries) {
        EXPECT_EQ(entry.type, 0);
        EXPECT_TRUE(entry.text.isEmpty());
        EXPECT_EQ(entry.utcSeconds, 0u);
    }
    EXPECT_TRUE(msg::parseFaultReply(objectOf(R"({"Err50":{"DT":"1"}})")).isEmpty());
    EXPECT_TRUE(msg::parseFaultReply(objectOf(R"({"SrvCall":3})")).isEmpty());
}

TEST(MessageInventory, RoundTripWithTheHostIdentityAsUuid)
{
    msg::Inventory inventory;
    inventory.comp = QStringLiteral("OFFICE\\anna");
    inventory.cpu = QStringLiteral("Processor 3.2 GHz");
    inventory.os = QStringLiteral("Windows 10 Pro");
    inventory.sysModel = QStringLiteral("Model X");
    inventory.sysSerial = QStringLiteral("SN-42");
    inventory.uuid = QStringLiteral("ignored");
    const QByteArray payload = msg::buildInventoryReply(kClient, inventory);
    EXPECT_EQ(payload,
              QByteArray(R"({"CurrDMI":[{"Comp":"OFFICE\\anna","Cpu":"Processor 3.2 GHz","OS":"Windows 10 Pro",)"
                         R"("SysModel":"Model X","SysSerial":"SN-42",)"
                         R"("Uuid":"{01234567-89ab-cdef-0123-456789abcdef}"}],"SrvCall":4,)"
                         R"("TUuid":"{01234567-89ab-cdef-0123-456789abcdef}"})"));

    const msg::Inventory read = msg::parseInventoryReply(objectOf(payload));
    EXPECT_EQ(read.comp, inventory.comp);
    EXPECT_EQ(read.sysSerial, inventory.sysSerial);
    EXPECT_EQ(read.uuid, msg::uuidText(kClient));
}

TEST(MessageTopics, AReplyTopicNamesTheAccountItSpeaksFor)
{
    const QString channel = QStringLiteral("VARDEN6");
    const struct {
        const char* name;
        QString topic;
        std::optional<QString> account;
    } cases[] = {
        {"shared topic: no account", QStringLiteral("VARDEN6C2H"), QString()},
        {"per-user topic", QStringLiteral("VARDEN6C2H/agentA"), QStringLiteral("agentA")},
        {"the longest user name", QStringLiteral("VARDEN6C2H/") + QString(256, QLatin1Char('u')),
         QString(256, QLatin1Char('u'))},
        {"a name no agent could reply under", QStringLiteral("VARDEN6C2H/") + QString(257, QLatin1Char('u')),
         std::nullopt},
        {"a level more", QStringLiteral("VARDEN6C2H/a/b"), std::nullopt},
        {"empty user level", QStringLiteral("VARDEN6C2H/"), std::nullopt},
        {"request topic", QStringLiteral("VARDEN6H2C"), std::nullopt},
        {"another channel", QStringLiteral("OTHERC2H/agentA"), std::nullopt},
        {"a prefix of the reply topic", QStringLiteral("VARDEN6C2Hx"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(msg::replyAccount(channel, c.topic), c.account) << c.name;
}

TEST(MessageRemoteText, TextsAreCutToTheirLimitWithoutSplittingACharacter)
{
    const QString limit(msg::kMaxRemoteTextChars, QLatin1Char('x'));
    const QString pair = QString::fromUtf8("\xf0\x9f\x98\x80"); // one character, two UTF-16 units
    const struct {
        const char* name;
        QJsonValue sent;
        QString read;
    } cases[] = {
        {"short", QStringLiteral("PC"), QStringLiteral("PC")},
        {"at the limit", limit, limit},
        {"60 KB", QString(60000, QLatin1Char('x')), limit},
        {"a pair across the limit", limit.left(msg::kMaxRemoteTextChars - 1) + pair,
         limit.left(msg::kMaxRemoteTextChars - 1)},
        {"a pair just inside", limit.left(msg::kMaxRemoteTextChars - 2) + pair + QStringLiteral("yy"),
         limit.left(msg::kMaxRemoteTextChars - 2) + pair},
        {"not a string", 5, QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(msg::remoteText(c.sent), c.read) << c.name;
        const QJsonObject inventory{{"CurrDMI", QJsonArray{QJsonObject{{"Comp", c.sent}, {"OS", c.sent}}}}};
        EXPECT_EQ(msg::parseInventoryReply(inventory).comp, c.read) << c.name;
        EXPECT_EQ(msg::parseInventoryReply(inventory).os, c.read) << c.name;
        const QJsonObject faults{{"Err50", QJsonArray{QJsonObject{{"MSG", c.sent}}}}};
        EXPECT_EQ(msg::parseFaultReply(faults).first().text, c.read) << c.name;
    }
}

TEST(MessageInventory, MissingOrMistypedKeysReadAsEmpty)
{
    const msg::Inventory read = msg::parseInventoryReply(objectOf(R"({"CurrDMI":[{"Comp":5,"OS":null}]})"));
    EXPECT_TRUE(read.comp.isEmpty());
    EXPECT_TRUE(read.os.isEmpty());
    EXPECT_TRUE(read.cpu.isEmpty());
    EXPECT_TRUE(msg::parseInventoryReply(objectOf(R"({"CurrDMI":"x"})")).uuid.isEmpty());
}

} // namespace
