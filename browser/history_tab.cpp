// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "history_tab.h"

#include "history_messages.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QTabWidget>

namespace {

constexpr int kFaultsTab = 0;
constexpr int kHistoryTab = 1;

} // namespace

HistoryTab::HistoryTab(QBoxLayout* column, QWidget* faults, Publish publish, QObject* parent)
    : QObject(parent)
    , m_publish(std::move(publish))
{
    const int at = column->indexOf(faults);
    // The tab names the pane; a group box's own heading and frame inside it would say it twice.
    if (auto* box = qobject_cast<QGroupBox*>(faults)) {
        box->setTitle(QString());
        box->setFlat(true);
    }
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("twClientHistory"));
    column->insertWidget(at, m_tabs, column->stretch(at));
    m_tabs->insertTab(kFaultsTab, faults, tr("Faults"));
    m_view = new HistoryView;
    m_tabs->insertTab(kHistoryTab, m_view, tr("History"));

    m_wait.setSingleShot(true);
    m_wait.setInterval(kReplyWaitMs);
    connect(&m_wait, &QTimer::timeout, this, [this] { noAnswer(); });
    connect(m_view, &HistoryView::historyWanted, this, [this](const HistoryQuery& query) { ask(query); });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == kHistoryTab)
            m_view->refresh();
    });
    m_view->showMessage(tr("Select a client to see its history"));
}

bool HistoryTab::historyShown() const
{
    return m_tabs->currentIndex() == kHistoryTab;
}

void HistoryTab::selectClient(const QUuid& client)
{
    if (client == m_client)
        return;
    m_client = client;
    m_limits = {};
    m_wait.stop();
    m_waiting = false;
    m_view->showMessage(QString());
    if (historyShown())
        m_view->refresh();
}

void HistoryTab::noteSensorReport(const msg::SensorReport& report)
{
    m_limits = report;
}

void HistoryTab::ask(const HistoryQuery& query)
{
    if (m_client.isNull()) {
        m_view->showMessage(tr("Select a client to see its history"));
        return;
    }
    m_pending = query;
    m_waiting = true;
    m_publish(m_client, msg::buildHistoryRequest(m_client, query));
    m_wait.start();
}

void HistoryTab::noAnswer()
{
    m_waiting = false;
    m_view->showMessage(tr("this agent keeps no history it can send"));
}

void HistoryTab::handleReply(const QJsonObject& message)
{
    const std::optional<QUuid> sender = msg::addressOf(message);
    if (!m_waiting || !sender || m_client.isNull() || *sender != m_client)
        return;
    const std::optional<HistorySeries> series = msg::parseHistoryReply(message);
    if (!series || series->type != m_pending.type)
        return;
    m_wait.stop();
    m_waiting = false;
    const size_t type = size_t(series->type);
    m_view->showSeries(m_pending, *series, type < m_limits.byType.size() ? m_limits.byType[type] : SensorFigures{});
}
