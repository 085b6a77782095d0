// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "secure_broker.h"
#include "broker_process.h"

#include <algorithm>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace vrdtest {

namespace {

const QString kConfigSource = QStringLiteral(VRD_SOURCE_DIR "/docs/broker/mosquitto.conf");
const QString kFileMaker = QStringLiteral(VRD_SOURCE_DIR "/docs/broker/vrd-broker-files");
const QByteArray kInstalledDir = "/etc/mosquitto/vrd/";
const QByteArray kShippedListener = "listener 8883\n";

constexpr int kMakerTimeoutMs = 60000;

struct ListenerRow {
    const char* address;
    const char* options; // after the listener line; %1 is the directory of the made files
};

// By SecureBroker::Listener. The first is the shipped configuration's own listener.
constexpr ListenerRow kListeners[] = {
    {"127.0.0.1", ""},
    {"127.0.0.2", "cafile %1/ca.crt\ncertfile %1/broker.crt\nkeyfile %1/broker.key\n"},
    {"127.0.0.1", "cafile %1/ca.crt\ncertfile %1/broker.crt\nkeyfile %1/broker.key\nrequire_certificate true\n"},
    {"127.0.0.1", ""},
};

// Run as root, the broker would drop to its own user, who cannot read the test's files.
QByteArray currentUser()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QByteArray(entry->pw_name) : QByteArray("root");
}

} // namespace

SecureBroker::SecureBroker(const QStringList& accounts)
    : m_accounts(accounts)
{
    for (int i = 0; i < ListenerCount; ++i)
        m_ports[i] = freePort(address(Listener(i)));
}

SecureBroker::~SecureBroker()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(5000);
}

QHostAddress SecureBroker::address(Listener listener) const
{
    return QHostAddress(QString::fromLatin1(kListeners[listener].address));
}

QString SecureBroker::file(const QString& name) const
{
    return m_dir.filePath(QStringLiteral("files/") + name);
}

QString SecureBroker::password(const QString& account) const
{
    return QString::fromUtf8(readFile(file(account + QStringLiteral(".password")))).trimmed();
}

BrokerAccess SecureBroker::access(const QString& account, Listener listener) const
{
    BrokerAccess access;
    access.user = account;
    access.password = password(account);
    access.tls = listener != Plain;
    if (access.tls)
        access.caFile = file(QStringLiteral("ca.crt"));
    if (listener == ClientCertificate) {
        access.certFile = file(account + QStringLiteral(".crt"));
        access.keyFile = file(account + QStringLiteral(".key"));
    }
    return access;
}

bool SecureBroker::makeFiles()
{
    const QList<QStringList> runs = {
        QStringList{"--client-certs", file(QString()), "127.0.0.1"} + m_accounts,
        {file(QStringLiteral("other")), "127.0.0.1", "agent:agent"},
    };
    for (const QStringList& arguments : runs) {
        QProcess maker;
        maker.setProcessChannelMode(QProcess::MergedChannels);
        maker.start(QStringLiteral("bash"), QStringList{kFileMaker} + arguments);
        const bool done = maker.waitForFinished(kMakerTimeoutMs) && maker.exitStatus() == QProcess::NormalExit &&
                          maker.exitCode() == 0;
        m_notes += maker.readAll();
        if (!done)
            return false;
    }
    return true;
}

bool SecureBroker::writeConfig()
{
    QByteArray config = readFile(kConfigSource);
    if (!config.contains(kShippedListener)) {
        m_notes += "secure broker: the shipped configuration has no '" + kShippedListener.trimmed() + "'\n";
        return false;
    }
    const QByteArray made = QFile::encodeName(file(QString())).chopped(1); // without the trailing '/'
    config.replace(kInstalledDir, made + '/');
    config.replace(kShippedListener,
                   "listener " + QByteArray::number(m_ports[Tls]) + ' ' + kListeners[Tls].address + '\n');
    config += "\nuser " + currentUser() + "\nlog_dest stderr\nset_tcp_nodelay true\n";
    for (int i = Tls + 1; i < ListenerCount; ++i)
        config += "listener " + QByteArray::number(m_ports[i]) + ' ' + kListeners[i].address + '\n' +
                  QByteArray(kListeners[i].options).replace("%1", made);
    QFile out(m_dir.filePath(QStringLiteral("broker.conf")));
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(config) == config.size();
}

bool SecureBroker::start(int timeoutMs)
{
    if (m_process && m_process->state() == QProcess::Running)
        return true;
    const QString program = brokerProgram();
    if (!m_dir.isValid() || program.isEmpty() || std::count(m_ports.begin(), m_ports.end(), 0) > 0) {
        m_notes += "secure broker: no temporary directory, free ports or mosquitto binary\n";
        return false;
    }
    if (!m_made && !(m_made = makeFiles() && writeConfig()))
        return false;
    m_process = startBrokerProcess(program, m_dir.filePath(QStringLiteral("broker.conf")),
                                   m_dir.filePath(QStringLiteral("broker.log")), [this] { return allAccept(); },
                                   timeoutMs, m_notes);
    return m_process != nullptr;
}

bool SecureBroker::allAccept() const
{
    for (int i = 0; i < ListenerCount; ++i)
        if (!acceptsTcp(address(Listener(i)), m_ports[i]))
            return false;
    return true;
}

void SecureBroker::stop()
{
    stopBrokerProcess(m_process);
}

QString SecureBroker::output()
{
    return QString::fromLocal8Bit(m_notes + readFile(m_dir.filePath(QStringLiteral("broker.log"))));
}

} // namespace vrdtest
