// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "agent.h"

#include "dmi_table.h"
#include "link_failures.h"
#include "prometheus_export.h"
#include "thread_shutdown.h"

#include <QDir>

namespace {

constexpr int kPollIntervalMs = 1000;
// As often as the logging thread writes a pass: a scrape never sees readings older than that.
constexpr int kExportIntervalMs = 10000;
// The debug log has always named the start-up's failures after the window's construction; its
// file keeps that, whichever program writes it.
constexpr const char* kStartupLocation = "Mainform::Mainform";
constexpr const char* kSensorsLocation = "Agent::startSensors";

QString fileIn(const QString& directory, const char* name)
{
    const QString file = QString::fromLatin1(name);
    return directory.isEmpty() ? file : QDir(directory).filePath(file);
}

msg::Inventory replyInventory(const Inventory& inventory, const QUuid& identity)
{
    return {inventory.sysUser,  inventory.procName,  inventory.osCaption,
            inventory.sysModel, inventory.sysSerial, hostIdentityText(identity)};
}

} // namespace

Agent::Agent(const AgentSetup& setup, QObject* parent)
    : QObject(parent)
    , m_settingsPath(setup.settingsPath)
    , m_dataDirectory(setup.dataDirectory)
    , m_readers(setup.readers)
    , m_debugSink(setup.debugSink)
    , m_database(fileIn(setup.dataDirectory, ClientDatabase::kFileName),
                 QStringLiteral("vrd_main_%1").arg(quintptr(this), 0, 16))
    , m_live(m_gauge, m_faults, [this] { return m_loggingThread.GetCpuLoad(); })
{
    connect(&m_pollTimer, &QTimer::timeout, this, &Agent::tick);
    connect(&m_exportTimer, &QTimer::timeout, this, &Agent::writeExport);
    m_live.setHistory([this](const HistoryQuery& query) { return m_database.history(query); });
}

Agent::~Agent()
{
    m_pollTimer.stop();
    m_exportTimer.stop();
    m_live.stopLinks();
    stopLoggingThread();
    m_database.close();
    saveSettings(m_settingsPath, m_live.snapshot());
    m_gauge.unbind();
    m_debugLog.reset();
}

Agent::Start Agent::start()
{
    gatherInventory();
    loadSettings();
    openDebugLog();
    openDatabase();
    startPolling();
    const Start started = startSensors();
    if (started != Start::Started)
        return started;
    startLogging();
    startLinks();
    startExport();
    return started;
}

void Agent::gatherInventory()
{
    m_inventory = ::gatherInventory();
}

void Agent::loadSettings()
{
    ::loadSettings(m_settingsPath, m_live.snapshot(), m_broker, m_exports);
    emit settingsLoaded();
}

void Agent::openDebugLog()
{
    m_debugLog = DebugLog::forSwitch(m_live.snapshot().Debug != 0, m_dataDirectory.toStdString(), m_debugSink);
}

void Agent::openDatabase()
{
    // Unchecked on purpose: the agent runs on without history, each statement failing quietly.
    m_database.openWithMaintenance(*m_debugLog);
    m_live.setIdentity(checkHostIdentity(m_database.connection(), *m_debugLog));
    refreshInventoryTable(m_database.connection(), m_inventory, *m_debugLog);
    m_live.setInventory(replyInventory(m_inventory, m_live.identity()));
    // From here on the connection answers the fault and history requests on this thread.
    m_database.setBusyTimeout(ClientDatabase::kWindowBusyTimeoutMs);
}

void Agent::startPolling()
{
    m_pollTimer.start(kPollIntervalMs);
}

Agent::Start Agent::startSensors()
{
    if (m_readers)
        m_gauge.adopt(*m_readers);
    else if (!m_gauge.bind())
        return Start::LibraryNotLoaded;
    const bool started = m_gauge.start();
    m_sourceLine = m_gauge.sourceLine();
    if (!m_sourceLine.isEmpty())
        writeDebugLog(kSensorsLocation, __LINE__, DebugLog::Info, m_sourceLine);
    if (!started)
        return Start::SensorNotDetected;
    m_live.read();
    // Not a settings change: the switches reach the file with the next save, at the latest at
    // shutdown.
    m_removedRails = removeAbsentRails(m_live.snapshot());
    return Start::Started;
}

void Agent::noteStartFailure(Start failure)
{
    if (failure == Start::LibraryNotLoaded) {
        writeDebugLog(kStartupLocation, __LINE__, DebugLog::Failure, QStringLiteral("Can not load the sensor library"));
    } else if (failure == Start::SensorNotDetected) {
        writeDebugLog(kStartupLocation, __LINE__, DebugLog::Failure, QStringLiteral("Can not detect the sensor"));
        m_gauge.release();
    }
}

void Agent::startLogging()
{
    m_loggingThread.setDatabasePath(m_database.path());
    m_loggingThread.SetSnapshot(m_live.snapshot());
    m_loggingThread.start(QThread::InheritPriority);
}

void Agent::startLinks()
{
    if (!m_broker.enable)
        return;
    // A USER that cannot be one topic level: the replies go on the shared topic, and it is said.
    const QString notice = msg::userTopicNotice(m_broker.channel, m_broker.access.user);
    if (!notice.isEmpty())
        tellLinkFailure(notice);
    m_live.startLinks(m_broker);
}

void Agent::startExport()
{
    if (m_exports.prometheusDir.isEmpty())
        return;
    m_exportTimer.start(kExportIntervalMs);
    writeExport();
}

void Agent::tick()
{
    m_live.read();
    emit readingsTaken();
    const LiveAgent::AlarmStep alarm = m_live.judge();
    emit alarmJudged(alarm.fault);
    if (alarm.begins)
        emit faultEpisodeBegan();
    else if (alarm.ends)
        emit faultEpisodeEnded();
    m_loggingThread.SetSnapshot(m_live.snapshot());
    if (!m_settingsChanged)
        return;
    // A save that failed (disk full) is tried again on the next tick, so the change is not left
    // for the shutdown alone.
    m_settingsChanged = !saveSettings(m_settingsPath, m_live.snapshot());
}

void Agent::setSwitch(uint8_t SensorSnapshot::*field, bool on)
{
    m_live.snapshot().*field = on ? 1 : 0;
    m_settingsChanged = true;
}

void Agent::setLimit(int16_t SensorSnapshot::*field, int value)
{
    m_live.snapshot().*field = int16_t(value);
    m_settingsChanged = true;
}

void Agent::requestLoggingStop()
{
    m_loggingThread.RequestStop();
}

void Agent::stopLoggingThread()
{
    m_loggingThread.RequestStop();
    finishStoppedThread(m_loggingThread);
}

void Agent::writeExport()
{
    const PrometheusIdentity who{m_live.identity(), m_inventory.sysUser, m_inventory.sysModel, m_inventory.osCaption};
    const bool written =
        writePrometheusFile(m_exports.prometheusDir, prometheusText(m_live.snapshot(), who, m_gauge.status()));
    // Said once when writing starts to fail and once when it works again, not every ten seconds.
    if (written == m_exportFailing)
        qWarning("metrics file in %s %s", qUtf8Printable(m_exports.prometheusDir),
                 written ? "written again" : "cannot be written");
    m_exportFailing = !written;
}

void Agent::writeDebugLog(const char* location, int line, int type, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const std::string_view view(bytes.constData(), size_t(bytes.size()));
    if (m_debugLog)
        m_debugLog->Write(location, line, type, view);
    else if (m_debugSink)
        m_debugSink(DebugLog::debuggerLine(location, line, view));
}
