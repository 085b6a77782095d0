// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A history chart with its controls: a type picker and the ranges 1 hour, 24 hours, 7 days and
// 60 days, each asked for in 500 buckets ending now. The owner answers historyWanted with
// showSeries or showMessage: the station asks its agent over the broker, the agent reads its
// own database.

#include "history_chart.h"

#include <QDateTime>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QComboBox;
class QLabel;

class HistoryView : public QWidget {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    static constexpr int kPoints = kHistoryMaxPoints;

    explicit HistoryView(QWidget* parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // The query the controls stand for at this moment.
    HistoryQuery currentQuery() const;
    // Asks again for what the controls show (historyWanted).
    void refresh();

    // The answer to the query last asked; answers to an older one are ignored.
    void showSeries(const HistoryQuery& asked, const HistorySeries& series, const SensorFigures& limits);
    void showMessage(const QString& text);

    HistoryChart* chart() const { return m_chart; }
    QComboBox* typePicker() const { return m_type; }
    QButtonGroup* ranges() const { return m_ranges; }

signals:
    void historyWanted(const HistoryQuery& query);

private:
    Clock m_clock;
    QComboBox* m_type = nullptr;
    QButtonGroup* m_ranges = nullptr;
    QLabel* m_status = nullptr;
    HistoryChart* m_chart = nullptr;
    HistoryQuery m_asked;
};
