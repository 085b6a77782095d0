// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "messages.h"

#include "message_keys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace msg {

namespace {

constexpr char kRequestSuffix[] = "H2C";
constexpr char kReplySuffix[] = "C2H";
constexpr char kLevelSeparator[] = "/";
constexpr char kAnyOneLevel[] = "+";

// A user name longer than this makes no reply topic: with fifty fault texts a reply is a few KiB,
// and topic and payload must fit the broker's packet limit (64 KiB in docs/broker).
constexpr int kMaxUserTopicBytes = 256;

// The "OwnTopic" value of an agent that reads its own request topic.
constexpr int kOwnTopicScheme = 1;

// The whole numbers a double holds exactly.
constexpr double kLargestExact = 9007199254740992.0; // 2^53

// Inventory object: wire key and the field that carries it.
struct InventoryKey {
    const char* key;
    QString Inventory::*field;
};

constexpr InventoryKey kInventoryKeys[] = {
    {keys::kComputer, &Inventory::comp}, {keys::kProcessor, &Inventory::cpu},
    {keys::kSystem, &Inventory::os},     {keys::kModel, &Inventory::sysModel},
    {keys::kSerial, &Inventory::sysSerial}, {keys::kInventoryIdentity, &Inventory::uuid},
};

constexpr int kUuidTextLength = 36; // 8-4-4-4-12

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray reply(int code, const QUuid& host, const char* payloadKey, const QJsonObject& element, bool ownTopic = false)
{
    QJsonObject object{{keys::kCode, code}, {keys::kIdentity, uuidText(host)}, {payloadKey, QJsonArray{element}}};
    if (ownTopic)
        object.insert(QLatin1String(keys::kOwnTopic), kOwnTopicScheme);
    return compact(object);
}

// MQTT wildcards and the level separator would make the name more or less than one level; the
// broker refuses control characters in a topic.
bool isTopicLevelChar(QChar c)
{
    const ushort code = c.unicode();
    const bool control = code < 0x20 || (code >= 0x7f && code < 0xa0);
    return !control && c != QLatin1Char('/') && c != QLatin1Char('+') && c != QLatin1Char('#');
}

// Why `user` cannot be one topic level; empty when it can. The empty name, no user, cannot.
QString userTopicProblem(const QString& user)
{
    if (user.isEmpty())
        return QStringLiteral("is empty");
    if (user.toUtf8().size() > kMaxUserTopicBytes)
        return QStringLiteral("is longer than %1 bytes").arg(kMaxUserTopicBytes);
    for (const QChar c : user) {
        if (isTopicLevelChar(c))
            continue;
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            return QStringLiteral("contains a control character");
        return QStringLiteral("contains '%1'").arg(c);
    }
    return QString();
}

// Element 0 of the array under key, or an empty object.
QJsonObject firstObject(const QJsonObject& message, const char* key)
{
    return message.value(QLatin1String(key)).toArray().at(0).toObject();
}

} // namespace

const std::array<SensorKeys, 10> kSensorKeys = {{
    {SensorCpuTemp, "SenCPUTemp", "SenSetEnCPUTemp", "SenSetGapCPUTemp", nullptr},
    {SensorSysTemp, "SenSYSTemp", "SenSetEnSYSTemp", "SenSetGapSYSTemp", nullptr},
    {SensorCpuFan, "SenFan1", "SenSetEnFan1", nullptr, "SenSetGapFan1"},
    {SensorSysFan, "SenFan2", "SenSetEnFan2", nullptr, "SenSetGapFan2"},
    {SensorVcore, "SenVcore", "SenSetEnVcore", "SenSetGapVcoreHi", "SenSetGapVcoreLo"},
    {SensorVio, "SenVio", "SenSetEnVio", "SenSetGapVioHi", "SenSetGapVioLo"},
    {SensorP5V, "SenP5V", "SenSetEnP5V", "SenSetGapP5VHi", "SenSetGapP5VLo"},
    {SensorP12V, "SenP12V", "SenSetEnP12V", "SenSetGapP12VHi", "SenSetGapP12VLo"},
    {SensorN5V, "SenN5V", "SenSetEnN5V", "SenSetGapN5VHi", "SenSetGapN5VLo"},
    {SensorN12V, "SenN12V", "SenSetEnN12V", "SenSetGapN12VHi", "SenSetGapN12VLo"},
}};

