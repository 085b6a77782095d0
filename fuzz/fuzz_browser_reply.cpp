// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The browser's reply handling: the real Mainform on Qt's offscreen platform, in a directory of
// its own with no reachable broker. Each input passes the intake the station's reply reader runs
// (ReplyIntake, with every kind asked) and, when accepted, reaches the window through
// slot_repliesArrived as the reader's batches do. The screening, the dispatch table, the registry
// writes (SQLite) and the labels, list and history all see the bytes, and so do the message
// readers vrdctl uses. The first input byte frames the rest
// (reply_framing.h), so every handler and every addressing case is reached from small inputs.

#include "mainform.h"
#include "messages.h"
#include "mqtt_message.h"
#include "reply_intake.h"
#include "reply_reader.h"
#include "reply_framing.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The list grows with every new identity an inventory reply brings; past this it starts again.
constexpr int kMaxListedClients = 64;
constexpr int kInputsPerEventPass = 64;

constexpr char kChannel[] = "VARDEN6";

QTemporaryDir* s_dir = nullptr;
Mainform* s_station = nullptr;
AskedKinds* s_asked = nullptr;
std::unique_ptr<ReplyIntake> s_intake;

// The reader's intake as the station sets it up; made again with every Client Reset, which
// forgets the ties.
void newIntake()
{
    s_intake = std::make_unique<ReplyIntake>(QString::fromLatin1(kChannel), *s_asked, ReplyIntake::Policy{});
}

// As the reader does for each message of the shared reply topic. The window's count of replies
// waiting falls below zero on the way, which only a reader with a broker would look at.
void deliver(const QByteArray& payload)
{
    const qint64 now = monotonicMs();
    for (int kind : {msg::KindCurrentSensors, msg::KindProcessorLoad, msg::KindLastFaults, msg::KindInventory,
                     msg::KindTodaysFaults, msg::KindHistory})
        s_asked->noteAsked(kind, now - 1);
    const ReplyIntake::Taken taken =
        s_intake->take(MqttMessage(0, QString::fromLatin1(kChannel) + QStringLiteral("C2H"), payload), now);
    if (taken.verdict != ReplyIntake::Verdict::Accepted)
        return;
    const ReplyReader::Batch batch{{taken.envelope, taken.sender, taken.account, taken.tiedNow, now}};
    s_station->slot_repliesArrived(s_station->replyReader().generation(), batch);
}

QByteArray inventoryOf(const char* identity, const char* name)
{
    msg::Inventory inventory{QString::fromLatin1(name), QStringLiteral("cpu"), QStringLiteral("os"),
                             QStringLiteral("model"), QStringLiteral("serial"), {}};
    return msg::buildInventoryReply(msg::parseUuid(QString::fromLatin1(identity)), inventory);
}

// Lists the two known clients and selects the first, as a person clicking it would.
void listAndSelect()
{
    deliver(inventoryOf(fuzzframe::kSelected, "selected"));
    deliver(inventoryOf(fuzzframe::kListed, "listed"));
    const int row = s_station->clientList().rowOf(msg::parseUuid(QString::fromLatin1(fuzzframe::kSelected)));
    // Without the two clients the inputs would reach no handler but the inventory's.
    if (row < 0 || s_station->clientList().rowOf(msg::parseUuid(QString::fromLatin1(fuzzframe::kListed))) < 0) {
        std::fprintf(stderr, "the intake refused the replies that list the clients\n");
        std::abort();
    }
    s_station->slot_tvClientClicked(s_station->clientList().model()->index(row, 0));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns on every layout pass and the fault handler traces every
    // reply: neither is a finding, and at thousands of inputs a second they drown the report.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    new QApplication(*argc, *argv);
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    s_dir = new QTemporaryDir(base + QStringLiteral("/vrd-fuzz-browser-XXXXXX"));
    std::atexit([] { s_dir->remove(); });
    QFile ini(s_dir->filePath(QStringLiteral("VRD.INI")));
    // Port 1 on loopback: nothing listens, so the links never connect and nothing is sent.
    if (!ini.open(QIODevice::WriteOnly) || ini.write("[CLOUD]\r\nHOST=127.0.0.1\r\nPORT=1\r\n") < 0)
        std::abort();
    ini.close();
    s_station = new Mainform(s_dir->path());
    s_asked = new AskedKinds;
    newIntake();
    s_station->tickTimer()->stop();
    s_station->show();
    listAndSelect();
    return 0;
}

// vrdctl reads replies with the same message functions, whatever the kind code says: all of
// them on every message, and the fault list keeps one entry per array element.
void readAsEveryKind(const QByteArray& payload)
{
    const std::optional<msg::Envelope> envelope = msg::parseMessage(payload);
    if (!envelope)
        return;
    msg::parseSensorReply(envelope->object);
    msg::parseLoadReply(envelope->object);
    msg::parseInventoryReply(envelope->object);
    const QJsonValue faults = envelope->object.value(QLatin1String("Err50"));
    const int expected = faults.isArray() ? faults.toArray().size() : 0;
    if (msg::parseFaultReply(envelope->object).size() != expected) {
        std::fprintf(stderr, "fault entries lost or invented\n");
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int inputs = 0;
    const QByteArray payload = fuzzframe::payloadOf(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    deliver(payload);
    readAsEveryKind(payload);
    if (s_station->clientList().rowCount() > kMaxListedClients) {
        s_station->slot_btnClientResetClicked();
        newIntake();
        listAndSelect();
    }
    if (++inputs % kInputsPerEventPass == 0) {
        s_station->slot_TimerEvent();
        QApplication::processEvents(); // paints what the replies changed
    }
    return 0;
}
