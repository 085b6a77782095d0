// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "history_messages.h"
#include "message_keys.h"
#include "messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <algorithm>

namespace msg {

namespace {

std::optional<HistoryBucket> bucketOf(const QJsonValue& value)
{
    const QJsonArray point = value.toArray();
    if (!value.isArray() || point.size() != 4)
        return std::nullopt;
    const std::optional<qint64> start = wholeNumber(point.at(0));
    const std::optional<int> min = wholeInt(point.at(1));
    const std::optional<int> avg = wholeInt(point.at(2));
    const std::optional<int> max = wholeInt(point.at(3));
    if (!start || !min || !avg || !max)
        return std::nullopt;
    return HistoryBucket{*start, *min, *avg, *max};
}

} // namespace

QByteArray buildHistoryRequest(const QUuid& addressee, const HistoryQuery& query)
{
    const QJsonObject request{{keys::kCode, KindHistory},
                              {keys::kIdentity, uuidText(addressee)},
                              {keys::kType, query.type},
                              {keys::kFrom, double(query.from)},
                              {keys::kTo, double(query.to)},
                              {keys::kPoints, query.points}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

std::optional<HistoryQuery> parseHistoryRequest(const QJsonObject& message)
{
    const std::optional<int> type = wholeInt(message.value(QLatin1String(keys::kType)));
    const std::optional<qint64> from = wholeNumber(message.value(QLatin1String(keys::kFrom)));
    const std::optional<qint64> to = wholeNumber(message.value(QLatin1String(keys::kTo)));
    const std::optional<int> points = wholeInt(message.value(QLatin1String(keys::kPoints)));
    if (!type || !from || !to || !points)
        return std::nullopt;
    const HistoryQuery query{*type, *from, *to, *points};
    if (!isAnswerableHistoryQuery(query))
        return std::nullopt;
    return query;
}

QByteArray buildHistoryReply(const QUuid& host, const HistorySeries& series)
{
    QJsonArray points;
    for (const HistoryBucket& b : series.buckets)
        points.append(QJsonArray{double(b.start), b.min, b.avg, b.max});
    const QJsonObject element{{keys::kType, series.type}, {keys::kStep, double(series.step)}, {keys::kPoints, points}};
    const QJsonObject reply{
        {keys::kCode, KindHistory}, {keys::kIdentity, uuidText(host)}, {keys::kHistory, QJsonArray{element}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

std::optional<HistorySeries> parseHistoryReply(const QJsonObject& message)
{
    const QJsonValue first = message.value(QLatin1String(keys::kHistory)).toArray().at(0);
    if (!first.isObject())
        return std::nullopt;
    const QJsonObject element = first.toObject();
    HistorySeries series;
    series.type = wholeInt(element.value(QLatin1String(keys::kType))).value_or(0);
    series.step = std::max<qint64>(0, wholeNumber(element.value(QLatin1String(keys::kStep))).value_or(0));
    for (const QJsonValue& value : element.value(QLatin1String(keys::kPoints)).toArray()) {
        const std::optional<HistoryBucket> bucket = bucketOf(value);
        if (bucket && (series.buckets.empty() || bucket->start > series.buckets.back().start))
            series.buckets.push_back(*bucket);
    }
    return series;
}

} // namespace msg
