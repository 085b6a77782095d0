// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The history chart and its view on their own: runs split at missing buckets, the bucket beside
// the pointer in its unit, the ranges asked for, and answers to an older question set aside.

#include "history_view.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QAbstractButton>

#include <gtest/gtest.h>

namespace {

void ensureApplication()
{
    if (QApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "chart_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

constexpr qint64 kFrom = 1709553600; // a whole hour
constexpr qint64 kStep = 60;

HistorySeries seriesAt(int type, const std::vector<int>& buckets)
{
    HistorySeries series{type, kStep, {}};
    for (int k : buckets)
        series.buckets.push_back({kFrom + k * kStep, 40 + k, 45 + k, 50 + k});
    return series;
}

double msAt(qint64 seconds)
{
    return double(seconds) * 1000.0;
}

TEST(HistoryChartTest, MissingBucketsSplitTheRuns)
{
    ensureApplication();
    const struct {
        std::vector<int> buckets;
        int runs;
    } cases[] = {{{}, 0}, {{0}, 1}, {{0, 1, 2}, 1}, {{0, 1, 2, 10, 11, 40}, 3}, {{5, 7, 9}, 3}};
    HistoryChart chart;
    for (const auto& c : cases) {
        chart.showSeries(seriesAt(SensorCpuTemp, c.buckets), kFrom, kFrom + 60 * kStep, {});
        EXPECT_EQ(chart.drawnRuns(), c.runs) << c.buckets.size();
    }
    chart.showMessage(QStringLiteral("nothing"));
    EXPECT_EQ(chart.drawnRuns(), 0);
}

TEST(HistoryChartTest, PointerShowsTheBucketInItsUnit)
{
    ensureApplication();
    HistoryChart chart;
    chart.showSeries(seriesAt(SensorCpuTemp, {0, 10}), kFrom, kFrom + 60 * kStep, {});
    EXPECT_TRUE(chart.bucketTextAt(msAt(kFrom + 10 * kStep + 1)).contains("min 50 'C  avg 55 'C  max 60 'C"))
        << chart.bucketTextAt(msAt(kFrom + 10 * kStep + 1)).toStdString();
    EXPECT_TRUE(chart.bucketTextAt(msAt(kFrom + 5 * kStep)).isEmpty()); // a gap
    EXPECT_TRUE(chart.bucketTextAt(msAt(kFrom - 1)).isEmpty());         // before the range

    HistorySeries volts{SensorVcore, kStep, {{kFrom, 1180, 1203, 1250}}};
    chart.showSeries(volts, kFrom, kFrom + 60 * kStep, {});
    EXPECT_TRUE(chart.bucketTextAt(msAt(kFrom + 1)).contains("min 1.180 V  avg 1.203 V  max 1.250 V"))
        << chart.bucketTextAt(msAt(kFrom + 1)).toStdString();
}

TEST(HistoryViewTest, RangesAskForWholeMinutesOrHoursEndingNow)
{
    ensureApplication();
    HistoryView view;
    const QDateTime now = QDateTime::fromSecsSinceEpoch(kFrom + 3 * 3600 + 125);
    view.setClock([now] { return now; });
    const struct {
        int range;
        qint64 to;
        qint64 span;
    } cases[] = {
        {0, kFrom + 3 * 3600 + 180, 3600},              // 1 h, to the next minute
        {1, kFrom + 3 * 3600 + 180, 24 * 3600},         // 24 h
        {2, kFrom + 4 * 3600, 7 * 24 * 3600},           // 7 days, to the next hour
        {3, kFrom + 4 * 3600, 60 * 24 * 3600},          // 60 days
    };
    std::vector<HistoryQuery> asked;
    QObject::connect(&view, &HistoryView::historyWanted, [&](const HistoryQuery& q) { asked.push_back(q); });
    for (const auto& c : cases) {
        view.ranges()->button(c.range)->click();
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().to, c.to) << c.range;
        EXPECT_EQ(asked.back().to - asked.back().from, c.span) << c.range;
        EXPECT_EQ(asked.back().points, HistoryView::kPoints);
        EXPECT_EQ(asked.back().type, view.typePicker()->currentData().toInt());
    }
}

TEST(HistoryViewTest, OnlyTheAnswerToTheLastQuestionIsDrawn)
{
    ensureApplication();
    HistoryView view;
    std::vector<HistoryQuery> asked;
    QObject::connect(&view, &HistoryView::historyWanted, [&](const HistoryQuery& q) { asked.push_back(q); });
    view.refresh();
    view.typePicker()->setCurrentIndex(view.typePicker()->count() - 1); // asks again
    ASSERT_EQ(asked.size(), 2u);
    const HistoryQuery first = asked[0];
    const HistoryQuery second = asked[1];
    ASSERT_NE(first.type, second.type);

    view.showSeries(first, seriesAt(first.type, {0, 1}), {});
    EXPECT_EQ(view.chart()->drawnRuns(), 0); // an older question's answer
    view.showSeries(second, seriesAt(first.type, {0, 1}), {});
    EXPECT_EQ(view.chart()->drawnRuns(), 0); // a series of another type than asked
    view.showSeries(second, seriesAt(second.type, {0, 1}), {});
    EXPECT_EQ(view.chart()->drawnRuns(), 1);
}

} // namespace
