// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_process_fixture.h"

#include "messages.h"
#include "qt_test_loop.h"
#include "sensor_schema.h"
#include "sensor_time.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace clienttest {

namespace {

const QString kClient = QStringLiteral(VRD_BIN_DIR "/VrdClient");
const QString kHeadless = QStringLiteral(VRD_BIN_DIR "/vrd-agent");
const QString kErrorFile = QStringLiteral("client-stderr.log");
// Start-up writes this at its tray step when the platform has no notification area; vrd-agent
// once its links and export are up.
const QString kStartedText = QStringLiteral("no notification area");
const QString kHeadlessStartedText = QStringLiteral("<6>started: ");
constexpr int kStartTimeoutMs = 10000;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Inodes of the sockets a process holds open.
QSet<QByteArray> socketInodes(qint64 pid)
{
    QSet<QByteArray> inodes;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        char target[128] = {};
        const QByteArray link = (fdDir + '/' + fd).toLocal8Bit();
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        const QByteArray text(target, length > 0 ? int(length) : 0);
        if (text.startsWith("socket:[") && text.endsWith(']'))
            inodes.insert(text.mid(8, text.size() - 9));
    }
    return inodes;
}

// Sockets among `inodes` whose remote port is `port`, from /proc/net/tcp and tcp6. Counted by
// inode: the kernel does not read these tables atomically, so a row can be listed twice while
// other tests open and close connections.
int tcpSocketsTo(quint16 port, const QSet<QByteArray>& inodes)
{
    QSet<QByteArray> matched;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const QList<QByteArray> lines = readFile(QString::fromLatin1(table)).split('\n');
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].simplified().split(' ');
            if (fields.size() < 10)
                continue;
            const QByteArray remote = fields[2];
            bool ok = false;
            const uint remotePort = remote.mid(remote.indexOf(':') + 1).toUInt(&ok, 16);
            if (ok && remotePort == port && inodes.contains(fields[9]))
                matched.insert(fields[9]);
        }
    }
    return matched.size();
}

QByteArray settingsText(const ClientOptions& o)
{
    QByteArray text = "[General]\r\n" + o.general;
    text += "[DEBUG]\r\nDEBUG=" + QByteArray(o.debug ? "1" : "0") + "\r\n";
    text += "[CLOUD]\r\nENABLE=" + QByteArray(o.enable ? "1" : "0") + "\r\n";
    text += "HOST=" + o.host.toUtf8() + "\r\nPORT=" + QByteArray::number(o.port) + "\r\n";
    text += "HQ_TOKEN=" + o.hqToken.toUtf8() + "\r\nBRANCH_TOKEN=" + o.channel.toUtf8() + "\r\n";
    return text + o.cloud + o.moreSections;
}

int kindOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object().value(QStringLiteral("SrvCall")).toInt(-1);
}

} // namespace

ClientUnderTest::ClientUnderTest(ClientOptions options)
    : m_options(std::move(options))
{
}

ClientUnderTest::~ClientUnderTest()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString ClientUnderTest::workFile(const QString& name) const
{
    return QDir(m_work.path()).filePath(name);
}

void ClientUnderTest::writeSettings() const
{
    QFile file(workFile(QStringLiteral("VRD.INI")));
    if (file.open(QIODevice::WriteOnly))
        file.write(settingsText(m_options));
    if (m_options.settingsPermissions)
        file.setPermissions(m_options.settingsPermissions);
}

bool ClientUnderTest::start()
{
    return launch() && waitUntilStarted();
}

bool ClientUnderTest::waitUntilStarted()
{
    return m_process.waitForStarted(kStartTimeoutMs)
        && waitForErrorText(m_options.headless ? kHeadlessStartedText : kStartedText, kStartTimeoutMs);
}

bool ClientUnderTest::launch()
{
    if (!m_work.isValid() || !m_runtime.isValid())
        return false;
    writeSettings();
    QFile::remove(workFile(kErrorFile));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("GAUGE64_BOARD"), m_options.board);
    env.remove(QStringLiteral("GAUGE64_TRACE"));
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_work.path());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // A file, not a pipe: the test reads it whenever it likes and nobody has to drain it.
    m_process.setStandardErrorFile(workFile(kErrorFile));
    m_process.start(m_options.headless ? kHeadless : kClient, QStringList());
    return m_process.waitForStarted(kStartTimeoutMs);
}

bool ClientUnderTest::stop(int signalNumber)
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(m_process.processId()), signalNumber);
    return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit
        && m_process.exitCode() == 0;
}

