// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"

#include "start_failure.h"
#include "ui_Mainform.h"

#include <QCloseEvent>
#include <QDebug>
#include <QGroupBox>
#include <QMenu>
#include <QTimer>

// Resources compiled into a static library are registered explicitly (outside any namespace).
static void registerClientResources()
{
    Q_INIT_RESOURCE(client);
}

namespace {

constexpr int kCloseDelayMs = 100;
constexpr int kMiscTab = 4;

const QString kAlarmMessage = QStringLiteral("Please check information of Varden");
constexpr int kBalloonMs = 1000;

// The widgets that show a rail a board may lack.
struct RailWidgets {
    SensorType type;
    const char* settingsBox;
    const char* caption;
    const char* value;
};

constexpr RailWidgets kRailWidgets[] = {
    {SensorP5V, "gbP5V", "labP5VHdr", "labP5V"},
    {SensorP12V, "gbP12V", "labP12VHdr", "labP12V"},
    {SensorN5V, "gbN5V", "labN5VHdr", "labN5V"},
    {SensorN12V, "gbN12V", "labN12VHdr", "labN12V"},
};

} // namespace

// The order of the steps is the client's start-up order: the window's and the agent's interleave.
Mainform::Mainform(const AgentSetup& setup, QWidget* parent)
    : QMainWindow(parent)
    , m_agent(setup)
    , m_ui(std::make_unique<Ui::MainformClass>())
{
    registerClientResources();
    buildWidgets();
    m_agent.gatherInventory();
    showInventory();
    selectFirstPages();
    refreshReadingLabels();
    m_agent.loadSettings();
    m_agent.openDebugLog();
    createLogModel();
    pushSettingsToWidgets();
    m_agent.openDatabase();
    m_agent.startPolling();
    const Agent::Start started = m_agent.startSensors();
    if (started != Agent::Start::Started) {
        failStart(started);
        return;
    }
    hideRemovedRails();
    m_agent.startLogging();
    buildTray();
    removeMiscTab();
    runLogQuery();
    addHistoryPage();
    m_agent.startLinks();
    m_agent.startExport();
}

Mainform::~Mainform() = default;

void Mainform::buildWidgets()
{
    m_ui->setupUi(this);
    for (const ReadingLabelRow& row : kReadingLabelRows)
        m_readingLabels.push_back({findChild<QLabel*>(row.label), row.type});
    connectSettingWidgets();
    connect(m_ui->btnSqlLogExec, &QPushButton::clicked, this, &Mainform::slot_btnSqlLogExecClicked);
    connect(m_ui->cboxSqlLogCmd, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Mainform::slot_cboxSqlLogCmdIndexChanged);
    connect(&m_agent, &Agent::readingsTaken, this, &Mainform::refreshReadingLabels);
    connect(&m_agent, &Agent::alarmJudged, this, &Mainform::showAlarm);
    connect(&m_agent, &Agent::faultEpisodeBegan, this, [this] {
        // The tray's state on standard error, for those who watch the client from outside.
        qDebug("alarm: fault");
        showAlarmBalloon();
    });
    connect(&m_agent, &Agent::faultEpisodeEnded, this, [] { qDebug("alarm: healthy"); });
    m_quit = false;
    setVisible(false);
    hide();
}

void Mainform::showInventory()
{
    const Inventory& inventory = m_agent.inventory();
    showSystemInformation(inventory.procName, inventory.procId, inventory.procLogicalProcessors, inventory.osCaption,
                          inventory.osVersion, inventory.osBuildNumber);
}

void Mainform::showSystemInformation(const QString& processorName, const QString& processorId,
                                     int logicalProcessors, const QString& osCaption, const QString& osVersion,
                                     const QString& osBuildNumber)
{
    const auto bold = [](const QString& text) { return QStringLiteral("<B>%1</B>").arg(text.toHtmlEscaped()); };
    m_ui->labProcName->setText(QStringLiteral("Name : ") + bold(processorName));
    m_ui->labProcID->setText(QStringLiteral("Processor ID : ") + bold(processorId));
    m_ui->labProcLogiProc->setText(QStringLiteral("Number Of Logical Processors : ") +
                                   bold(QString::number(logicalProcessors)));
    m_ui->labOSCaption->setText(QStringLiteral("Caption : ") + bold(osCaption));
    m_ui->labOSVer->setText(QStringLiteral("Version : ") + bold(osVersion));
    m_ui->labOSBuildNum->setText(QStringLiteral("Build Number : ") + bold(osBuildNumber));
}

