// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "network_fleet.h"

#include "messages.h"
#include "qt_test_loop.h"
#include "test_mqtt_client.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <iostream>
#include <unistd.h>

namespace nettest {

namespace {

const QString kBrowserProgram = QStringLiteral(VRD_BIN_DIR "/VrdBrowser");
const QString kBrowserErrors = QStringLiteral("browser-stderr.log");
const QString kRegistry = QStringLiteral("Client.sqlite");
// More than any test has faults to recover from.
constexpr int kMarkers = 64;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString linkTarget(const QString& path)
{
    char target[512] = {};
    const QByteArray link = path.toLocal8Bit();
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    return QString::fromLocal8Bit(target, length > 0 ? int(length) : 0);
}

QStringList entriesOf(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

BrowserProcess::BrowserProcess(quint16 port, const QString& channel)
{
    QFile::copy(kBrowserProgram, m_dir.filePath(QStringLiteral("VrdBrowser")));
    writeFile(m_dir.filePath(QStringLiteral("VRD.INI")),
              QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nHQ_TOKEN=NORDA\nBRANCH_TOKEN=%2\n")
                  .arg(port)
                  .arg(channel)
                  .toUtf8());
    // The registry the browser starts with: the markers the probes answer for.
    const QString name = QStringLiteral("faults_markers");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_dir.filePath(kRegistry));
        QSqlQuery query(db);
        if (db.open()
            && query.exec(QStringLiteral("CREATE TABLE CLIENTINFO_TBL( COMPUTERNAME CHAR(128),CPUNAME CHAR(128), "
                                         "OSNAME CHAR(128), SYSMODEL CHAR(128), SYSSERIL CHAR(128),GUID CHAR(64) "
                                         "PRIMARY KEY UNIQUE );"))) {
            query.prepare(QStringLiteral("INSERT INTO CLIENTINFO_TBL (COMPUTERNAME, GUID) VALUES ('probe', ?);"));
            for (int i = 0; i < kMarkers; ++i) {
                m_markers << QUuid::createUuid();
                query.addBindValue(msg::uuidText(m_markers.last()));
                query.exec();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

BrowserProcess::~BrowserProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool BrowserProcess::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_dir.path());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(kBrowserErrors));
    m_process.start(m_dir.filePath(QStringLiteral("VrdBrowser")), QStringList());
    return m_process.waitForStarted(10000);
}

bool BrowserProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

qint64 BrowserProcess::pid() const
{
    return m_process.processId();
}

std::string BrowserProcess::errors() const
{
    return readFile(m_dir.filePath(kBrowserErrors)).toStdString();
}

QUuid BrowserProcess::nextMarker()
{
    return m_markers.isEmpty() ? QUuid() : m_markers.takeFirst();
}

bool BrowserProcess::hasHeardFrom(const QUuid& identity) const
{
    static int serial = 0;
    const QString name = QStringLiteral("faults_registry_%1").arg(++serial);
    bool found = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_dir.filePath(kRegistry));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery query(db);
        const bool tied = QFile::exists(db.databaseName()) && db.open()
            && query.exec(QStringLiteral("SELECT GUID FROM CLIENTACCOUNT_TBL;"));
        if (tied)
            while (!found && query.next())
                found = QUuid(query.value(0).toString().trimmed()) == identity;
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

qint64 Recovery::stationMs() const
{
    return stationRequestsMs < 0 || stationRepliesMs < 0 ? -1 : std::max(stationRequestsMs, stationRepliesMs);
}

namespace {

constexpr int kProbeEveryMs = 200;
constexpr int kLookEveryMs = 20;

// The agents' answers and the station's requests among the messages the probe has seen.
void noteArrivals(const QList<vrdtest::TestMqttClient::Message>& messages, int from, const QString& channel,
                  const QSet<QUuid>& agents, QSet<QUuid>& answered, Recovery& recovery, qint64 nowMs)
{
    for (int i = from; i < messages.size(); ++i) {
        const std::optional<msg::Envelope> message = msg::parseMessage(messages[i].payload);
        if (!message)
            continue;
        const bool request = messages[i].topic == msg::requestTopic(channel);
        // The probe asks for inventories: a presence request can only be the station's.
        if (request && message->code == msg::KindProcessorLoad && recovery.stationRequestsMs < 0)
            recovery.stationRequestsMs = nowMs;
        if (!request && message->code == msg::KindInventory) {
            const QUuid sender = msg::addressOf(message->object).value_or(QUuid());
            if (agents.contains(sender))
                answered.insert(sender);
        }
    }
    if (answered == agents && recovery.agentsMs < 0)
        recovery.agentsMs = nowMs;
}

} // namespace

Recovery awaitRecovery(quint16 port, const QString& channel, const QSet<QUuid>& agents,
                       BrowserProcess* station, const QElapsedTimer& since, int timeoutMs)
{
    Recovery recovery;
    vrdtest::TestMqttClient probe(port);
    if (!probe.connectToBroker(timeoutMs) || !probe.subscribe(msg::requestTopic(channel))
        || !probe.subscribe(msg::replyTopic(channel)))
        return recovery;
    // A client the station knows, answering its presence request.
    const QUuid marker = station ? station->nextMarker() : QUuid();
    const QByteArray markerReply = msg::buildLoadReply(marker, 0);
    const QByteArray inventoryRequest = msg::buildRequest(msg::KindInventory, msg::broadcastUuid());
    if (!station)
        recovery.stationRequestsMs = recovery.stationRepliesMs = 0;
    QSet<QUuid> answered;
    int looked = 0;
    QElapsedTimer sinceProbe;
    while (since.elapsed() < timeoutMs && (recovery.agentsMs < 0 || recovery.stationMs() < 0)) {
        if (!sinceProbe.isValid() || sinceProbe.elapsed() >= kProbeEveryMs) {
            sinceProbe.start();
            if (recovery.agentsMs < 0)
                probe.publish(msg::requestTopic(channel), inventoryRequest);
            if (recovery.stationRepliesMs < 0) {
                probe.publish(msg::replyTopic(channel), markerReply);
                if (station->hasHeardFrom(marker))
                    recovery.stationRepliesMs = since.elapsed();
            }
        }
        vrdtest::waitUntil([] { return false; }, kLookEveryMs);
        const QList<vrdtest::TestMqttClient::Message> messages = probe.messages();
        noteArrivals(messages, looked, channel, agents, answered, recovery, since.elapsed());
        looked = messages.size();
    }
    return recovery;
}

qint64 processInDirectory(const QString& directory)
{
    const QString wanted = QFileInfo(directory).canonicalFilePath();
    for (const QString& entry : entriesOf(QStringLiteral("/proc"))) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && linkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)) == wanted)
            return pid;
    }
    return 0;
}

