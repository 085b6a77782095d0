// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "storage_agent.h"

#include "messages.h"
#include "qt_test_loop.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <atomic>
#include <csignal>

namespace storagetest {

namespace {

const QString kClient = QStringLiteral(VRD_BIN_DIR "/VrdClient");
const QString kErrorFileName = QStringLiteral("agent-stderr.log");
constexpr QByteArray::size_type kJournalHeaderBytes = 8;

// A read-only connection of the test's own; `use` runs only when the file opened.
template <typename Result, typename Use>
Result withDatabase(const QString& path, Result failed, Use use)
{
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("storage_test_%1").arg(++serial);
    Result result = failed;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=3000"));
        if (QFile::exists(path) && db.open())
            result = use(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

std::optional<qint64> singleNumber(const QString& path, const QString& statement)
{
    return withDatabase(path, std::optional<qint64>(), [&](QSqlDatabase& db) -> std::optional<qint64> {
        QSqlQuery query(db);
        if (!query.exec(statement) || !query.next())
            return std::nullopt;
        return query.value(0).toLongLong();
    });
}

} // namespace

QByteArray settingsText(const Settings& s)
{
    QByteArray text = "[General]\r\n" + s.general;
    text += "[DEBUG]\r\nDEBUG=" + QByteArray(s.debug ? "1" : "0") + "\r\n";
    text += "[CLOUD]\r\nENABLE=" + QByteArray(s.linkOn ? "1" : "0") + "\r\n";
    text += "HOST=127.0.0.1\r\nPORT=" + QByteArray::number(s.port) + "\r\n";
    text += "HQ_TOKEN=NORDA\r\nBRANCH_TOKEN=" + s.channel.toUtf8() + "\r\n";
    return text;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

StorageAgent::StorageAgent(QString workDir, QString board)
    : m_workDir(std::move(workDir))
    , m_board(std::move(board))
    , m_env(QProcessEnvironment::systemEnvironment())
{
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.remove(QStringLiteral("GAUGE64_TRACE"));
    m_env.remove(QStringLiteral("LD_LIBRARY_PATH"));
}

StorageAgent::~StorageAgent()
{
    kill();
}

QString StorageAgent::file(const QString& name) const
{
    return QDir(m_workDir).filePath(name);
}

bool StorageAgent::launch()
{
    if (!m_own.isValid())
        return false;
    m_startsBefore = errors().count(kStartedText.toUtf8());
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_own.path());
    m_env.insert(QStringLiteral("GAUGE64_BOARD"), m_board);
    m_process.setProcessEnvironment(m_env);
    m_process.setWorkingDirectory(m_workDir);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // Appended across restarts, and outside the working directory: a full disk there must not
    // silence what the agent says.
    m_process.setStandardErrorFile(m_own.filePath(kErrorFileName), QIODevice::Append);
    m_process.start(kClient, QStringList());
    return m_process.waitForStarted(10000);
}

bool StorageAgent::waitUntilStarted(int timeoutMs)
{
    return waitForErrorText(kStartedText.toUtf8(), timeoutMs, m_startsBefore + 1);
}

bool StorageAgent::terminate(int timeoutMs)
{
    if (!isRunning())
        return false;
    requestTermination();
    return waitForExit(timeoutMs) && exitedCleanly();
}

void StorageAgent::requestTermination()
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGTERM);
}

bool StorageAgent::exitedCleanly() const
{
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void StorageAgent::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

bool StorageAgent::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

QByteArray StorageAgent::errors() const
{
    return readFile(m_own.filePath(kErrorFileName));
}

bool StorageAgent::waitForErrorText(const QByteArray& text, int timeoutMs, int occurrences) const
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (errors().count(text) < occurrences) {
        if (elapsed.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
            return errors().count(text) >= occurrences;
        QThread::msleep(20);
    }
    return true;
}

std::optional<qint64> sensorRows(const QString& path, const QString& where)
{
    const QString filter = where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where;
    return singleNumber(path, QStringLiteral("SELECT COUNT(*) FROM SENSOR_TBL") + filter + ';');
}

std::optional<qint64> lastSensorId(const QString& path)
{
    return singleNumber(path, QStringLiteral("SELECT IFNULL(MAX(ID), 0) FROM SENSOR_TBL;"));
}

QString integrityCheck(const QString& path)
{
    const QString name = QStringLiteral("storage_integrity");
    QString result = QStringLiteral("cannot open");
    {
        // Read-write: opening a file with a hot journal rolls that journal back first.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (QFile::exists(path) && db.open()) {
            QSqlQuery query(db);
            QStringList lines;
            if (query.exec(QStringLiteral("PRAGMA integrity_check;")))
                while (query.next())
                    lines << query.value(0).toString();
            result = lines.isEmpty() ? query.lastError().text() : lines.join('\n');
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

bool hasHotJournal(const QString& path)
{
    const QByteArray header = readFile(path + QStringLiteral("-journal")).left(kJournalHeaderBytes);
    return header.size() == kJournalHeaderBytes && header != QByteArray(kJournalHeaderBytes, '\0');
}

QUuid storedIdentity(const QString& path)
{
    return withDatabase(path, QUuid(), [](QSqlDatabase& db) {
        QSqlQuery query(QStringLiteral("SELECT HOST_GUID FROM DMI_TBL WHERE ID = 1;"), db);
        return query.next() ? QUuid(query.value(0).toString().trimmed()) : QUuid();
    });
}

ReplyClock::ReplyClock(quint16 port, const QString& channel)
    : m_channel(channel)
    , m_mqtt(port)
{
    m_ready = m_mqtt.connectToBroker() && m_mqtt.subscribe(msg::replyTopic(channel));
}

std::optional<int> ReplyClock::ask(int kind, const QUuid& host, int timeoutMs, QJsonObject* reply)
{
    m_mqtt.clear();
    QElapsedTimer elapsed;
    elapsed.start();
    m_mqtt.publish(msg::requestTopic(m_channel), msg::buildRequest(kind, host));
    QJsonObject answer;
    const bool arrived = vrdtest::waitUntil(
        [&] {
            for (const QByteArray& payload : m_mqtt.payloads()) {
                answer = QJsonDocument::fromJson(payload).object();
                if (answer.value(QStringLiteral("SrvCall")).toInt() == kind)
                    return true;
            }
            return false;
        },
        timeoutMs);
    if (!arrived)
        return std::nullopt;
    if (reply)
        *reply = answer;
    return int(elapsed.elapsed());
}

bool ReplyClock::awaitAnswer(const QUuid& host, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeoutMs) {
        if (ask(msg::KindProcessorLoad, host, 200))
            return true;
    }
    return false;
}

int msIntoLoggingPeriod()
{
    return int(QDateTime::currentMSecsSinceEpoch() % 10000);
}

void sleepUntilLoggingPass(int offsetMs)
{
    const int into = msIntoLoggingPeriod();
    const int wait = (offsetMs - into + 10000) % 10000;
    QThread::msleep(ulong(wait == 0 ? 0 : wait));
}

qint64 nextLoggingPass()
{
    return (QDateTime::currentMSecsSinceEpoch() / 10000 + 1) * 10000;
}

void sleepUntil(qint64 msSinceEpoch)
{
    const qint64 wait = msSinceEpoch - QDateTime::currentMSecsSinceEpoch();
    if (wait > 0)
        QThread::msleep(ulong(wait));
}

} // namespace storagetest
