// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet_monitor.h"

#include "remote_text.h"

#include <QDockWidget>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTableView>

namespace {

constexpr char kConnectionName[] = "vrd_fleet_events";
constexpr qint64 kPurgeEverySeconds = 3600;
constexpr qint64 kSecondsPerDay = 86400;
constexpr int kBalloonMs = 5000;
constexpr char kTimeFormat[] = "yyyy/MM/dd hh:mm:ss";
constexpr int kOpenRows = 6;

struct HealthLook {
    ClientHealth health;
    const char* text;
    const char* icon; // null: no icon
};

constexpr HealthLook kHealthLooks[] = {
    {ClientHealth::Healthy, "healthy", ":/Mainform/icons/health_ok.png"},
    {ClientHealth::Fault, "fault", ":/Mainform/icons/health_fault.png"},
    {ClientHealth::NoAnswer, "no answer", ":/Mainform/icons/health_silent.png"},
    {ClientHealth::Unknown, "", nullptr},
};

enum EventColumn { TimeColumn, ClientColumn, WhatColumn, EventColumns };

} // namespace

FleetMonitor::FleetMonitor(Setup setup)
    : m_clients(setup.clients)
    , m_clock(std::move(setup.clock))
    , m_poller({std::move(setup.ask), [this](const QUuid& c, ClientHealth h) { showHealth(c, h); },
                [this](const QUuid& c, const SensorFault& f, bool started) { noteFault(c, f, started); },
                [this](const QUuid& c) { raiseBalloon(c); }})
    , m_store(QLatin1String(kConnectionName))
    , m_events(0, EventColumns)
{
    for (const HealthLook& look : kHealthLooks)
        m_healthIcons.insert(int(look.health), look.icon ? QIcon(QLatin1String(look.icon)) : QIcon());
    m_events.setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Client"), QStringLiteral("Event")});
    m_store.open(setup.databasePath);
    loadRecentEvents();
    if (setup.window)
        buildPanel(setup.window);
    m_monotonic.start();
    connect(&m_stepTimer, &QTimer::timeout, this, &FleetMonitor::step);
    setPolling(true);
}

FleetMonitor::~FleetMonitor()
{
    // Only what is pending: the window's clock may be gone by now (a test's, a tool's).
    m_store.append(m_unwritten);
}

QString FleetMonitor::healthText(ClientHealth health)
{
    for (const HealthLook& look : kHealthLooks)
        if (look.health == health)
            return QString::fromLatin1(look.text);
    return QString();
}

