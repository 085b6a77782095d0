// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl history ID: an agent's reading history, as lines, JSON or one sparkline per type.

#include "agent_answer.h"
#include "history_messages.h"
#include "sensor_types.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kLinePoints = kHistoryMaxPoints;
constexpr int kSparkPoints = 60;
const QString kLevels = QStringLiteral("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588");

std::optional<HistorySeries> ask(CommandContext& context, const HistoryQuery& wanted, QString& problem)
{
    const AgentAnswer answer =
        askTarget(context, msg::KindHistory, msg::buildHistoryRequest(context.options.target, wanted));
    if (!answer.reply) {
        problem = answer.problem;
        return std::nullopt;
    }
    return msg::parseHistoryReply(answer.reply->object);
}

QString unitOf(int type)
{
    const SensorTypeRow* row = sensorTypeRow(type);
    return row ? unitSymbol(row->unit) : QString();
}

QString figure(int type, int value)
{
    const SensorTypeRow* row = sensorTypeRow(type);
    return row ? valueText(row->unit, value) : QString::number(value);
}

QString nameOf(int type)
{
    const SensorTypeRow* row = sensorTypeRow(type);
    return row ? QLatin1String(row->name) : QStringLiteral("type %1").arg(type);
}

void printLines(const HistorySeries& series, QTextStream& out)
{
    const QString unit = unitOf(series.type);
    for (const HistoryBucket& b : series.buckets)
        out << QDateTime::fromSecsSinceEpoch(b.start).toString("yyyy/MM/dd hh:mm:ss") << "  "
            << QString("%1 %2 %3 %4\n")
                   .arg(figure(series.type, b.min), 8)
                   .arg(figure(series.type, b.avg), 8)
                   .arg(figure(series.type, b.max), 8)
                   .arg(unit);
    if (series.buckets.empty())
        out << "No readings logged in this range\n";
}

QJsonObject seriesJson(const Options& options, const HistoryQuery& asked, const HistorySeries& series)
{
    QJsonArray points;
    for (const HistoryBucket& b : series.buckets)
        points.append(QJsonObject{{"start", double(b.start)},
                                  {"time", QDateTime::fromSecsSinceEpoch(b.start).toString(Qt::ISODate)},
                                  {"min", b.min}, {"avg", b.avg}, {"max", b.max}});
    return {{"uuid", msg::uuidText(options.target)}, {"type", series.type}, {"name", nameOf(series.type)},
            {"unit", unitOf(series.type)}, {"from", double(asked.from)}, {"to", double(asked.to)},
            {"step", double(series.step)}, {"points", points}};
}

// One character per bucket from the lowest to the highest mean, a blank for a missing bucket;
// `width` characters over [from, from + width * step).
QString sparkline(const HistorySeries& series, qint64 from, int width)
{
    QString line(width, QLatin1Char(' '));
    if (series.buckets.empty() || series.step <= 0)
        return line;
    const auto [low, high] = std::minmax_element(
        series.buckets.begin(), series.buckets.end(),
        [](const HistoryBucket& a, const HistoryBucket& b) { return a.avg < b.avg; });
    const double span = double(high->avg) - double(low->avg);
    for (const HistoryBucket& b : series.buckets) {
        const qint64 slot = (b.start - from) / series.step;
        if (slot < 0 || slot >= width)
            continue;
        const int level = span <= 0 ? 0 : int((double(b.avg) - low->avg) / span * (kLevels.size() - 1) + 0.5);
        line[int(slot)] = kLevels[level];
    }
    return line;
}

void printSummary(const HistoryQuery& asked, const HistorySeries& series, QTextStream& out)
{
    const qint64 step = std::max<qint64>(1, series.step);
    const int width = int((asked.to - asked.from + step - 1) / step);
    out << QString("%1 ").arg(nameOf(series.type), -22) << sparkline(series, asked.from, width);
    if (series.buckets.empty()) {
        out << "  no readings\n";
        return;
    }
    const int lowest = std::min_element(series.buckets.begin(), series.buckets.end(),
                                        [](const HistoryBucket& a, const HistoryBucket& b) { return a.min < b.min; })
                           ->min;
    const int highest = std::max_element(series.buckets.begin(), series.buckets.end(),
                                         [](const HistoryBucket& a, const HistoryBucket& b) { return a.max < b.max; })
                            ->max;
    out << "  " << figure(series.type, lowest) << " .. " << figure(series.type, highest) << " " << unitOf(series.type)
        << "\n";
}

} // namespace

int runHistory(CommandContext& context)
{
    const Options& options = context.options;
    QTextStream& out = context.out;
    if (!options.type && !options.summary) {
        std::fputs("vrdctl: history needs --type (or --summary for every type)\n", stderr);
        return ExitFailed;
    }
    const int points = options.points > 0 ? options.points : (options.summary ? kSparkPoints : kLinePoints);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 to = now - now % 60 + 60;
    std::vector<int> types;
    if (options.type)
        types.push_back(*options.type);
    else
        for (const SensorTypeRow& row : kSensorTypes)
            types.push_back(row.code);

    QJsonArray all;
    for (int type : types) {
        const HistoryQuery wanted{type, to - qint64(options.hours) * 3600, to, points};
        if (!isAnswerableHistoryQuery(wanted)) {
            std::fputs("vrdctl: --hours must be 1 to 1464 and --points 1 to 500\n", stderr);
            return ExitFailed;
        }
        QString problem;
        const std::optional<HistorySeries> series = ask(context, wanted, problem);
        if (!series) {
            std::fprintf(stderr, "vrdctl: %s: this agent keeps no history it can send\n", qUtf8Printable(problem));
            return ExitUnknown;
        }
        if (options.json)
            all.append(seriesJson(options, wanted, *series));
        else if (options.summary)
            printSummary(wanted, *series, out);
        else
            printLines(*series, out);
    }
    if (options.json)
        out << (all.size() == 1 ? QJsonDocument(all.at(0).toObject()) : QJsonDocument(all))
                   .toJson(QJsonDocument::Indented);
    return ExitOk;
}
