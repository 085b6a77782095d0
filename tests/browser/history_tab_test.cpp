// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The station's History tab: what it asks the selected client, an agent that never answers (one
// that predates the request), and a reply drawn with its gaps; replies of other clients or to an
// older request are not drawn.

#include "history_messages.h"
#include "history_tab.h"
#include "qt_test_loop.h"
#include "station_fixture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <qwt_plot_textlabel.h>

#include <gtest/gtest.h>

namespace {

const QUuid kAgent = msg::parseUuid(QStringLiteral("{01234567-89ab-cdef-0123-456789abcdef}"));
const QUuid kOther = msg::parseUuid(QStringLiteral("{11111111-89ab-cdef-0123-456789abcdef}"));

class HistoryTabTest : public testing::Test {
protected:
    void SetUp() override
    {
        stationtest::ensureApplication();
        window = std::make_unique<QWidget>();
        faults = new QWidget;
        auto* column = new QVBoxLayout(window.get());
        column->addWidget(faults);
        tab = std::make_unique<HistoryTab>(column, faults,
                                           [this](const QUuid&, const QByteArray& r) { sent.push_back(r); });
        tab->view()->setClock([] { return QDateTime::fromSecsSinceEpoch(1709640000); });
    }

    std::optional<HistoryQuery> lastRequest() const
    {
        if (sent.empty())
            return std::nullopt;
        const std::optional<msg::Envelope> envelope = msg::parseMessage(sent.back());
        if (!envelope || envelope->code != msg::KindHistory || msg::addressOf(envelope->object) != kAgent)
            return std::nullopt;
        return msg::parseHistoryRequest(envelope->object);
    }

    QString chartMessage() const
    {
        for (QwtPlotItem* item : tab->view()->chart()->itemList(QwtPlotItem::Rtti_PlotTextLabel))
            return static_cast<QwtPlotTextLabel*>(item)->text().text();
        return QString();
    }

    QJsonObject reply(const QUuid& from, const HistorySeries& series)
    {
        return msg::parseMessage(msg::buildHistoryReply(from, series))->object;
    }

    std::unique_ptr<QWidget> window;
    QWidget* faults = nullptr;
    std::unique_ptr<HistoryTab> tab;
    std::vector<QByteArray> sent;
};

TEST_F(HistoryTabTest, AsksTheSelectedClientOnlyWhenTheTabIsShown)
{
    tab->selectClient(kAgent);
    EXPECT_TRUE(sent.empty()); // the Faults tab is in front
    tab->tabs()->setCurrentIndex(1);
    const std::optional<HistoryQuery> asked = lastRequest();
    ASSERT_TRUE(asked);
    EXPECT_EQ(int(SensorCpuTemp), asked->type);
    EXPECT_EQ(24 * 3600, asked->to - asked->from);
    EXPECT_EQ(1709640060, asked->to); // the next whole minute
    EXPECT_EQ(500, asked->points);

    tab->view()->ranges()->button(3)->click(); // 60 days
    ASSERT_TRUE(lastRequest());
    EXPECT_EQ(60 * 24 * 3600, lastRequest()->to - lastRequest()->from);
}

TEST_F(HistoryTabTest, AnAgentThatNeverAnswersKeepsNoHistory)
{
    tab->setReplyWaitMs(50);
    tab->tabs()->setCurrentIndex(1);
    tab->selectClient(kAgent);
    ASSERT_EQ(1u, sent.size());
    EXPECT_TRUE(vrdtest::waitUntil(
        [&] { return chartMessage() == QLatin1String("this agent keeps no history it can send"); }, 2000))
        << chartMessage().toStdString();
    // A reply after the wait is not drawn over the message.
    tab->handleReply(reply(kAgent, {SensorCpuTemp, 173, {{1709553660, 40, 41, 42}}}));
    EXPECT_EQ(0, tab->view()->chart()->drawnRuns());
}

TEST_F(HistoryTabTest, ReplyOfTheSelectedClientIsDrawnWithItsGaps)
{
    tab->tabs()->setCurrentIndex(1);
    tab->selectClient(kAgent);
    const HistoryQuery asked = *lastRequest();
    const qint64 step = historyStep(asked);
    HistorySeries series{asked.type, step, {}};
    for (int k : {0, 1, 2, 10, 11, 40})
        series.buckets.push_back({asked.from + k * step, 40 + k, 45 + k, 50 + k});

    tab->handleReply(reply(kOther, series)); // another client's
    EXPECT_EQ(0, tab->view()->chart()->drawnRuns());
    HistorySeries otherType = series;
    otherType.type = SensorSysTemp; // an answer to an older request
    tab->handleReply(reply(kAgent, otherType));
    EXPECT_EQ(0, tab->view()->chart()->drawnRuns());

    tab->handleReply(reply(kAgent, series));
    EXPECT_EQ(3, tab->view()->chart()->drawnRuns()); // two gaps
    const double insideBucket10 = double(asked.from + 10 * step + 1) * 1000.0;
    EXPECT_TRUE(tab->view()->chart()->bucketTextAt(insideBucket10).contains(QStringLiteral("min 50 'C  avg 55 'C  max 60 'C")))
        << tab->view()->chart()->bucketTextAt(insideBucket10).toStdString();
    EXPECT_TRUE(tab->view()->chart()->bucketTextAt(double(asked.from + 5 * step) * 1000.0).isEmpty()); // in a gap
}

} // namespace
