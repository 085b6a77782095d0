// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The client's request handling: a payload as it arrives from the broker on the request topic,
// through answerRequest with fixed sources (a snapshot with readings, stored fault rows with
// well-formed and damaged times, an inventory), the path Mainform::slot_mtsBranchReceived takes.
//
// Properties: a reply is one JSON object that parses back as a message of the request's kind,
// addressed from this host; it stays within the protocol's payload limit.

#include "request_handlers.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

const QUuid kHost = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));

SensorSnapshot snapshotWithReadings()
{
    SensorSnapshot s;
    s.Vcore = 1200;
    s.Vio = 3300;
    s.P5V = 5010;
    s.P12V = 12100;
    s.N5V = -5000;
    s.N12V = -12000;
    s.Fan1 = 2400;
    s.Fan2 = 0;
    s.CpuTemp = 45;
    s.SysTemp = 88;
    return s;
}

QVector<msg::FaultRecord> storedFaults()
{
    QVector<msg::FaultRecord> records;
    const qint64 times[] = {1709593440, 0, -1, 253402300799, std::numeric_limits<qint64>::max()};
    int type = 0;
    for (const qint64 time : times) {
        records.push_back({type % 10, type * 1000 - 3000, time});
        ++type;
    }
    for (int i = 0; i < 60; ++i) // more than one reply carries
        records.push_back({i % 10, i, 1704067200 + i * 86400});
    return records;
}

const SensorSnapshot kSnapshot = snapshotWithReadings();
const QVector<msg::FaultRecord> kFaults = storedFaults();

RequestSources sources()
{
    RequestSources s;
    s.host = kHost;
    s.snapshot = []() -> const SensorSnapshot& { return kSnapshot; };
    s.processorLoad = [] { return int16_t(37); };
    s.lastFaults = [] { return std::optional<QVector<msg::FaultRecord>>(kFaults); };
    s.todaysFaults = [] { return std::optional<QVector<msg::FaultRecord>>(); }; // a query that failed
    s.inventory = [] {
        return msg::Inventory{QStringLiteral("HOST\\ann"), QStringLiteral("Some CPU @ 3.0GHz"),
                              QStringLiteral("Linux 6.1"), QStringLiteral("Board \"X\" <1>"),
                              QStringLiteral("S/N \u00e9\u4e2d"), {}};
    };
    return s;
}

[[noreturn]] void fail(const char* property, const QByteArray& payload)
{
    std::fprintf(stderr, "%s: %s\n", property, payload.toHex().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const RequestSources kSources = sources();
    const QByteArray payload(reinterpret_cast<const char*>(data), int(size));
    const QByteArray reply = answerRequest(payload, kSources);
    if (reply.isEmpty())
        return 0;
    const std::optional<msg::Envelope> request = msg::parseMessage(payload);
    const std::optional<msg::Envelope> answer = msg::parseMessage(reply);
    if (!request || !answer)
        fail("a reply to no request, or a reply that does not parse", payload);
    if (answer->code != request->code)
        fail("a reply of another kind", payload);
    if (msg::addressOf(answer->object) != std::optional<QUuid>(kHost))
        fail("a reply not from this host", payload);
    if (reply.size() > msg::kMaxPayloadBytes)
        fail("a reply above the payload limit", payload);
    if (answer->code == msg::KindLastFaults && msg::parseFaultReply(answer->object).size() != msg::kMaxFaultEntries)
        fail("a fault reply without its 50 entries", payload);
    return 0;
}
