// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The tray program's window: a view of the agent (agent.h). It is built hidden, interleaving its
// own start-up steps with the agent's in a fixed order; every tick it shows the readings in its
// labels and the alarm in the tray icon (one balloon per fault episode); its settings page hands
// the user's changes to the agent; its log and history pages read the agent's database. Closing it
// only hides it, unless the user quit.

#include "agent.h"
#include "mainform_labels.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

class HistoryView;
class QAction;
class QLabel;
class QMenu;
class QStandardItemModel;
namespace Ui {
class MainformClass;
}

inline constexpr const char* kHealthyIcon = ":/Mainform/ICON/Look.png";
inline constexpr const char* kFaultIcon = ":/Mainform/ICON/NGLook.png";

class Mainform : public QMainWindow {
    Q_OBJECT

public:
    explicit Mainform(const AgentSetup& setup = {}, QWidget* parent = nullptr);
    ~Mainform() override;

    Agent& agent() { return m_agent; }
    const Agent& agent() const { return m_agent; }

    bool quitRequested() const { return m_quit; }
    QString trayIconPath() const { return m_trayIconPath; }

    // The System Information page, filled from the inventory.
    void showSystemInformation(const QString& processorName, const QString& processorId, int logicalProcessors,
                               const QString& osCaption, const QString& osVersion, const QString& osBuildNumber);

public slots:
    void slot_TrayActivated(QSystemTrayIcon::ActivationReason reason);
    void slot_TrayClicked();
    void slot_actTrayAbout();
    void slot_actTrayQuit();
    // Another process asks the client to end (window message 0x0401, or a termination signal).
    void slot_QuitRequested();

    void slot_btnSqlLogExecClicked(bool checked);
    void slot_cboxSqlLogCmdIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ReadingLabel {
        QLabel* label;
        SensorType type;
    };

    // The window's own start-up steps, in order (the agent's are called between them).
    void buildWidgets();
    void showInventory();
    void selectFirstPages();
    void refreshReadingLabels();
    void createLogModel();
    void connectSettingWidgets();
    void pushSettingsToWidgets();
    void failStart(Agent::Start failure);
    void hideRemovedRails();
    void buildTray();
    void removeMiscTab();
    void runLogQuery();
    void addHistoryPage();

    void showHistory(const HistoryQuery& query);
    void showAlarm(bool fault);
    void showAlarmBalloon();
    void setLogHeaders();
    void appendLogRow(const SensorLogRow& row);
    void setTrayIcon(const char* path);
    void showWindowFromTray();

    // Constructed first and destroyed last: the widgets below are a view of it.
    Agent m_agent;
    std::unique_ptr<Ui::MainformClass> m_ui;
    QSystemTrayIcon m_tray;
    QStandardItemModel* m_logModel = nullptr;
    HistoryView* m_historyView = nullptr;
    QAction* m_actAbout = nullptr;
    QAction* m_actQuit = nullptr;
    QMenu* m_trayMenu = nullptr;
    std::vector<ReadingLabel> m_readingLabels;

    bool m_quit = false;
    QString m_trayIconPath;
};
