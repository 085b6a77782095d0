// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "wine_program.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace wine {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

QString windowsBin()
{
    return qEnvironmentVariable("VRD_WIN_BIN");
}

QString prefix()
{
    return qEnvironmentVariable("WINEPREFIX");
}

QString windowsPath(const QString& linuxPath)
{
    return QStringLiteral("Z:") + QDir::cleanPath(QDir(linuxPath).absolutePath());
}

QProcessEnvironment environment(const QString& prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix);
    env.insert("WINEDEBUG", "-all");
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    env.remove("QT_QPA_PLATFORM");
    env.remove("GAUGE64_BOARD");
    env.remove("GAUGE64_SOURCE");
    env.remove("GAUGE64_TRACE");
    return env;
}

void start(QProcess& process, const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("VRD_WINE64"), QStringList{program} + arguments);
}

bool run(const QString& program, const QStringList& arguments, int timeoutMs, int* exitCode, QByteArray* output,
         const QProcessEnvironment& env)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    start(process, program, arguments, env);
    const bool ended = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (exitCode)
        *exitCode = process.exitCode();
    if (output)
        *output = process.readAll();
    return ended;
}

Agent::Agent(const QString& board, quint16 brokerPort, const QString& channel, const QByteArray& moreCloudLines)
{
    QFile::copy(QStringLiteral(VRD_SOURCE_DIR "/boards/") + board, m_dir.filePath("board.json"));
    writeFile(m_dir.filePath("VRD.INI"),
              QStringLiteral("[CLOUD]\r\nENABLE=1\r\nHOST=127.0.0.1\r\nPORT=%1\r\nBRANCH_TOKEN=%2\r\n")
                      .arg(brokerPort)
                      .arg(channel)
                      .toUtf8() +
                  moreCloudLines);
    // It may hold a broker password: the agent's own.
    QFile::setPermissions(m_dir.filePath("VRD.INI"), QFile::ReadOwner | QFile::WriteOwner);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Agent::~Agent()
{
    stop();
}

bool Agent::start()
{
    QProcessEnvironment env = environment();
    env.insert("GAUGE64_BOARD", windowsPath(m_dir.filePath("board.json")));
    m_process.setWorkingDirectory(m_dir.path());
    wine::start(m_process, QDir(windowsBin()).filePath("VrdClient.exe"), {}, env);
    return m_process.waitForStarted(10000);
}

bool Agent::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    int quitStatus = -1;
    run(QDir(windowsBin()).filePath("VrdClient.exe"), {"--quit"}, 60000, &quitStatus);
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }
    return quitStatus == 0 && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString Agent::databasePath() const
{
    return m_dir.filePath("sysinfo2.sqlite");
}

QUuid Agent::identity() const
{
    return storedIdentity(databasePath());
}

QUuid storedIdentity(const QString& databasePath)
{
    static int serial = 0;
    const QString name = QStringLiteral("wine_agent_%1").arg(++serial);
    QUuid identity;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (QFile::exists(databasePath) && db.open()) {
            QSqlQuery query(QStringLiteral("SELECT HOST_GUID FROM DMI_TBL WHERE ID = 1;"), db);
            if (query.next())
                identity = QUuid(query.value(0).toString().trimmed());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return identity;
}

QString Agent::output()
{
    while (m_process.waitForReadyRead(100))
        m_output += m_process.readAll();
    m_output += m_process.readAll();
    return m_output;
}

} // namespace wine
