// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "agent_process.h"

#include "hwmon_namespace.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A read-only look into the agent's database on a connection of its own.
template <typename Use>
auto withDatabase(const QString& path, Use use)
{
    static int serial = 0;
    const QString name = QStringLiteral("e2e_%1").arg(++serial);
    decltype(use(std::declval<QSqlDatabase&>())) result{};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (QFile::exists(path) && db.open())
            result = use(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace

AgentProcess::AgentProcess(const QString& board, quint16 brokerPort, const QString& channel)
{
    QFile source(QStringLiteral(VRD_SOURCE_DIR "/boards/") + board);
    if (source.open(QIODevice::ReadOnly))
        m_board = QJsonDocument::fromJson(source.readAll()).object();
    m_boardPath = m_dir.filePath(QStringLiteral("board.json"));
    writeFile(m_boardPath, QJsonDocument(m_board).toJson());
    QDir(m_dir.path()).mkdir(QStringLiteral("run"));
    QFile::setPermissions(m_dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(m_dir.filePath(QStringLiteral("VRD.INI")),
              QStringLiteral("[CLOUD]\r\nENABLE=1\r\nHOST=127.0.0.1\r\nPORT=%1\r\nBRANCH_TOKEN=%2\r\n")
                  .arg(brokerPort)
                  .arg(channel)
                  .toUtf8());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += m_process.readAll(); });
}

void AgentProcess::addCloudLines(const QByteArray& lines)
{
    QFile ini(m_dir.filePath(QStringLiteral("VRD.INI")));
    if (ini.open(QIODevice::Append))
        ini.write(lines);
}

AgentProcess::~AgentProcess()
{
    stop();
}

bool AgentProcess::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("GAUGE64_BOARD"), m_boardPath);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    env.remove(QStringLiteral("GAUGE64_TRACE"));
    env.remove(QStringLiteral("GAUGE64_SOURCE"));
    const QString agent = QStringLiteral(VRD_BIN_DIR "/VrdClient");
    if (!m_hwmonMachine.isEmpty())
        env.remove(QStringLiteral("GAUGE64_BOARD"));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_dir.path());
    if (m_hwmonMachine.isEmpty())
        m_process.start(agent, QStringList());
    else
        m_process.start(hwmon_fixture::namespaceProgram(), hwmon_fixture::namespaceArguments(hwmon_fixture::machineDirectory(m_hwmonMachine), agent, {}));
    return m_process.waitForStarted(5000);
}

void AgentProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(2000);
}

void AgentProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

void AgentProcess::setBoardRegister(const QString& bank, const QString& reg, int value)
{
    QJsonArray monitors = m_board.value("monitors").toArray();
    QJsonObject monitor = monitors.at(0).toObject();
    QJsonObject banks = monitor.value("registers").toObject();
    QJsonObject registers = banks.value(bank).toObject();
    registers.insert(reg, value);
    banks.insert(bank, registers);
    monitor.insert("registers", banks);
    monitors.replace(0, monitor);
    m_board.insert("monitors", monitors);
    // Written beside and renamed, so the agent never reads half a file.
    const QString staging = m_boardPath + ".new";
    writeFile(staging, QJsonDocument(m_board).toJson());
    QFile::remove(m_boardPath);
    QFile::rename(staging, m_boardPath);
}

QUuid AgentProcess::identity() const
{
    return withDatabase(m_dir.filePath("sysinfo2.sqlite"), [](QSqlDatabase& db) {
        QSqlQuery query(QStringLiteral("SELECT HOST_GUID FROM DMI_TBL WHERE ID = 1;"), db);
        return query.next() ? QUuid(query.value(0).toString().trimmed()) : QUuid();
    });
}

int AgentProcess::faultRows(int typeId) const
{
    return withDatabase(m_dir.filePath("sysinfo2.sqlite"), [typeId](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT COUNT(*) FROM SENSOR_TBL WHERE ERR = 1 AND TYPE_ID = ?;"));
        query.addBindValue(typeId);
        return query.exec() && query.next() ? query.value(0).toInt() : 0;
    });
}

QString AgentProcess::output()
{
    m_output += m_process.readAll();
    return m_output;
}
