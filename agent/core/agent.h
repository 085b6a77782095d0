// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The agent without its window: one object that owns every resource of a watched machine's agent
// and runs its one-second tick. The tray program (VrdClient) shows it in a window; vrd-agent runs
// it alone. Views learn what to show through the signals and read the rest through the getters;
// nothing here needs Qt Gui or Widgets.
//
// Who owns what (everything on the thread that created the Agent, "the main thread", but the
// logging thread and its connection):
//   sensor library      GaugeReadings: bound and started at start-up, read by the tick, released
//                       at shutdown
//   settings file       read at start-up, written by the tick after a change and at shutdown
//   debug-message log   DebugLog: opened once the settings give its switch, closed last
//   "sysinfo2.sqlite"   ClientDatabase, the main thread's connection: start-up maintenance, host
//                       identity, inventory table, the fault and history answers, a view's pages;
//                       TSQLThread, the logging thread with a connection of its own
//   broker links        LiveAgent's AgentLinks, only when [CLOUD] ENABLE is set
//   metrics file        written every 10 s when [EXPORT] PROMETHEUS_DIR is set
//
//     Agent agent(setup);
//     if (agent.start() != Agent::Start::Started) { ...tell the user...; agent.noteStartFailure(); }
//     app.exec();                         // the tick and the links run on the event loop
//     // ~Agent: the orderly shutdown
//
// A view that interleaves steps of its own (the window's widgets between the settings and the
// database) calls the steps of start() one by one, in their order, instead.

#include "agent_settings.h"
#include "client_database.h"
#include "database_faults.h"
#include "debug_log.h"
#include "gauge_readings.h"
#include "inventory.h"
#include "live_agent.h"
#include "tsql_thread.h"

#include <QObject>
#include <QTimer>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

// One agent per login session, whether the tray program or vrd-agent: both keep the same files.
inline const QString kAgentInstanceName = QStringLiteral("DD4B0E7C-A259-48DA-859F-47233CBE2557");

struct AgentSetup {
    QString settingsPath = kSettingsFileName;
    // Where "sysinfo2.sqlite" and "DbgMainThread.sqlite" lie; empty: the working directory.
    QString dataDirectory;
    // Readings from functions already in the process instead of the library file (a scripted board).
    std::optional<GaugeApi> readers;
    // Where the debug-message log's lines go besides its file.
    DebugLog::Sink debugSink = DebugLog::standardError;
};

class Agent : public QObject {
    Q_OBJECT

public:
    enum class Start { Started, LibraryNotLoaded, SensorNotDetected };

    explicit Agent(const AgentSetup& setup = {}, QObject* parent = nullptr);
    // The orderly shutdown: the links, the logging thread (bounded wait), the database, the
    // settings file (always written), the library's release, the debug log.
    ~Agent() override;

    // Every start-up step in order; stops after a sensor failure, which is then the result.
    Start start();

    // The steps of start(), in their order.
    void gatherInventory();
    void loadSettings();
    void openDebugLog();
    void openDatabase();  // maintenance, host identity, inventory table
    void startPolling();  // the tick runs from here on, reading nothing until the sensors start
    Start startSensors(); // bind, DLLInitial, the first reading, the rails the board lacks
    void startLogging();
    void startLinks();    // only when [CLOUD] ENABLE is set
    void startExport();   // only when [EXPORT] PROMETHEUS_DIR is set

    // After a failed start, once the user has been told: the debug-log entry, and DLLRelease when
    // the library was bound.
    void noteStartFailure(Start failure);

    // The one-second tick: read the sensors, judge the alarm, hand the snapshot to the logging
    // thread, write the settings file when a setting changed.
    void tick();

    // A setting changed by the user: takes effect on the next tick, which also writes the file.
    void setSwitch(uint8_t SensorSnapshot::*field, bool on);
    void setLimit(int16_t SensorSnapshot::*field, int value);

    // Asks the logging thread to end its pass now (the tray's Quit); shutdown waits for it.
    void requestLoggingStop();

    const SensorSnapshot& snapshot() const { return m_live.snapshot(); }
    const BrokerSettings& brokerSettings() const { return m_broker; }
    const ExportSettings& exportSettings() const { return m_exports; }
    bool settingsChanged() const { return m_settingsChanged; }
    const AlarmLatch& alarm() const { return m_live.alarm(); }
    QUuid hostIdentity() const { return m_live.identity(); }
    const Inventory& inventory() const { return m_inventory; }
    bool loggingThreadRunning() const { return m_loggingThread.isRunning(); }
    // The rails start-up switched off because the board does not have them.
    const std::vector<SensorType>& removedRails() const { return m_removedRails; }
    // What DLLInitial returned, its source line, and the library files tried.
    int libraryStatus() const { return m_gauge.status(); }
    QString sourceLine() const { return m_sourceLine; }
    const GaugeReadings& sensors() const { return m_gauge; }
    // The main thread's connection, for a view's log and history pages.
    const ClientDatabase& database() const { return m_database; }
    AgentLinks* links() const { return m_live.links(); }

signals:
    // The settings file has been read (the debug switch is known from here on).
    void settingsLoaded();
    // Every tick, after the readings were taken (also while the sensors do not run).
    void readingsTaken();
    // Every tick: the alarm verdict over the switched-on sensors.
    void alarmJudged(bool fault);
    // A tick begins a fault episode (the one balloon of it), or ends one.
    void faultEpisodeBegan();
    void faultEpisodeEnded();

private:
    void writeExport();
    // Backed by the debug-message log once it is open; its sink alone until then.
    void writeDebugLog(const char* location, int line, int type, const QString& text);
    void stopLoggingThread();

    const QString m_settingsPath;
    const QString m_dataDirectory;
    const std::optional<GaugeApi> m_readers;
    const DebugLog::Sink m_debugSink;

    BrokerSettings m_broker;
    ExportSettings m_exports;
    bool m_settingsChanged = false;

    GaugeReadings m_gauge;
    QString m_sourceLine;
    std::vector<SensorType> m_removedRails;

    Inventory m_inventory;
    std::unique_ptr<DebugLog> m_debugLog;
    ClientDatabase m_database;
    DatabaseFaults m_faults{m_database};
    TSQLThread m_loggingThread;
    LiveAgent m_live;

    QTimer m_pollTimer;
    QTimer m_exportTimer;
    bool m_exportFailing = false;
};
