// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Writes the message seeds of fuzz_client_request and fuzz_browser_reply, built by the message
// module itself, into corpus/<target>/ below the directory given:
//     seed_maker fuzz/corpus
// Run again when the protocol changes; the files are kept in the repository.

#include "messages.h"
#include "reply_framing.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const QUuid kClientHost = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

bool writeSeed(const QString& dir, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

SensorSnapshot readings()
{
    SensorSnapshot s;
    s.Vcore = 1200;
    s.Vio = 3300;
    s.P5V = 5010;
    s.P12V = 12100;
    s.N5V = -5000;
    s.N12V = 0;
    s.Fan1 = 2400;
    s.Fan2 = 300;
    s.CpuTemp = 45;
    s.SysTemp = 88;
    s.CBCPUFan = 1;
    return s;
}

// The reply framed for the browser target: selector byte, then the reply without its envelope.
QByteArray framed(unsigned char selector, const QByteArray& reply)
{
    QJsonObject body = QJsonDocument::fromJson(reply).object();
    body.remove(QStringLiteral("SrvCall"));
    body.remove(QStringLiteral("TUuid"));
    QByteArray inner = QJsonDocument(body).toJson(QJsonDocument::Compact);
    inner = inner.mid(1); // after '{'
    const QByteArray rest = inner == "}" ? inner : "," + inner;
    return QByteArray(1, char(selector)) + rest;
}

bool writeRequests(const QString& dir)
{
    bool ok = true;
    const QUuid targets[] = {kClientHost, msg::broadcastUuid(), QUuid()};
    for (int code = 0; code <= 6; ++code)
        for (int t = 0; t < 3; ++t)
            ok &= writeSeed(dir, QStringLiteral("request-%1-%2").arg(code).arg(t), msg::buildRequest(code, targets[t]));
    ok &= writeSeed(dir, QStringLiteral("request-upper-unbraced"),
                    R"({"SrvCall":3,"TUuid":"01234567-89AB-CDEF-0123-456789ABCDEF"})");
    ok &= writeSeed(dir, QStringLiteral("request-code-text"), R"({"SrvCall":"1","TUuid":null})");
    ok &= writeSeed(dir, QStringLiteral("request-fraction"), R"({"SrvCall":2.0,"TUuid":[]})");
    ok &= writeSeed(dir, QStringLiteral("request-array"), R"([{"SrvCall":2,"TUuid":"x"}])");
    return ok;
}

QVector<msg::FaultRecord> faults(int count)
{
    QVector<msg::FaultRecord> records;
    for (int i = 0; i < count; ++i)
        records.append({i % 10, 1000 * i - 2000, 1709622240 + 3600 * i});
    return records;
}

bool writeReplies(const QString& dir)
{
    msg::Inventory inventory{QStringLiteral("HOST\\ann"), QStringLiteral("Some CPU"), QStringLiteral("Linux 6.1"),
                             QStringLiteral("Board"), QStringLiteral("S/N 1"), {}};
    struct Reply {
        const char* name;
        QByteArray payload;
    };
    for (const char* identity : {fuzzframe::kSelected, fuzzframe::kListed}) {
        const QUuid id = msg::parseUuid(QString::fromLatin1(identity));
        const QString suffix = identity == fuzzframe::kSelected ? QStringLiteral("selected") : QStringLiteral("listed");
        const unsigned char who = identity == fuzzframe::kSelected ? 0 : 8;
        const Reply replies[] = {
            {"sensors", msg::buildSensorReply(id, readings())},
            {"load", msg::buildLoadReply(id, 99)},
            {"last-faults", msg::buildFaultReply(msg::KindLastFaults, id, faults(3))},
            {"inventory", msg::buildInventoryReply(id, inventory)},
            {"todays-faults", msg::buildFaultReply(msg::KindTodaysFaults, id, faults(0))},
        };
        for (const Reply& reply : replies) {
            const int code = msg::parseMessage(reply.payload)->code;
            const QString name = QStringLiteral("%1-%2").arg(QLatin1String(reply.name), suffix);
            if (!writeSeed(dir, name + QStringLiteral("-framed"), framed(uchar(who + code), reply.payload))
                || !writeSeed(dir, name + QStringLiteral("-whole"), QByteArray(1, '\0') + reply.payload))
                return false;
        }
    }
    const QUuid fresh = msg::parseUuid(QStringLiteral("{0000aaaa-bbbb-4ccc-8ddd-eeeeffff0000}"));
    return writeSeed(dir, QStringLiteral("inventory-new-client"), QByteArray(1, '\0') + msg::buildInventoryReply(fresh, inventory))
        && writeSeed(dir, QStringLiteral("faults-odd-times"),
                     framed(3, R"({"Err50":[{"DT":"253402300800","MSG":"x","TYPE":9},{"DT":"-1","MSG":7},5,)"
                               R"({"DT":"18446744073709551615","MSG":"y","TYPE":-1}]})"))
        && writeSeed(dir, QStringLiteral("inventory-uuid-mismatch"),
                     framed(4, R"({"CurrDMI":[{"Comp":"a","Uuid":"{5e1ec7ed-0000-4000-8000-000000000002}"}]})"));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: seed_maker CORPUS_DIR\n");
        return 2;
    }
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    const bool ok = writeRequests(corpus + QStringLiteral("/fuzz_client_request"))
        && writeReplies(corpus + QStringLiteral("/fuzz_browser_reply"));
    return ok ? 0 : 1;
}