bool ClientUnderTest::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool ClientUnderTest::waitForErrorText(const QString& text, int timeoutMs) const
{
    const QByteArray wanted = text.toUtf8();
    QElapsedTimer elapsed;
    elapsed.start();
    while (!readFile(workFile(kErrorFile)).contains(wanted)) {
        if (elapsed.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
            return readFile(workFile(kErrorFile)).contains(wanted);
        QThread::msleep(10);
    }
    return true;
}

std::string ClientUnderTest::errors() const
{
    return readFile(workFile(kErrorFile)).toStdString();
}

QUuid ClientUnderTest::storedIdentity() const
{
    const QString name = QStringLiteral("identity_%1").arg(quintptr(this), 0, 16);
    QUuid identity;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(workFile(QStringLiteral("sysinfo2.sqlite")));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT HOST_GUID FROM DMI_TBL WHERE ID = 1;")) && query.next())
            identity = QUuid(query.value(0).toString());
    }
    QSqlDatabase::removeDatabase(name);
    return identity;
}

int ClientUnderTest::connectionsTo(quint16 port) const
{
    if (m_process.state() != QProcess::Running)
        return 0;
    return tcpSocketsTo(port, socketInodes(m_process.processId()));
}

bool writeClientDatabase(const QString& path, const QString& identity, const QVector<StoredRow>& rows)
{
    const QString name = QStringLiteral("prepare_%1").arg(quintptr(&rows), 0, 16);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open() && createClientTables(db) && db.transaction();
        QSqlQuery query(db);
        ok = ok && query.prepare(QStringLiteral("UPDATE DMI_TBL SET HOST_GUID = ? WHERE ID = 1;"));
        query.addBindValue(identity);
        ok = ok && query.exec();
        ok = ok
            && query.prepare(
                QStringLiteral("INSERT INTO SENSOR_TBL (DATE_TIME, TYPE_ID, DATA, ERR) VALUES (?, ?, ?, ?);"));
        for (const StoredRow& row : rows) {
            query.addBindValue(sensorTimeText(row.when));
            query.addBindValue(row.type);
            query.addBindValue(row.data);
            query.addBindValue(row.err);
            ok = ok && query.exec();
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

Station::Station(quint16 port, const QString& channel)
    : m_channel(channel)
    , m_mqtt(port)
{
    m_ready = m_mqtt.connectToBroker() && m_mqtt.subscribe(msg::replyTopic(channel))
        && m_mqtt.subscribe(msg::anyUserReplyTopic(channel));
}

QList<QJsonObject> Station::ask(const QByteArray& request, int clients, int timeoutMs, const QString& topic)
{
    const int marker = kindOf(request) == msg::KindProcessorLoad ? msg::KindInventory : msg::KindProcessorLoad;
    m_mqtt.clear();
    m_mqtt.publish(topic.isEmpty() ? msg::requestTopic(m_channel) : topic, request);
    m_mqtt.publish(msg::requestTopic(m_channel), msg::buildRequest(marker, msg::broadcastUuid()));

    QList<QJsonObject> replies;
    vrdtest::waitUntil(
        [&] {
            replies.clear();
            int markers = 0;
            for (const QByteArray& payload : m_mqtt.payloads()) {
                if (kindOf(payload) == marker)
                    ++markers;
                else
                    replies.append(QJsonDocument::fromJson(payload).object());
            }
            return markers >= clients;
        },
        timeoutMs);
    return replies;
}

QSet<QUuid> Station::awaitClients(int clients, int timeoutMs)
{
    m_mqtt.clear();
    QSet<QUuid> answered;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeoutMs) {
        m_mqtt.publish(msg::requestTopic(m_channel), msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()));
        const bool all = vrdtest::waitUntil(
            [&] {
                for (const QByteArray& payload : m_mqtt.payloads())
                    answered.insert(replyIdentity(QJsonDocument::fromJson(payload).object()));
                return answered.size() >= clients;
            },
            100);
        if (all)
            break;
    }
    // Replies to the earlier probes may still be on their way. Each client answers in order, so
    // once each has answered one more request of another kind, none is left to come.
    m_mqtt.clear();
    m_mqtt.publish(msg::requestTopic(m_channel), msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
    vrdtest::waitUntil(
        [&] {
            QSet<QUuid> drained;
            for (const QByteArray& payload : m_mqtt.payloads())
                if (kindOf(payload) == msg::KindInventory)
                    drained.insert(replyIdentity(QJsonDocument::fromJson(payload).object()));
            return drained == answered;
        },
        3000);
    m_mqtt.clear();
    return answered;
}

QByteArray request(int code, const QJsonValue& address)
{
    QJsonObject object{{QStringLiteral("SrvCall"), code}};
    if (!address.isUndefined())
        object.insert(QStringLiteral("TUuid"), address);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QUuid replyIdentity(const QJsonObject& reply)
{
    return msg::parseUuid(reply.value(QStringLiteral("TUuid")));
}

} // namespace clienttest