QString requestTopic(const QString& channel)
{
    return channel + QLatin1String(kRequestSuffix);
}

QString replyTopic(const QString& channel)
{
    return channel + QLatin1String(kReplySuffix);
}

QString agentRequestTopic(const QString& channel, const QUuid& agent)
{
    return requestTopic(channel) + QLatin1String(kLevelSeparator) + uuidText(agent);
}

QString agentReplyTopic(const QString& channel, const QString& user)
{
    if (!userTopicProblem(user).isEmpty())
        return replyTopic(channel);
    return replyTopic(channel) + QLatin1String(kLevelSeparator) + user;
}

QString userTopicNotice(const QString& channel, const QString& user)
{
    const QString problem = userTopicProblem(user);
    if (user.isEmpty() || problem.isEmpty())
        return QString();
    return QStringLiteral("USER %1 and cannot be one topic level: replies go on %2").arg(problem, replyTopic(channel));
}

QString anyUserReplyTopic(const QString& channel)
{
    return replyTopic(channel) + QLatin1String(kLevelSeparator) + QLatin1String(kAnyOneLevel);
}

std::optional<QString> replyAccount(const QString& channel, const QString& topic)
{
    const QString shared = replyTopic(channel);
    if (topic == shared)
        return QString();
    const QString userPrefix = shared + QLatin1String(kLevelSeparator);
    if (!topic.startsWith(userPrefix))
        return std::nullopt;
    const QString user = topic.mid(userPrefix.size());
    if (!userTopicProblem(user).isEmpty())
        return std::nullopt;
    return user;
}

QUuid broadcastUuid()
{
    return QUuid(0xffffffffu, 0xffff, 0xffff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff);
}

QString uuidText(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithBraces).toLower();
}

QUuid parseUuid(const QString& text)
{
    // QUuid alone would accept trailing text and an unmatched brace; the wire form is exact.
    const bool braced = text.size() == kUuidTextLength + 2 && text.startsWith(QLatin1Char('{'))
        && text.endsWith(QLatin1Char('}'));
    const bool bare = text.size() == kUuidTextLength;
    if (!braced && !bare)
        return QUuid();
    const QStringView digits = QStringView(text).mid(braced ? 1 : 0, kUuidTextLength);
    return QUuid::fromString(digits);
}

QUuid parseUuid(const QJsonValue& value)
{
    return parseUuid(value.toString());
}

std::optional<qint64> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > kLargestExact)
        return std::nullopt;
    return qint64(number);
}

std::optional<int> wholeInt(const QJsonValue& value)
{
    const std::optional<qint64> number = wholeNumber(value);
    if (!number || *number < std::numeric_limits<int>::min() || *number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*number);
}

int readInt(const QJsonValue& value)
{
    return wholeInt(value).value_or(0);
}

QString remoteText(const QJsonValue& value)
{
    const QString text = value.toString();
    if (text.size() <= kMaxRemoteTextChars)
        return text;
    // A high surrogate left at the end would stand for half a character.
    const bool splitsPair = text.at(kMaxRemoteTextChars - 1).isHighSurrogate();
    return text.left(kMaxRemoteTextChars - (splitsPair ? 1 : 0));
}

