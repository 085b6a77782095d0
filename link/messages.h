// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The JSON messages between the browser and the clients: every code and topic lives here, every
// wire key in message_keys.h, and every program builds and reads messages only through these
// functions (and history_messages.h for kind 16).
//
// A message is one compact JSON object. Every request and reply carries the envelope
// {"SrvCall": kind code, "TUuid": identity}; a reply adds one payload key whose value is an array.
// Readers are written for hostile input: a missing key or a value of the wrong type reads as
// 0, false or empty text, never as an error, and a text is never longer than kMaxRemoteTextChars.

#include "json_screen.h"
#include "sensor_snapshot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <QVector>

#include <array>
#include <optional>

namespace msg {

// "SrvCall" codes. A request and its reply carry the same code.
enum Kind : int {
    KindNone = 0,
    KindCurrentSensors = 1, // addressed to one client, reply key "CurrSensor"
    KindProcessorLoad = 2,  // broadcast presence check, reply key "CurrProc"
    KindLastFaults = 3,     // addressed, reply key "Err50"
    KindInventory = 4,      // broadcast discovery, reply key "CurrDMI"
    KindTodaysFaults = 5,   // addressed, reply key "Err50"
    KindHistory = 16,       // addressed, reply key "History" (history_messages.h)
};

// Every text read from a message (inventory fields, fault texts) is cut to this many characters:
// whatever a sender puts in them is stored, shown and logged, and no agent's text comes near it.
constexpr int kMaxRemoteTextChars = 256;

// A fault reply lists at most this many entries, newest first.
constexpr int kMaxFaultEntries = 50;

// ---- Topics -------------------------------------------------------------------------------

// Requests travel on channel + "H2C", replies on channel + "C2H", with no separator: the shared
// topics, which every agent and station reads.
QString requestTopic(const QString& channel);
QString replyTopic(const QString& channel);

// An agent's own request topic, channel + "H2C/" + its identity in wire form (braced lower-case
// UUID: '{', '}', '-', digits and a to f). Only that agent reads it, so a request for one agent
// reaches no other. An agent that reads it says so in its presence and inventory replies
// (announcesOwnTopic); any request may still come on the shared topic.
QString agentRequestTopic(const QString& channel, const QUuid& agent);

// The topic an agent publishes its replies on: channel + "C2H/" + user when the broker user name
// can be one topic level, so that the broker can tie replies to an account; the shared reply
// topic without a user or with one that cannot: one that contains '/', '+', '#' or a control
// character, or is longer than 256 bytes in UTF-8.
QString agentReplyTopic(const QString& channel, const QString& user);

// The line an agent tells on standard error when `user` is set but cannot be one topic level,
// "USER contains '/' and cannot be one topic level: replies go on VARDEN6C2H"; empty otherwise.
QString userTopicNotice(const QString& channel, const QString& user);

// Every per-user reply topic, channel + "C2H/+": what a station subscribes to beside the shared
// reply topic. It does not match the shared topic, so no reply arrives twice.
QString anyUserReplyTopic(const QString& channel);

// The account a reply topic speaks for: the user of channel + "C2H/" + user (a name an agent could
// have replied under: see agentReplyTopic), the empty text for the shared reply topic, which no
// account owns; nothing for any other topic.
std::optional<QString> replyAccount(const QString& channel, const QString& topic);

// ---- Identities ---------------------------------------------------------------------------

// All bits set: a request to this identity addresses every client.
QUuid broadcastUuid();

// Wire form: braced, lower-case 8-4-4-4-12 text.
QString uuidText(const QUuid& uuid);

// Accepts the 36-character form with or without braces, in either case. Anything else,
// including surrounding white space or a brace on one side only, is the null UUID.
QUuid parseUuid(const QString& text);

// A value that is not a string is the null UUID.
QUuid parseUuid(const QJsonValue& value);

// ---- Envelope -----------------------------------------------------------------------------

struct Envelope {
    int code = KindNone;  // "SrvCall"; 0 when missing, fractional or not a number
    QJsonObject object;   // the whole message object
};

// Parses one payload. Nothing for a payload that screenPayload refuses (too large, too deep, a
// repeated key), text that is not JSON or a document that is not an object. The caller looks the
// code up in its own table of kinds.
std::optional<Envelope> parseMessage(const QByteArray& payload);

// Whether a presence or inventory reply says its agent reads its own request topic.
bool announcesOwnTopic(const QJsonObject& reply);

// "TUuid" of a message: nothing when the key is absent (such a message is never answered),
// the null UUID when the value is not a string or does not parse.
std::optional<QUuid> addressOf(const QJsonObject& message);

// The numbers of the protocol are whole: a JSON number that holds a whole value a double keeps
// exactly (up to 2^53), or nothing for anything else (a fraction, text, a boolean, null).
std::optional<qint64> wholeNumber(const QJsonValue& value);
// The same within the range of int.
std::optional<int> wholeInt(const QJsonValue& value);
// wholeInt, or 0.
int readInt(const QJsonValue& value);

// A string value cut to kMaxRemoteTextChars characters (never inside a surrogate pair); empty text
// for anything that is not a string.
QString remoteText(const QJsonValue& value);

// The bidirectional and invisible format characters that reorder or hide the text around them:
// U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069. A remote text shows them escaped or marked,
// never obeyed.
bool isDirectionFormat(QChar c);

// ---- Requests -----------------------------------------------------------------------------

// {"SrvCall":code,"TUuid":"{...}"}
QByteArray buildRequest(int code, const QUuid& addressee);

// ---- Kind 1: current sensors --------------------------------------------------------------

// Wire keys of one sensor of the snapshot. The snapshot fields behind them are those of the
// sensor's SensorFields row; a key is null where the sensor has no such limit.
struct SensorKeys {
    int code; // SensorType
    const char* reading;
    const char* enable;
    const char* high;
    const char* low;
};

// The ten sensors of the "CurrSensor" object (36 keys), in the order the browser shows them.
extern const std::array<SensorKeys, 10> kSensorKeys;

// What the reply tells about one sensor; a limit the sensor does not have stays 0.
using SensorFigures = ::SensorFigures;

// One entry per SensorType code 0 to 9.
struct SensorReport {
    std::array<SensorFigures, 10> byType{};
};

QByteArray buildSensorReply(const QUuid& host, const SensorSnapshot& snapshot);

// Reads element 0 of "CurrSensor"; a missing array or element gives all zeros and false.
SensorReport parseSensorReply(const QJsonObject& message);

// ---- Kind 2: processor load ---------------------------------------------------------------

// ownTopic: the agent reads its own request topic; the reply then carries "OwnTopic":1, which
// stations that do not know the key ignore. Without it the reply is the shared-topic agent's.
QByteArray buildLoadReply(const QUuid& host, quint16 usagePercent, bool ownTopic = false);

// "Usage" of element 0 of "CurrProc"; 0 when missing.
int parseLoadReply(const QJsonObject& message);

// ---- Kinds 3 and 5: faults ----------------------------------------------------------------

// One logged fault as the client's database holds it.
struct FaultRecord {
    int type = 0;       // SensorType code
    int data = 0;       // logged value
    qint64 utcSeconds = 0; // time of the logging pass, seconds since 1970 UTC
};

// One fault as the browser reads it.
struct FaultEntry {
    int type = 0;
    QString text;           // "MSG"
    quint64 utcSeconds = 0; // "DT"; 0 when not a decimal number
};

// {"DT":"<seconds>","MSG":<sensorLogText>,"TYPE":type}
QJsonObject faultObject(const FaultRecord& record);

// code is KindLastFaults or KindTodaysFaults; only the first kMaxFaultEntries records are sent.
QByteArray buildFaultReply(int code, const QUuid& host, const QVector<FaultRecord>& records);

// Every element of "Err50" in array order; an element that is not an object reads as empty.
QVector<FaultEntry> parseFaultReply(const QJsonObject& message);

// ---- Kind 4: inventory --------------------------------------------------------------------

struct Inventory {
    QString comp;      // "Comp": the logged-on account, shown as the machine's name
    QString cpu;       // "Cpu"
    QString os;        // "OS"
    QString sysModel;  // "SysModel"
    QString sysSerial; // "SysSerial"
    QString uuid;      // "Uuid": the host identity text
};

// "Uuid" is always written from host, so it cannot disagree with "TUuid"; inventory.uuid is unused.
// ownTopic as for buildLoadReply.
QByteArray buildInventoryReply(const QUuid& host, const Inventory& inventory, bool ownTopic = false);

// Reads element 0 of "CurrDMI"; absent keys and non-strings read as empty text.
Inventory parseInventoryReply(const QJsonObject& message);

// The identity an inventory reply registers: its "TUuid", when that is a client's (not null, not
// the broadcast identity) and "Uuid" names the same one. A registry keys a client by "Uuid" and a
// list by "TUuid": a reply where they differ would list one identity now and another later.
std::optional<QUuid> inventorySender(const QJsonObject& message);

} // namespace msg