void Mainform::selectFirstPages()
{
    m_ui->lwItemSelector->setCurrentRow(0);
    m_ui->swInfoPanel->setCurrentIndex(0);
    m_ui->twSetting->setCurrentIndex(0);
}

void Mainform::refreshReadingLabels()
{
    const SensorSnapshot& snapshot = m_agent.snapshot();
    for (const ReadingLabel& row : m_readingLabels)
        row.label->setText(readingLabelText(sensorType(row.type).unit, figuresOf(snapshot, row.type).reading));
}

void Mainform::failStart(Agent::Start failure)
{
    showStartFailure();
    m_agent.noteStartFailure(failure);
    m_quit = true;
    QTimer::singleShot(kCloseDelayMs, this, &QWidget::close);
}

// Their switches the agent has cleared; the pushed settings unchecked their boxes already.
void Mainform::hideRemovedRails()
{
    for (const SensorType rail : m_agent.removedRails()) {
        for (const RailWidgets& widgets : kRailWidgets) {
            if (widgets.type != rail)
                continue;
            auto* box = findChild<QGroupBox*>(widgets.settingsBox);
            box->setChecked(false);
            box->setEnabled(false);
            box->hide();
            findChild<QLabel*>(widgets.caption)->hide();
            findChild<QLabel*>(widgets.value)->hide();
        }
    }
}

void Mainform::buildTray()
{
    m_actAbout = new QAction(tr("&About"), this);
    connect(m_actAbout, &QAction::triggered, this, &Mainform::slot_actTrayAbout);
    m_actQuit = new QAction(tr("&Quit"), this);
    connect(m_actQuit, &QAction::triggered, this, &Mainform::slot_actTrayQuit);
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_actAbout);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_actQuit);

    connect(&m_tray, &QSystemTrayIcon::messageClicked, this, &Mainform::slot_TrayClicked);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &Mainform::slot_TrayActivated);
    setTrayIcon(kHealthyIcon);
    m_tray.setToolTip(QStringLiteral("VrdClient"));
    m_tray.setContextMenu(m_trayMenu);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qDebug() << "Mainform::buildTray" << __LINE__
                 << "no notification area: running with the window hidden, alarms without balloons";
    m_tray.setVisible(true);
}

void Mainform::removeMiscTab()
{
    m_ui->twSetting->removeTab(kMiscTab);
}

void Mainform::showAlarm(bool fault)
{
    setTrayIcon(fault ? kFaultIcon : kHealthyIcon);
}

void Mainform::setTrayIcon(const char* path)
{
    const QString name = QString::fromLatin1(path);
    if (name == m_trayIconPath)
        return;
    m_trayIconPath = name;
    m_tray.setIcon(QIcon(name));
}

void Mainform::showAlarmBalloon()
{
    if (!m_tray.isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray.showMessage(QString(), kAlarmMessage, QSystemTrayIcon::Information, kBalloonMs);
}

void Mainform::closeEvent(QCloseEvent* event)
{
    hide();
    if (!m_quit) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void Mainform::showWindowFromTray()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    activateWindow();
    show();
}

void Mainform::slot_TrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        showWindowFromTray();
}

void Mainform::slot_TrayClicked()
{
    show();
    activateWindow();
    raise();
}

void Mainform::slot_actTrayAbout()
{
    showWindowFromTray();
}

void Mainform::slot_actTrayQuit()
{
    m_agent.requestLoggingStop();
    m_quit = true;
    m_tray.hide();
    close();
}

void Mainform::slot_QuitRequested()
{
    m_quit = true;
    close();
}

void Mainform::slot_btnSqlLogExecClicked(bool)
{
    runLogQuery();
}

void Mainform::slot_cboxSqlLogCmdIndexChanged(int)
{
    runLogQuery();
}
