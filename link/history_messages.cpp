// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "history_messages.h"
#include "messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace msg {

namespace {

constexpr char kKeyCode[] = "SrvCall";
constexpr char kKeyIdentity[] = "TUuid";
constexpr char kKeyHistory[] = "History";
constexpr char kKeyType[] = "Type";
constexpr char kKeyFrom[] = "From";
constexpr char kKeyTo[] = "To";
constexpr char kKeyPoints[] = "Points";
constexpr char kKeyStep[] = "Step";

// The whole numbers a double holds exactly.
constexpr double kLargestExact = 9007199254740992.0; // 2^53

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
    const QJsonObject request{{kKeyCode, KindHistory},
                              {kKeyIdentity, uuidText(addressee)},
                              {kKeyType, query.type},
                              {kKeyFrom, double(query.from)},
                              {kKeyTo, double(query.to)},
                              {kKeyPoints, query.points}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

std::optional<HistoryQuery> parseHistoryRequest(const QJsonObject& message)
{
    const std::optional<int> type = wholeInt(message.value(QLatin1String(kKeyType)));
    const std::optional<qint64> from = wholeNumber(message.value(QLatin1String(kKeyFrom)));
    const std::optional<qint64> to = wholeNumber(message.value(QLatin1String(kKeyTo)));
    const std::optional<int> points = wholeInt(message.value(QLatin1String(kKeyPoints)));
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
    const QJsonObject element{{kKeyType, series.type}, {kKeyStep, double(series.step)}, {kKeyPoints, points}};
    const QJsonObject reply{{kKeyCode, KindHistory}, {kKeyIdentity, uuidText(host)}, {kKeyHistory, QJsonArray{element}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

std::optional<HistorySeries> parseHistoryReply(const QJsonObject& message)
{
    const QJsonValue first = message.value(QLatin1String(kKeyHistory)).toArray().at(0);
    if (!first.isObject())
        return std::nullopt;
    const QJsonObject element = first.toObject();
    HistorySeries series;
    series.type = wholeInt(element.value(QLatin1String(kKeyType))).value_or(0);
    series.step = std::max<qint64>(0, wholeNumber(element.value(QLatin1String(kKeyStep))).value_or(0));
    for (const QJsonValue& value : element.value(QLatin1String(kKeyPoints)).toArray()) {
        const std::optional<HistoryBucket> bucket = bucketOf(value);
        if (bucket && (series.buckets.empty() || bucket->start > series.buckets.back().start))
            series.buckets.push_back(*bucket);
    }
    return series;
}

} // namespace msg