bool isDirectionFormat(QChar c)
{
    const ushort code = c.unicode();
    return code == 0x200e || code == 0x200f || (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

std::optional<Envelope> parseMessage(const QByteArray& payload)
{
    if (screenPayload(payload) != Screened::Fine)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    Envelope envelope;
    envelope.object = document.object();
    envelope.code = readInt(envelope.object.value(QLatin1String(keys::kCode)));
    return envelope;
}

bool announcesOwnTopic(const QJsonObject& reply)
{
    return readInt(reply.value(QLatin1String(keys::kOwnTopic))) == kOwnTopicScheme;
}

std::optional<QUuid> addressOf(const QJsonObject& message)
{
    const QJsonValue value = message.value(QLatin1String(keys::kIdentity));
    if (value.isUndefined())
        return std::nullopt;
    return parseUuid(value);
}

QByteArray buildRequest(int code, const QUuid& addressee)
{
    return compact({{keys::kCode, code}, {keys::kIdentity, uuidText(addressee)}});
}

QByteArray buildSensorReply(const QUuid& host, const SensorSnapshot& snapshot)
{
    QJsonObject element;
    for (const SensorKeys& keys : kSensorKeys) {
        const SensorFigures figures = figuresOf(snapshot, keys.code);
        element.insert(QLatin1String(keys.reading), figures.reading);
        element.insert(QLatin1String(keys.enable), figures.enabled);
        if (keys.high)
            element.insert(QLatin1String(keys.high), figures.high);
        if (keys.low)
            element.insert(QLatin1String(keys.low), figures.low);
    }
    return reply(KindCurrentSensors, host, keys::kSensors, element);
}

SensorReport parseSensorReply(const QJsonObject& message)
{
    const QJsonObject element = firstObject(message, keys::kSensors);
    SensorReport report;
    for (const SensorKeys& keys : kSensorKeys) {
        SensorFigures& figures = report.byType[size_t(keys.code)];
        figures.reading = readInt(element.value(QLatin1String(keys.reading)));
        figures.enabled = element.value(QLatin1String(keys.enable)).toBool(false);
        if (keys.high)
            figures.high = readInt(element.value(QLatin1String(keys.high)));
        if (keys.low)
            figures.low = readInt(element.value(QLatin1String(keys.low)));
    }
    return report;
}

QByteArray buildLoadReply(const QUuid& host, quint16 usagePercent, bool ownTopic)
{
    return reply(KindProcessorLoad, host, keys::kLoad, {{keys::kUsage, int(usagePercent)}}, ownTopic);
}

int parseLoadReply(const QJsonObject& message)
{
    return readInt(firstObject(message, keys::kLoad).value(QLatin1String(keys::kUsage)));
}

QJsonObject faultObject(const FaultRecord& record)
{
    return {
        {keys::kFaultTime, QString::number(record.utcSeconds)},
        {keys::kFaultText, sensorLogText(record.type, record.data)},
        {keys::kFaultType, record.type},
    };
}

QByteArray buildFaultReply(int code, const QUuid& host, const QVector<FaultRecord>& records)
{
    QJsonArray faults;
    for (const FaultRecord& record : records.mid(0, kMaxFaultEntries))
        faults.append(faultObject(record));
    return compact({{keys::kCode, code}, {keys::kIdentity, uuidText(host)}, {keys::kFaults, faults}});
}

QVector<FaultEntry> parseFaultReply(const QJsonObject& message)
{
    QVector<FaultEntry> entries;
    for (const QJsonValue& value : message.value(QLatin1String(keys::kFaults)).toArray()) {
        const QJsonObject fault = value.toObject();
        FaultEntry entry;
        entry.type = readInt(fault.value(QLatin1String(keys::kFaultType)));
        entry.text = remoteText(fault.value(QLatin1String(keys::kFaultText)));
        bool ok = false;
        const quint64 seconds = fault.value(QLatin1String(keys::kFaultTime)).toString().toULongLong(&ok, 10);
        entry.utcSeconds = ok ? seconds : 0;
        entries.append(entry);
    }
    return entries;
}

QByteArray buildInventoryReply(const QUuid& host, const Inventory& inventory, bool ownTopic)
{
    Inventory sent = inventory;
    sent.uuid = uuidText(host);
    QJsonObject element;
    for (const InventoryKey& key : kInventoryKeys)
        element.insert(QLatin1String(key.key), sent.*key.field);
    return reply(KindInventory, host, keys::kInventory, element, ownTopic);
}

Inventory parseInventoryReply(const QJsonObject& message)
{
    const QJsonObject element = firstObject(message, keys::kInventory);
    Inventory inventory;
    for (const InventoryKey& key : kInventoryKeys)
        inventory.*key.field = remoteText(element.value(QLatin1String(key.key)));
    return inventory;
}

std::optional<QUuid> inventorySender(const QJsonObject& message)
{
    const std::optional<QUuid> sender = addressOf(message);
    if (!sender || sender->isNull() || *sender == broadcastUuid())
        return std::nullopt;
    if (parseUuid(parseInventoryReply(message).uuid) != *sender)
        return std::nullopt;
    return sender;
}

} // namespace msg
