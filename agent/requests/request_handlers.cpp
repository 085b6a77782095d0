// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "request_handlers.h"
#include "history_messages.h"

namespace {

using Handler = QByteArray (*)(const QJsonObject& request, const RequestSources& sources);

// Kinds 1, 3 and 5 concern one machine: only the addressed agent answers.
bool addressedToUs(const QJsonObject& request, const RequestSources& sources)
{
    return msg::addressOf(request) == std::optional<QUuid>(sources.host);
}

bool hasAddress(const QJsonObject& request)
{
    return msg::addressOf(request).has_value();
}

QByteArray none(const QJsonObject&, const RequestSources&)
{
    return {};
}

QByteArray currentSensors(const QJsonObject& request, const RequestSources& sources)
{
    if (!addressedToUs(request, sources))
        return {};
    return msg::buildSensorReply(sources.host, sources.snapshot());
}

QByteArray processorLoad(const QJsonObject& request, const RequestSources& sources)
{
    if (!hasAddress(request))
        return {};
    return msg::buildLoadReply(sources.host, quint16(sources.processorLoad()), sources.ownTopic);
}

QByteArray inventory(const QJsonObject& request, const RequestSources& sources)
{
    if (!hasAddress(request))
        return {};
    return msg::buildInventoryReply(sources.host, sources.inventory(), sources.ownTopic);
}

// A query that fails (database closed or locked) still gets an answer, with no faults.
QByteArray faults(int code, const std::optional<QVector<msg::FaultRecord>>& records, const RequestSources& sources)
{
    return msg::buildFaultReply(code, sources.host, records.value_or(QVector<msg::FaultRecord>()));
}

QByteArray lastFaults(const QJsonObject& request, const RequestSources& sources)
{
    if (!addressedToUs(request, sources))
        return {};
    return faults(msg::KindLastFaults, sources.lastFaults(), sources);
}

QByteArray todaysFaults(const QJsonObject& request, const RequestSources& sources)
{
    if (!addressedToUs(request, sources))
        return {};
    return faults(msg::KindTodaysFaults, sources.todaysFaults(), sources);
}

// A request outside the answerable shape is dropped like a malformed one; a query that fails
// (database closed or locked) gets no answer either, as the station's wait tells it apart from
// a history without readings.
QByteArray history(const QJsonObject& request, const RequestSources& sources)
{
    if (!addressedToUs(request, sources) || !sources.history)
        return {};
    const std::optional<HistoryQuery> query = msg::parseHistoryRequest(request);
    if (!query)
        return {};
    const std::optional<HistorySeries> series = sources.history(*query);
    if (!series)
        return {};
    return msg::buildHistoryReply(sources.host, *series);
}

constexpr uint16_t kEndOfTable = 0xFFFF;

struct HandlerEntry {
    uint16_t code;
    Handler handler;
};

const HandlerEntry kHandlers[] = {
    {msg::KindNone, none},
    {msg::KindCurrentSensors, currentSensors},
    {msg::KindProcessorLoad, processorLoad},
    {msg::KindInventory, inventory},
    {msg::KindLastFaults, lastFaults},
    {msg::KindTodaysFaults, todaysFaults},
    {msg::KindHistory, history},
    {kEndOfTable, nullptr},
};

} // namespace

QByteArray answerRequest(const QByteArray& payload, const RequestSources& sources)
{
    const std::optional<msg::Envelope> request = msg::parseMessage(payload);
    if (!request)
        return {};
    for (const HandlerEntry* entry = kHandlers; entry->code != kEndOfTable; ++entry)
        if (entry->code == request->code)
            return entry->handler(request->object, sources);
    return {};
}
