// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The log page: the newest faults of a category, read from the agent's database when asked.

#include "mainform.h"
#include "ui_Mainform.h"

#include <QStandardItem>
#include <QStandardItemModel>

namespace {

// The log page's icon of a type, by its unit; empty for unknown codes.
QString logIconOf(int code)
{
    const SensorTypeRow* row = sensorTypeRow(code);
    if (!row)
        return QString();
    switch (row->unit) {
    case SensorUnit::Millivolts:
        return QStringLiteral(":/ShellIcon/ICON/Power.png");
    case SensorUnit::Rpm:
        return QStringLiteral(":/ShellIcon/ICON/Fan.png");
    case SensorUnit::Celsius:
        return QStringLiteral(":/ShellIcon/ICON/Temp.png");
    case SensorUnit::Percent:
        return QStringLiteral(":/ShellIcon/ICON/windows.png");
    }
    return QString();
}

} // namespace

void Mainform::createLogModel()
{
    m_logModel = new QStandardItemModel(0, 3, this);
    m_ui->tvSqlQueryExec->setModel(m_logModel);
    setLogHeaders();
}

void Mainform::setLogHeaders()
{
    m_logModel->clear();
    m_logModel->setColumnCount(3);
    m_logModel->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Type"), QStringLiteral("Note")});
    // The Note column takes the rest: the form stretches the last section, since the view has no
    // width of its own while the window is still hidden.
    m_ui->tvSqlQueryExec->setColumnWidth(0, 120);
    m_ui->tvSqlQueryExec->setColumnWidth(1, 40);
}

void Mainform::runLogQuery()
{
    const std::optional<SensorLogRows> rows =
        m_agent.database().faultLog(faultFilterForIndex(m_ui->cboxSqlLogCmd->currentIndex()));
    setLogHeaders();
    if (!rows)
        return;
    for (const SensorLogRow& row : *rows)
        appendLogRow(row);
}

void Mainform::appendLogRow(const SensorLogRow& row)
{
    auto* type = new QStandardItem;
    const QString icon = logIconOf(row.typeId);
    if (icon.isEmpty())
        type->setText(QStringLiteral("?"));
    else
        type->setIcon(QIcon(icon));
    m_logModel->appendRow({new QStandardItem(row.dateTime), type,
                           new QStandardItem(sensorLogText(row.typeId, row.data))});
}
