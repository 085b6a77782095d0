// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "history_view.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

struct Range {
    const char* label;
    qint64 seconds;
};

constexpr qint64 kHour = 3600;
constexpr Range kRanges[] = {
    {"1 h", kHour},
    {"24 h", 24 * kHour},
    {"7 days", 7 * 24 * kHour},
    {"60 days", 60 * 24 * kHour},
};
constexpr int kDefaultRange = 1;

// Ends on the next whole minute, or hour for the ranges of days, so that the buckets begin on
// whole minutes or hours (the agent then reads its summaries alone) and two askings within a
// minute ask the same.
qint64 rangeEnd(const QDateTime& now, qint64 range)
{
    const qint64 unit = range > 24 * kHour ? kHour : 60;
    const qint64 seconds = now.toSecsSinceEpoch();
    return seconds - seconds % unit + unit;
}

} // namespace

HistoryView::HistoryView(QWidget* parent)
    : QWidget(parent)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("cboxHistoryType"));
    for (const SensorTypeRow& row : kSensorTypes)
        m_type->addItem(QLatin1String(row.name), row.code);
    m_type->setCurrentIndex(m_type->findData(int(SensorCpuTemp)));

    m_ranges = new QButtonGroup(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_type);
    for (int i = 0; i < int(std::size(kRanges)); ++i) {
        auto* button = new QToolButton(this);
        button->setText(tr(kRanges[i].label));
        button->setCheckable(true);
        button->setChecked(i == kDefaultRange);
        m_ranges->addButton(button, i);
        controls->addWidget(button);
    }
    m_status = new QLabel(this);
    // Wraps rather than widen the row beyond the agent's small window.
    m_status->setWordWrap(true);
    controls->addWidget(m_status, 1);

    m_chart = new HistoryChart(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(m_chart, 1);

    connect(m_type, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { refresh(); });
    connect(m_ranges, &QButtonGroup::idClicked, this, [this] { refresh(); });
}

HistoryQuery HistoryView::currentQuery() const
{
    const int range = std::max(0, m_ranges->checkedId());
    const qint64 to = rangeEnd(m_clock(), kRanges[range].seconds);
    return {m_type->currentData().toInt(), to - kRanges[range].seconds, to, kPoints};
}

void HistoryView::refresh()
{
    m_asked = currentQuery();
    m_status->setText(tr("asking ..."));
    emit historyWanted(m_asked);
}

void HistoryView::showSeries(const HistoryQuery& asked, const HistorySeries& series, const SensorFigures& limits)
{
    if (asked.type != m_asked.type || asked.from != m_asked.from || asked.to != m_asked.to
        || series.type != asked.type)
        return;
    m_status->setText(tr("%n bucket(s) of %1 s", nullptr, int(series.buckets.size())).arg(series.step));
    m_chart->showSeries(series, asked.from, asked.to, limits);
}

void HistoryView::showMessage(const QString& text)
{
    m_status->clear();
    m_chart->showMessage(text);
}
