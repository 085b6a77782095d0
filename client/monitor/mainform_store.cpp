// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The window's side of the client's data: the inventory, the debug-message log, the database with
// its start-up maintenance, the logging thread and the log page.

#include "dmi_table.h"
#include "mainform.h"
#include "thread_shutdown.h"
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

void Mainform::gatherInventory()
{
    m_inventory = ::gatherInventory();
    showSystemInformation(m_inventory.procName, m_inventory.procId, m_inventory.procLogicalProcessors,
                          m_inventory.osCaption, m_inventory.osVersion, m_inventory.osBuildNumber);
}

void Mainform::openDebugLog()
{
    m_debugLog = DebugLog::forSwitch(m_snapshot.Debug != 0, m_dataDirectory.toStdString());
}

void Mainform::writeDebugLog(const char* location, int line, int type, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (m_debugLog)
        m_debugLog->Write(location, line, type, std::string_view(bytes.constData(), size_t(bytes.size())));
    else
        DebugLog::standardError(DebugLog::debuggerLine(location, line, bytes.constData()));
}

void Mainform::closeDebugLog()
{
    m_debugLog.reset();
}

void Mainform::openDatabase()
{
    // Unchecked on purpose: the monitor runs on without history, each statement failing quietly.
    m_database.openWithMaintenance(*m_debugLog);
    m_hostIdentity = checkHostIdentity(m_database.connection(), *m_debugLog);
    refreshInventoryTable(m_database.connection(), m_inventory, *m_debugLog);
    // From here on the connection answers the log page and the fault requests on this thread.
    m_database.setBusyTimeout(ClientDatabase::kWindowBusyTimeoutMs);
}

void Mainform::closeDatabase()
{
    m_database.close();
}

void Mainform::startLoggingThread()
{
    m_loggingThread.setDatabasePath(m_database.path());
    m_loggingThread.SetSnapshot(m_snapshot);
    m_loggingThread.start(QThread::InheritPriority);
}

void Mainform::handOverSnapshot()
{
    m_loggingThread.SetSnapshot(m_snapshot);
}

void Mainform::requestLoggingStop()
{
    m_loggingThread.RequestStop();
}

void Mainform::stopLoggingThread()
{
    requestLoggingStop();
    finishStoppedThread(m_loggingThread);
}

void Mainform::runLogQuery()
{
    const std::optional<SensorLogRows> rows =
        m_database.faultLog(faultFilterForIndex(m_ui->cboxSqlLogCmd->currentIndex()));
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