QSet<QByteArray> socketsTo(qint64 pid, quint16 port)
{
    QSet<QByteArray> owned;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : entriesOf(fdDir)) {
        const QString target = linkTarget(fdDir + QLatin1Char('/') + fd);
        if (target.startsWith(QLatin1String("socket:[")))
            owned.insert(target.mid(8, target.size() - 9).toLatin1());
    }
    QSet<QByteArray> connected;
    for (const QByteArray& line : readFile(QStringLiteral("/proc/net/tcp")).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10)
            continue;
        const QByteArray remote = fields[2];
        bool ok = false;
        const uint remotePort = remote.mid(remote.indexOf(':') + 1).toUInt(&ok, 16);
        if (ok && remotePort == port && owned.contains(fields[9]))
            connected.insert(fields[9]);
    }
    return connected;
}

bool awaitConnections(qint64 pid, quint16 port, int count, int timeoutMs)
{
    return vrdtest::waitUntil([&] { return socketsTo(pid, port).size() == count; }, timeoutMs);
}

int openFiles(qint64 pid)
{
    return entriesOf(QStringLiteral("/proc/%1/fd").arg(pid)).size();
}

qint64 bytesRead(qint64 pid)
{
    const QByteArray io = readFile(QStringLiteral("/proc/%1/io").arg(pid));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("rchar: (\\d+)")).match(QString::fromLatin1(io));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

Stalls& Stalls::operator+=(const Stalls& other)
{
    count += other.count;
    longestMs = std::max(longestMs, other.longestMs);
    return *this;
}

Stalls stallsIn(const std::string& standardError)
{
    static const QRegularExpression line(QStringLiteral("event loop stalled: timer fired (\\d+) ms late"));
    Stalls stalls;
    QRegularExpressionMatchIterator matches = line.globalMatch(QString::fromStdString(standardError));
    while (matches.hasNext()) {
        ++stalls.count;
        stalls.longestMs = std::max(stalls.longestMs, matches.next().captured(1).toLongLong());
    }
    return stalls;
}

std::string stallText(const Stalls& stalls)
{
    if (stalls.count == 0)
        return "none above 100 ms";
    return std::to_string(stalls.count) + " above 100 ms, longest " + std::to_string(stalls.longestMs) + " ms";
}

void reportFigure(const char* key, const std::string& text)
{
    std::cout << "figure: " << text << std::endl;
    testing::Test::RecordProperty(key, text);
}

} // namespace nettest
