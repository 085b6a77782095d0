// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One sensor's history as a chart: the band from the lowest to the highest value of each bucket
// with the mean as a line over it, the limits as horizontal lines, a gap wherever buckets are
// missing, the time axis in local time, and the bucket's values beside the pointer.

#include "history_series.h"
#include "sensor_types.h"

#include <qwt_plot.h>

#include <vector>

class QwtPlotItem;
class QwtPlotTextLabel;

class HistoryChart : public QwtPlot {
    Q_OBJECT

public:
    explicit HistoryChart(QWidget* parent = nullptr);
    ~HistoryChart() override;

    // Draws `series` over [from, to) (Unix seconds) with the limits the type has in `limits`.
    void showSeries(const HistorySeries& series, qint64 from, qint64 to, const SensorFigures& limits);
    // Clears the chart and shows a line of text in its middle.
    void showMessage(const QString& text);

    // The text shown beside the pointer at time `msSinceEpoch` (plot x); empty off any bucket.
    QString bucketTextAt(double msSinceEpoch) const;
    // Runs of buckets drawn without a break; a missing bucket starts a new run.
    int drawnRuns() const { return m_runs; }

    // Small enough for the agent's window: the time axis shows as many labels as fit.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void clearItems();
    void addRun(const std::vector<HistoryBucket>& run);
    void addLimit(int value, const QString& label);
    double shown(int value) const;

    HistorySeries m_series;
    SensorUnit m_unit = SensorUnit::Celsius;
    std::vector<QwtPlotItem*> m_items;
    QwtPlotTextLabel* m_message = nullptr;
    int m_runs = 0;
};
