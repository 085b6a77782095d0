// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The window's History page: the reading history of this machine, read from its own database on
// the window's thread (no broker needed), with the limits set on the settings pages.

#include "history_view.h"
#include "mainform.h"
#include "ui_Mainform.h"

#include <QListWidgetItem>

void Mainform::addHistoryPage()
{
    m_historyView = new HistoryView;
    m_historyView->setObjectName(QStringLiteral("PageHistory"));
    m_ui->swInfoPanel->addWidget(m_historyView);
    new QListWidgetItem(QIcon(QStringLiteral(":/ShellIcon/ICON/Temp.png")), tr("History"), m_ui->lwItemSelector);
    connect(m_historyView, &HistoryView::historyWanted, this, &Mainform::showHistory);
    connect(m_ui->swInfoPanel, &QStackedWidget::currentChanged, this, [this](int) {
        if (m_ui->swInfoPanel->currentWidget() == m_historyView)
            m_historyView->refresh();
    });
}

void Mainform::showHistory(const HistoryQuery& query)
{
    const std::optional<HistorySeries> series = m_agent.database().history(query);
    if (!series) {
        m_historyView->showMessage(tr("No history to show: its summaries are still being built, or the database "
                                      "cannot be read"));
        return;
    }
    m_historyView->showSeries(query, *series, figuresOf(m_agent.snapshot(), query.type));
}
