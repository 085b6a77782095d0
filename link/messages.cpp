// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "messages.h"

#include "json_duplicate_keys.h"

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

constexpr char kKeyCode[] = "SrvCall";
constexpr char kKeyIdentity[] = "TUuid";
// Top level of presence and inventory replies: 1 when the agent reads its own request topic.
constexpr char kKeyOwnTopic[] = "OwnTopic";
constexpr int kOwnTopicScheme = 1;

constexpr char kKeySensors[] = "CurrSensor";
constexpr char kKeyLoad[] = "CurrProc";
constexpr char kKeyFaults[] = "Err50";
constexpr char kKeyInventory[] = "CurrDMI";

constexpr char kKeyUsage[] = "Usage";

constexpr char kKeyFaultType[] = "TYPE";
constexpr char kKeyFaultText[] = "MSG";
constexpr char kKeyFaultTime[] = "DT";

// Inventory object: wire key and the field that carries it.
struct InventoryKey {
    const char* key;
    QString Inventory::*field;
};

constexpr InventoryKey kInventoryKeys[] = {
    {"Comp", &Inventory::comp},         {"Cpu", &Inventory::cpu},
    {"OS", &Inventory::os},             {"SysModel", &Inventory::sysModel},
    {"SysSerial", &Inventory::sysSerial}, {"Uuid", &Inventory::uuid},
};

constexpr int kUuidTextLength = 36; // 8-4-4-4-12

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray reply(int code, const QUuid& host, const char* payloadKey, const QJsonObject& element, bool ownTopic = false)
{
    QJsonObject object{{kKeyCode, code}, {kKeyIdentity, uuidText(host)}, {payloadKey, QJsonArray{element}}};
    if (ownTopic)
        object.insert(QLatin1String(kKeyOwnTopic), kOwnTopicScheme);
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

int readInt(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    const bool whole = std::isfinite(number) && std::trunc(number) == number;
    const bool inRange = number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max();
    return (whole && inRange) ? int(number) : 0;
}

std::optional<Envelope> parseMessage(const QByteArray& payload)
{
    if (payload.size() > kMaxPayloadBytes || jsonRepeatsAKey(payload))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    Envelope envelope;
    envelope.object = document.object();
    envelope.code = readInt(envelope.object.value(QLatin1String(kKeyCode)));
    return envelope;
}

bool announcesOwnTopic(const QJsonObject& reply)
{
    return readInt(reply.value(QLatin1String(kKeyOwnTopic))) == kOwnTopicScheme;
}

std::optional<QUuid> addressOf(const QJsonObject& message)
{
    const QJsonValue value = message.value(QLatin1String(kKeyIdentity));
    if (value.isUndefined())
        return std::nullopt;
    return parseUuid(value);
}

QByteArray buildRequest(int code, const QUuid& addressee)
{
    return compact({{kKeyCode, code}, {kKeyIdentity, uuidText(addressee)}});
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
    return reply(KindCurrentSensors, host, kKeySensors, element);
}

SensorReport parseSensorReply(const QJsonObject& message)
{
    const QJsonObject element = firstObject(message, kKeySensors);
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
    return reply(KindProcessorLoad, host, kKeyLoad, {{kKeyUsage, int(usagePercent)}}, ownTopic);
}

int parseLoadReply(const QJsonObject& message)
{
    return readInt(firstObject(message, kKeyLoad).value(QLatin1String(kKeyUsage)));
}

QJsonObject faultObject(const FaultRecord& record)
{
    return {
        {kKeyFaultTime, QString::number(record.utcSeconds)},
        {kKeyFaultText, sensorLogText(record.type, record.data)},
        {kKeyFaultType, record.type},
    };
}

QByteArray buildFaultReply(int code, const QUuid& host, const QVector<FaultRecord>& records)
{
    QJsonArray faults;
    for (const FaultRecord& record : records.mid(0, kMaxFaultEntries))
        faults.append(faultObject(record));
    return compact({{kKeyCode, code}, {kKeyIdentity, uuidText(host)}, {kKeyFaults, faults}});
}

QVector<FaultEntry> parseFaultReply(const QJsonObject& message)
{
    QVector<FaultEntry> entries;
    for (const QJsonValue& value : message.value(QLatin1String(kKeyFaults)).toArray()) {
        const QJsonObject fault = value.toObject();
        FaultEntry entry;
        entry.type = readInt(fault.value(QLatin1String(kKeyFaultType)));
        entry.text = fault.value(QLatin1String(kKeyFaultText)).toString();
        bool ok = false;
        const quint64 seconds = fault.value(QLatin1String(kKeyFaultTime)).toString().toULongLong(&ok, 10);
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
    return reply(KindInventory, host, kKeyInventory, element, ownTopic);
}

Inventory parseInventoryReply(const QJsonObject& message)
{
    const QJsonObject element = firstObject(message, kKeyInventory);
    Inventory inventory;
    for (const InventoryKey& key : kInventoryKeys)
        inventory.*key.field = element.value(QLatin1String(key.key)).toString();
    return inventory;
}

} // namespace msg
