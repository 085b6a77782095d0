// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The client's main window. It is built hidden, in a fixed order of start-up steps; its one-second
// tick reads the sensors, refreshes the readings page, drives the tray alarm, hands the snapshot on
// and saves changed settings; its destruction is the client's orderly shutdown.

#include "alarm.h"
#include "client_database.h"
#include "debug_log.h"
#include "gauge_binding.h"
#include "inventory.h"
#include "mainform_labels.h"
#include "mqtt_transmit.h"
#include "prometheus_export.h"
#include "request_handlers.h"
#include "sensor_snapshot.h"
#include "settings_keys.h"
#include "tsql_thread.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

class HistoryView;
class QAction;
class QLabel;
class QMenu;
class QStandardItemModel;
namespace Ui {
class MainformClass;
}

struct MainformSetup {
    QString settingsPath = kSettingsFileName;
    // Where "sysinfo2.sqlite" and "DbgMainThread.sqlite" lie; empty: the working directory.
    QString dataDirectory;
    // Readings from functions already in the process instead of the library file (a scripted board).
    std::optional<GaugeApi> readers;
};

class Mainform : public QMainWindow {
    Q_OBJECT

public:
    explicit Mainform(const MainformSetup& setup = {}, QWidget* parent = nullptr);
    ~Mainform() override;

    const SensorSnapshot& snapshot() const { return m_snapshot; }
    const BrokerSettings& brokerSettings() const { return m_broker; }
    const ExportSettings& exportSettings() const { return m_exports; }
    bool settingsChanged() const { return m_settingsChanged; }
    bool quitRequested() const { return m_quit; }
    const AlarmLatch& alarm() const { return m_alarm; }
    QString trayIconPath() const { return m_trayIconPath; }
    QUuid hostIdentity() const { return m_hostIdentity; }
    const Inventory& inventory() const { return m_inventory; }
    bool loggingThreadRunning() const { return m_loggingThread.isRunning(); }

    // The five steps of the polling tick, in tick order. Start-up uses the first two alone.
    void readSensors();
    void refreshReadingLabels();
    void updateAlarm();
    void handOverSnapshot();
    void saveSettingsIfChanged();

    // The System Information page, filled from the inventory.
    void showSystemInformation(const QString& processorName, const QString& processorId, int logicalProcessors,
                               const QString& osCaption, const QString& osVersion, const QString& osBuildNumber);

public slots:
    void slot_TimerEvent();

    void slot_TrayActivated(QSystemTrayIcon::ActivationReason reason);
    void slot_TrayClicked();
    void slot_actTrayAbout();
    void slot_actTrayQuit();
    // Another process asks the client to end (window message 0x0401, or a termination signal).
    void slot_QuitRequested();

    void slot_btnSqlLogExecClicked(bool checked);
    void slot_cboxSqlLogCmdIndexChanged(int index);

    // The request link's messages: answered on the reply link when addressed to this machine.
    void slot_mtsBranchReceived(const MqttMessage& message);
    // The HQ link's messages: the client subscribes to the HQ token but takes no orders there.
    void slot_mtsHQReceived(const MqttMessage& message);

    void slot_cbVcoreChanged(bool on);
    void slot_cbVioChanged(bool on);
    void slot_cbP5VChanged(bool on);
    void slot_cbP12VChanged(bool on);
    void slot_cbN5VChanged(bool on);
    void slot_cbN12VChanged(bool on);
    void slot_cbProcTempChanged(bool on);
    void slot_cbProcFanChanged(bool on);
    void slot_cbSysTempChanged(bool on);
    void slot_cbSysFanChanged(bool on);
    void slot_sbVcoreHiChanged(int value);
    void slot_sbVcoreLoChanged(int value);
    void slot_sbVioHiChanged(int value);
    void slot_sbVioLoChanged(int value);
    void slot_sbP5VHiChanged(int value);
    void slot_sbP5VLoChanged(int value);
    void slot_sbP12VHiChanged(int value);
    void slot_sbP12VLoChanged(int value);
    void slot_sbN5VHiChanged(int value);
    void slot_sbN5VLoChanged(int value);
    void slot_sbN12VHiChanged(int value);
    void slot_sbN12VLoChanged(int value);
    void slot_sbProcTempChanged(int value);
    void slot_sbProcFanChanged(int value);
    void slot_sbSysTempChanged(int value);
    void slot_sbSysFanChanged(int value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class StartFailure { LibraryNotLoaded, SensorNotDetected };

    struct ReadingLabel {
        QLabel* label;
        SensorType type;
    };

    // Start-up steps, in order.
    void buildWidgets();
    void gatherInventory();
    void selectFirstPages();
    void openDebugLog();
    void createLogModel();
    void connectSettingWidgets();
    void pushSettingsToWidgets();
    void openDatabase();
    void startPolling();
    bool bindSensorLibrary(const MainformSetup& setup);
    bool startSensorLibrary();
    void removeAbsentRails();
    void startLoggingThread();
    void buildTray();
    void removeMiscTab();
    void runLogQuery();
    void startBrokerLinks();
    void addHistoryPage();
    void showHistory(const HistoryQuery& query);
    void startExport();
    void failStart(StartFailure failure);

    std::unique_ptr<MqttTransmit> makeLink(const QString& topic) const;
    RequestSources requestSources();

    // Shutdown steps, in order.
    void stopBrokerLinks();
    void requestLoggingStop();
    void stopLoggingThread();
    void closeDatabase();
    void releaseSensorLibrary();
    void closeDebugLog();

    void storeSwitch(uint8_t SensorSnapshot::*field, bool on);
    void storeLimit(int16_t SensorSnapshot::*field, int value);
    void setLogHeaders();
    void appendLogRow(const SensorLogRow& row);
    void setTrayIcon(const char* path);
    void showAlarmBalloon();
    void showWindowFromTray();
    void writeExport();
    // Backed by the debug-message log once it is open; the debugger line alone until then.
    void writeDebugLog(const char* location, int line, int type, const QString& text);

    std::unique_ptr<Ui::MainformClass> m_ui;
    QSystemTrayIcon m_tray;
    QTimer m_pollTimer;
    QStandardItemModel* m_logModel = nullptr;
    HistoryView* m_historyView = nullptr;
    QAction* m_actAbout = nullptr;
    QAction* m_actQuit = nullptr;
    QMenu* m_trayMenu = nullptr;
    std::vector<ReadingLabel> m_readingLabels;

    const QString m_settingsPath;
    const QString m_dataDirectory;
    SensorSnapshot m_snapshot;
    BrokerSettings m_broker;
    ExportSettings m_exports;
    QTimer m_exportTimer;
    bool m_exportFailing = false;
    bool m_settingsChanged = false;
    bool m_quit = false;
    AlarmLatch m_alarm;
    QString m_trayIconPath;

    GaugeBinding m_gauge;
    bool m_sensorsLive = false; // DLLInitial succeeded and DLLRelease has not been called since
    int m_libraryStatus = 0;    // what DLLInitial returned
    bool m_releaseDue = false;  // the library is bound and DLLRelease has not been called yet

    Inventory m_inventory;
    std::unique_ptr<DebugLog> m_debugLog;
    ClientDatabase m_database;
    QUuid m_hostIdentity;
    TSQLThread m_loggingThread;

    // Only when the broker link is enabled; without a parent, they live as long as the window.
    std::unique_ptr<MqttTransmit> m_requestLink;
    std::unique_ptr<MqttTransmit> m_replyLink;
    std::unique_ptr<MqttTransmit> m_hqLink;
};
