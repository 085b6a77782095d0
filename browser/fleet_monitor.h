// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's view of the fleet as a whole: the health column of the client list (from the
// health poller; a client in fault names its readings out of their limits in a tool tip), the
// record of fleet events (online, offline, fault started, fault ended, identity claimed) in
// FLEETEVENT_TBL with the panel that lists them newest first, and one notification balloon per
// fault episode of a client. Each client records at most kFleetEventsPerClientHour events an
// hour. Everything runs on the GUI thread; what it writes to the database is gathered and
// written once a second in one transaction.

#include "client_list.h"
#include "fleet_events.h"
#include "health_poller.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QMap>
#include <QObject>
#include <QStandardItemModel>
#include <QTimer>
#include <QUuid>
#include <QVector>

#include <functional>
#include <memory>

class QMainWindow;
class QSystemTrayIcon;

class FleetMonitor : public QObject {
    Q_OBJECT

public:
    struct Setup {
        QString databasePath;                 // the registry's file
        ClientList* clients = nullptr;
        std::function<void(const QUuid&)> ask; // sends a current-sensors request
        std::function<QDateTime()> clock;      // wall time of the events
        QMainWindow* window = nullptr;         // receives the events panel
    };

    // The panel lists at most this many events; the table keeps kFleetEventDays days.
    static constexpr int kShownEvents = 1000;

    explicit FleetMonitor(Setup setup);
    ~FleetMonitor() override;

    // After each status refresh: who came online or went offline since the last.
    void afterStatusRefresh();
    // Every current-sensors reply, whoever asked for it.
    void onSensorReply(const QUuid& client, const msg::SensorReport& report);
    void setSelected(const QUuid& client);
    // The window asked the selected client for its readings.
    void noteAsked(const QUuid& client);
    // A reply on `account`'s topic claimed the client, which is tied to another account. The
    // caller tells each account at most once an hour.
    void recordClaim(const QUuid& client, const QString& account);

    // Seams for tests and measuring tools.
    void setPolling(bool on); // on at construction
    HealthPoller& poller() { return m_poller; }
    QStandardItemModel* eventsModel() { return &m_events; }
    int balloonsRaised() const { return m_balloons; }
    quint64 eventsBeyondBudget() const { return m_budget.dropped(); }
    static QString healthText(ClientHealth health);

private:
    void step();
    void showHealth(const QUuid& client, ClientHealth health);
    void noteFault(const QUuid& client, const SensorFault& fault, bool started);
    void showFaultTip(const QUuid& client);
    void record(const QUuid& client, FleetEventKind kind, const SensorFault& fault = {});
    void keep(const FleetEvent& event);
    void raiseBalloon(const QUuid& client);
    void showEvent(const FleetEvent& event, bool newest);
    void flush();
    void buildPanel(QMainWindow* window);
    void loadRecentEvents();
    QString nameOf(const QUuid& client) const;

    ClientList* m_clients;
    std::function<QDateTime()> m_clock;
    HealthPoller m_poller;
    FleetEventStore m_store;
    QStandardItemModel m_events;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QTimer m_stepTimer;
    QElapsedTimer m_monotonic;
    QHash<QUuid, bool> m_online;
    QVector<FleetEvent> m_unwritten;
    FleetEventBudget m_budget;
    QHash<int, QIcon> m_healthIcons; // by ClientHealth
    QHash<QUuid, SensorFault> m_firstFault; // of the episode whose balloon is due, for its text
    QHash<QUuid, QMap<int, SensorFault>> m_faults; // by client, the readings out of limits by SensorType
    qint64 m_lastPurgeUtc = 0;
    int m_balloons = 0;
};
