// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"

#include "gauge64.h"
#include "start_failure.h"
#include "ui_Mainform.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QMenu>
#include <QStandardItemModel>

// Resources compiled into a static library are registered explicitly (outside any namespace).
static void registerClientResources()
{
    Q_INIT_RESOURCE(client);
}

namespace {

constexpr int kPollIntervalMs = 1000;
constexpr int kCloseDelayMs = 100;
constexpr int kMiscTab = 4;
constexpr const char* kLocation = "Mainform::Mainform";

// Rails a board may lack, with the widgets that show them.
struct OptionalRail {
    SensorType type;
    const char* settingsBox;
    const char* caption;
    const char* value;
};

constexpr OptionalRail kOptionalRails[] = {
    {SensorP5V, "gbP5V", "labP5VHdr", "labP5V"},
    {SensorP12V, "gbP12V", "labP12VHdr", "labP12V"},
    {SensorN5V, "gbN5V", "labN5VHdr", "labN5V"},
    {SensorN12V, "gbN12V", "labN12VHdr", "labN12V"},
};

QString fileIn(const QString& directory, const char* name)
{
    const QString file = QString::fromLatin1(name);
    return directory.isEmpty() ? file : QDir(directory).filePath(file);
}

} // namespace

Mainform::Mainform(const MainformSetup& setup, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::MainformClass>())
    , m_settingsPath(setup.settingsPath)
    , m_dataDirectory(setup.dataDirectory)
    , m_database(fileIn(setup.dataDirectory, ClientDatabase::kFileName),
                 QStringLiteral("vrd_main_%1").arg(quintptr(this), 0, 16))
{
    registerClientResources();
    buildWidgets();
    gatherInventory();
    selectFirstPages();
    refreshReadingLabels();
    loadSettings(m_settingsPath, m_snapshot, m_broker, m_exports);
    openDebugLog();
    createLogModel();
    pushSettingsToWidgets();
    openDatabase();
    startPolling();
    if (!bindSensorLibrary(setup)) {
        failStart(StartFailure::LibraryNotLoaded);
        return;
    }
    if (!startSensorLibrary()) {
        failStart(StartFailure::SensorNotDetected);
        return;
    }
    readSensors();
    removeAbsentRails();
    startLoggingThread();
    buildTray();
    removeMiscTab();
    runLogQuery();
    addHistoryPage();
    startBrokerLinks();
    startExport();
}

Mainform::~Mainform()
{
    m_pollTimer.stop();
    m_exportTimer.stop();
    stopBrokerLinks();
    stopLoggingThread();
    closeDatabase();
    saveSettings(m_settingsPath, m_snapshot);
    releaseSensorLibrary();
    m_gauge.unbind();
    closeDebugLog();
}

void Mainform::buildWidgets()
{
    m_ui->setupUi(this);
    for (const ReadingLabelRow& row : kReadingLabelRows)
        m_readingLabels.push_back({findChild<QLabel*>(row.label), row.type});
    connectSettingWidgets();
    connect(m_ui->btnSqlLogExec, &QPushButton::clicked, this, &Mainform::slot_btnSqlLogExecClicked);
    connect(m_ui->cboxSqlLogCmd, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Mainform::slot_cboxSqlLogCmdIndexChanged);
    m_quit = false;
    setVisible(false);
    hide();
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

void Mainform::startPolling()
{
    connect(&m_pollTimer, &QTimer::timeout, this, &Mainform::slot_TimerEvent);
    m_pollTimer.start(kPollIntervalMs);
}

bool Mainform::bindSensorLibrary(const MainformSetup& setup)
{
    if (setup.readers)
        m_gauge.adopt(*setup.readers);
    else if (!m_gauge.bind(gaugeLibraryCandidates()))
        return false;
    m_releaseDue = true;
    return true;
}

bool Mainform::startSensorLibrary()
{
    const GaugeFunction initial = m_gauge.api().DLLInitial;
    m_libraryStatus = initial ? initial() : 0;
    m_sensorsLive = initial && GAUGE64_SUCCEEDED(m_libraryStatus);
    const QString source = m_gauge.sourceLine();
    if (!source.isEmpty())
        writeDebugLog(kLocation, __LINE__, 1, source);
    return m_sensorsLive;
}

void Mainform::failStart(StartFailure failure)
{
    showStartFailure();
    if (failure == StartFailure::LibraryNotLoaded) {
        writeDebugLog(kLocation, __LINE__, 2, QStringLiteral("Can not load the sensor library"));
    } else {
        writeDebugLog(kLocation, __LINE__, 2, QStringLiteral("Can not detect the sensor"));
        releaseSensorLibrary();
    }
    m_quit = true;
    QTimer::singleShot(kCloseDelayMs, this, &QWidget::close);
}

void Mainform::removeAbsentRails()
{
    for (const OptionalRail& rail : kOptionalRails) {
        const SensorFields& fields = *sensorFields(rail.type);
        if (m_snapshot.*fields.reading >= kRailPresentMillivolts)
            continue;
        m_snapshot.*fields.enabled = 0;
        auto* box = findChild<QGroupBox*>(rail.settingsBox);
        box->setChecked(false);
        box->setEnabled(false);
        box->hide();
        findChild<QLabel*>(rail.caption)->hide();
        findChild<QLabel*>(rail.value)->hide();
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

void Mainform::releaseSensorLibrary()
{
    m_sensorsLive = false;
    if (!m_releaseDue)
        return;
    m_releaseDue = false;
    if (const GaugeFunction release = m_gauge.api().DLLRelease)
        release();
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
    requestLoggingStop();
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