void FleetMonitor::buildPanel(QMainWindow* window)
{
    auto* view = new QTableView;
    view->setObjectName(QStringLiteral("tvFleetEvents"));
    view->setModel(&m_events);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    auto* dock = new QDockWidget(QStringLiteral("Fleet events"), window);
    dock->setObjectName(QStringLiteral("dwFleetEvents"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(view);
    window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    // Fixed sizes from the window's font (inherited once docked): sizing to the contents would
    // measure every row on each event.
    const QFontMetrics metrics = view->fontMetrics();
    const int rowHeight = metrics.height() + 4;
    view->verticalHeader()->setDefaultSectionSize(rowHeight);
    view->setColumnWidth(TimeColumn, metrics.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 16);
    view->setColumnWidth(ClientColumn, metrics.horizontalAdvance(QStringLiteral("OFFICE\\WS-0000")) + 40);
    // Opens six events high, so that the client's panes keep their room; it can be dragged taller.
    window->resizeDocks({dock}, {view->horizontalHeader()->sizeHint().height() + kOpenRows * rowHeight},
                        Qt::Vertical);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/Mainform/icons/varden_browser.png")));
        m_tray->setToolTip(QStringLiteral("Varden Browser"));
        m_tray->show();
    }
}

void FleetMonitor::loadRecentEvents()
{
    const std::optional<QVector<FleetEvent>> recent = m_store.newest(kShownEvents);
    if (!recent)
        return;
    for (const FleetEvent& event : *recent)
        showEvent(event, false);
}

void FleetMonitor::setPolling(bool on)
{
    if (on)
        m_stepTimer.start(int(HealthPoller::kStepMs));
    else
        m_stepTimer.stop();
}

void FleetMonitor::step()
{
    m_poller.step(m_monotonic.elapsed());
}

void FleetMonitor::afterStatusRefresh()
{
    for (int row = 0; row < m_clients->rowCount(); ++row) {
        const QUuid client = m_clients->identityAt(row);
        const bool online = m_clients->shownOnline(row);
        bool& was = m_online[client];
        if (was == online)
            continue;
        was = online;
        m_poller.setOnline(client, online);
        record(client, online ? FleetEventKind::Online : FleetEventKind::Offline);
    }
    flush();
}

void FleetMonitor::onSensorReply(const QUuid& client, const msg::SensorReport& report)
{
    m_poller.onSensorReply(client, report);
}

void FleetMonitor::setSelected(const QUuid& client)
{
    m_poller.setSelected(client);
}

void FleetMonitor::noteAsked(const QUuid& client)
{
    m_poller.noteAsked(client, m_monotonic.elapsed());
}

void FleetMonitor::showHealth(const QUuid& client, ClientHealth health)
{
    const int row = m_clients->rowOf(client);
    if (row >= 0)
        m_clients->setHealth(row, m_healthIcons.value(int(health)), healthText(health), int(health));
    showFaultTip(client);
}

void FleetMonitor::noteFault(const QUuid& client, const SensorFault& fault, bool started)
{
    record(client, started ? FleetEventKind::FaultStarted : FleetEventKind::FaultEnded, fault);
    if (started) {
        m_firstFault.insert(client, fault);
        m_faults[client].insert(fault.sensorType, fault);
    } else {
        m_faults[client].remove(fault.sensorType);
    }
    showFaultTip(client);
}

// Only while the client is shown in fault: one that stopped answering says nothing of readings
// it no longer reports.
void FleetMonitor::showFaultTip(const QUuid& client)
{
    const int row = m_clients->rowOf(client);
    if (row < 0)
        return;
    QStringList lines;
    if (m_poller.healthOf(client) == ClientHealth::Fault)
        for (const SensorFault& fault : m_faults.value(client))
            lines << sensorFaultText(fault.sensorType, fault.value, fault.limit);
    m_clients->setHealthTip(row, lines.join(QLatin1Char('\n')));
}

QString FleetMonitor::nameOf(const QUuid& client) const
{
    const int row = m_clients->rowOf(client);
    return row >= 0 ? m_clients->nameAt(row) : QString();
}

void FleetMonitor::record(const QUuid& client, FleetEventKind kind, const SensorFault& fault)
{
    FleetEvent event;
    event.utcSeconds = m_clock().toSecsSinceEpoch();
    event.client = client;
    event.name = nameOf(client);
    switch (m_budget.admit(client, event.utcSeconds)) {
    case FleetEventBudget::Admit::Drop:
        return;
    case FleetEventBudget::Admit::RecordHeld:
        event.kind = FleetEventKind::EventsHeld;
        break;
    case FleetEventBudget::Admit::Record:
        event.kind = kind;
        event.sensorType = fault.sensorType;
        event.value = fault.value;
        event.limit = fault.limit;
        break;
    }
    keep(event);
}

// Outside the client's budget: the claims are the forger's doing, not the client's, and must not
// use up the events of the client they name.
void FleetMonitor::recordClaim(const QUuid& client, const QString& account)
{
    FleetEvent event;
    event.utcSeconds = m_clock().toSecsSinceEpoch();
    event.client = client;
    event.name = nameOf(client);
    event.kind = FleetEventKind::IdentityClaimed;
    event.detail = account;
    keep(event);
}

void FleetMonitor::keep(const FleetEvent& event)
{
    m_unwritten.append(event);
    showEvent(event, true);
}

void FleetMonitor::raiseBalloon(const QUuid& client)
{
    ++m_balloons;
    const SensorFault fault = m_firstFault.take(client);
    if (!m_tray)
        return;
    FleetEvent event;
    event.kind = FleetEventKind::FaultStarted;
    event.sensorType = fault.sensorType;
    event.value = fault.value;
    event.limit = fault.limit;
    m_tray->showMessage(nameOf(client), fleetEventText(event), QSystemTrayIcon::Warning, kBalloonMs);
}

void FleetMonitor::showEvent(const FleetEvent& event, bool newest)
{
    const QString time = QDateTime::fromSecsSinceEpoch(event.utcSeconds).toString(QLatin1String(kTimeFormat));
    auto* what = new QStandardItem(oneLineText(fleetEventText(event)));
    if (event.kind == FleetEventKind::FaultStarted)
        what->setIcon(m_healthIcons.value(int(ClientHealth::Fault)));
    const QList<QStandardItem*> row{new QStandardItem(time), new QStandardItem(oneLineText(event.name)), what};
    if (newest)
        m_events.insertRow(0, row);
    else
        m_events.appendRow(row);
    if (m_events.rowCount() > kShownEvents)
        m_events.removeRows(kShownEvents, m_events.rowCount() - kShownEvents);
}

void FleetMonitor::flush()
{
    m_store.append(m_unwritten);
    m_unwritten.clear();
    const qint64 now = m_clock().toSecsSinceEpoch();
    if (now - m_lastPurgeUtc < kPurgeEverySeconds)
        return;
    m_lastPurgeUtc = now;
    m_store.purgeBefore(now - kFleetEventDays * kSecondsPerDay);
}
