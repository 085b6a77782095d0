// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "history_chart.h"

#include <QDateTime>
#include <QPen>

#include <qwt_date.h>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_intervalcurve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

#include <algorithm>

namespace {

const QColor kBandColor(70, 130, 180, 90);
const QColor kLineColor(25, 80, 140);
const QColor kLimitColor(200, 40, 40);

// Below this the chart shows too little to read; above it the window's layout decides.
constexpr int kMinimumWidth = 260;
constexpr int kMinimumHeight = 120;
// The widest line of a time label, and the room kept between two labels, as a share of it.
constexpr char kWidestTimeLabel[] = "Wed 29 Sep";
constexpr double kTimeLabelRoom = 1.6;

double msOf(qint64 seconds)
{
    return double(seconds) * 1000.0;
}

// Shows the values of the bucket under the pointer.
class BucketPicker : public QwtPlotPicker {
public:
    explicit BucketPicker(HistoryChart* chart)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::NoRubberBand, QwtPicker::AlwaysOn,
                        chart->canvas())
        , m_chart(chart)
    {
        setStateMachine(new QwtPickerTrackerMachine);
    }

protected:
    QwtText trackerTextF(const QPointF& pos) const override
    {
        QwtText text(m_chart->bucketTextAt(pos.x()));
        text.setBackgroundBrush(QColor(255, 255, 255, 220));
        return text;
    }

private:
    HistoryChart* m_chart;
};

} // namespace

HistoryChart::HistoryChart(QWidget* parent)
    : QwtPlot(parent)
{
    setCanvasBackground(Qt::white);
    auto* scaleDraw = new QwtDateScaleDraw(Qt::LocalTime);
    scaleDraw->setDateFormat(QwtDate::Hour, QStringLiteral("hh:mm\nddd d MMM"));
    scaleDraw->setDateFormat(QwtDate::Minute, QStringLiteral("hh:mm"));
    scaleDraw->setDateFormat(QwtDate::Day, QStringLiteral("ddd d MMM"));
    setAxisScaleDraw(QwtPlot::xBottom, scaleDraw);
    setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
    auto* grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(220, 220, 220), 0, Qt::DotLine);
    grid->attach(this);
    m_message = new QwtPlotTextLabel;
    m_message->attach(this);
    new BucketPicker(this);
    // The plot's own policy makes its preferred size its least, wider than the agent's window.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize HistoryChart::minimumSizeHint() const
{
    return QSize(kMinimumWidth, kMinimumHeight);
}

void HistoryChart::resizeEvent(QResizeEvent* event)
{
    const QFontMetrics metrics = axisWidget(QwtPlot::xBottom)->fontMetrics();
    const int labelWidth = int(kTimeLabelRoom * metrics.horizontalAdvance(QLatin1String(kWidestTimeLabel)));
    setAxisMaxMajor(QwtPlot::xBottom, std::max(2, width() / std::max(1, labelWidth)));
    QwtPlot::resizeEvent(event);
}

HistoryChart::~HistoryChart() = default;

double HistoryChart::shown(int value) const
{
    return m_unit == SensorUnit::Millivolts ? value / 1000.0 : double(value);
}

void HistoryChart::clearItems()
{
    for (QwtPlotItem* item : m_items) {
        item->detach();
        delete item;
    }
    m_items.clear();
    m_runs = 0;
    m_message->setText(QwtText());
}

void HistoryChart::showMessage(const QString& text)
{
    clearItems();
    m_series = HistorySeries();
    m_message->setText(QwtText(text));
    replot();
}

void HistoryChart::showSeries(const HistorySeries& series, qint64 from, qint64 to, const SensorFigures& limits)
{
    clearItems();
    m_series = series;
    const SensorTypeRow* row = sensorTypeRow(series.type);
    m_unit = row ? row->unit : SensorUnit::Celsius;
    // The unit alone: the choice above the chart names the sensor, and a long title would not
    // fit the axis of a short chart.
    setAxisTitle(QwtPlot::yLeft, row ? unitSymbol(m_unit) : QString());
    setAxisScale(QwtPlot::xBottom, msOf(from), msOf(to));

    std::vector<HistoryBucket> run;
    for (const HistoryBucket& bucket : series.buckets) {
        if (!run.empty() && bucket.start - run.back().start > series.step) {
            addRun(run);
            run.clear();
        }
        run.push_back(bucket);
    }
    if (!run.empty())
        addRun(run);
    if (row && hasHighLimit(row->rule))
        addLimit(limits.high, tr("high limit"));
    if (row && hasLowLimit(row->rule))
        addLimit(limits.low, tr("low limit"));
    if (series.buckets.empty())
        m_message->setText(QwtText(tr("No readings logged in this range")));
    setAxisAutoScale(QwtPlot::yLeft);
    replot();
}

// A run is drawn from the start of its first bucket to the end of its last, so that a lone
// bucket still shows; each point sits in the middle of its bucket.
void HistoryChart::addRun(const std::vector<HistoryBucket>& run)
{
    QVector<QwtIntervalSample> band;
    QVector<QPointF> line;
    const double half = msOf(m_series.step) / 2.0;
    for (const HistoryBucket& b : run) {
        const double middle = msOf(b.start) + half;
        band.append(QwtIntervalSample(middle, shown(b.min), shown(b.max)));
        line.append(QPointF(middle, shown(b.avg)));
    }
    if (run.size() == 1) {
        const HistoryBucket& b = run.front();
        band = {QwtIntervalSample(msOf(b.start), shown(b.min), shown(b.max)),
                QwtIntervalSample(msOf(b.start) + 2 * half, shown(b.min), shown(b.max))};
        line = {QPointF(msOf(b.start), shown(b.avg)), QPointF(msOf(b.start) + 2 * half, shown(b.avg))};
    }
    auto* area = new QwtPlotIntervalCurve;
    area->setSamples(band);
    area->setPen(QPen(Qt::NoPen));
    area->setBrush(kBandColor);
    area->attach(this);
    auto* mean = new QwtPlotCurve;
    mean->setSamples(line);
    mean->setPen(kLineColor, 1.5);
    mean->setRenderHint(QwtPlotItem::RenderAntialiased);
    mean->attach(this);
    m_items.push_back(area);
    m_items.push_back(mean);
    ++m_runs;
}

void HistoryChart::addLimit(int value, const QString& label)
{
    auto* marker = new QwtPlotMarker;
    marker->setLineStyle(QwtPlotMarker::HLine);
    marker->setLinePen(kLimitColor, 1, Qt::DashLine);
    marker->setYValue(shown(value));
    marker->setItemAttribute(QwtPlotItem::AutoScale, true); // the limit stays in sight
    QwtText text(QStringLiteral("%1 %2 %3").arg(label, valueText(m_unit, value), unitSymbol(m_unit)));
    text.setColor(kLimitColor);
    marker->setLabel(text);
    marker->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    marker->attach(this);
    m_items.push_back(marker);
}

QString HistoryChart::bucketTextAt(double msSinceEpoch) const
{
    const qint64 second = qint64(msSinceEpoch / 1000.0);
    const auto found = std::find_if(m_series.buckets.begin(), m_series.buckets.end(), [&](const HistoryBucket& b) {
        return second >= b.start && second < b.start + m_series.step;
    });
    if (found == m_series.buckets.end())
        return QString();
    const QString unit = unitSymbol(m_unit);
    return tr("%1\nmin %2 %5  avg %3 %5  max %4 %5")
        .arg(QDateTime::fromSecsSinceEpoch(found->start).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")),
             valueText(m_unit, found->min), valueText(m_unit, found->avg), valueText(m_unit, found->max), unit);
}
