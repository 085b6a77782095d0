#include "test_broker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace vrdtest {

namespace {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString brokerProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("VRD_MOSQUITTO");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

// The broker runs in a session of its own. A stopped process in a process group that loses its
// last tie to its session (the shell that started the test run exits first) is sent SIGHUP and
// SIGCONT by the kernel, which would end a hang before its time.
class OwnSessionProcess : public QProcess {
protected:
    void setupChildProcess() override { ::setsid(); }
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestBroker::TestBroker()
    : m_port(freeLoopbackPort())
{
}

TestBroker::~TestBroker()
{
    kill();
}

bool TestBroker::writeConfig()
{
    QFile config(m_dir.filePath(QStringLiteral("broker.conf")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray text = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n"
                            "allow_anonymous true\n"
                            "persistence false\n"
                            "set_tcp_nodelay true\n"
                            "log_dest stderr\n"
                            + m_extraConfig;
    return config.write(text) == text.size();
}

bool TestBroker::start(int timeoutMs)
{
    if (isRunning())
        return true;
    const QString program = brokerProgram();
    if (!m_dir.isValid() || m_port == 0 || program.isEmpty() || !writeConfig()) {
        m_notes += "test broker: no temporary directory, free port or mosquitto binary\n";
        return false;
    }
    m_process = std::make_unique<OwnSessionProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // A file, not a pipe: nobody has to drain it while a test runs.
    m_process->setStandardOutputFile(logPath(), QIODevice::Append);
    m_process->start(program, {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("broker.conf"))});
    if (!m_process->waitForStarted(timeoutMs)) {
        m_notes += "test broker: " + m_process->errorString().toLocal8Bit() + "\n";
        return false;
    }

    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeoutMs) {
        if (m_process->state() == QProcess::NotRunning)
            return false;
        if (acceptsConnections())
            return true;
        m_process->waitForFinished(20);
    }
    return false;
}

bool TestBroker::acceptsConnections() const
{
    QTcpSocket socket;
    socket.connectToHost(address(), m_port);
    const bool connected = socket.waitForConnected(200);
    socket.abort();
    return connected;
}

void TestBroker::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

void TestBroker::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process.reset();
}

bool TestBroker::hang()
{
    if (!m_process)
        return false;
    ::kill(pid_t(m_process->processId()), SIGSTOP);
    // The signal is delivered on the broker's way back to user space, not at once.
    QElapsedTimer elapsed;
    elapsed.start();
    while (!isHung() && elapsed.elapsed() < 2000)
        QThread::msleep(1);
    return isHung();
}

void TestBroker::resume()
{
    if (m_process)
        ::kill(pid_t(m_process->processId()), SIGCONT);
}

bool TestBroker::isHung() const
{
    if (!m_process)
        return false;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(m_process->processId()));
    // "pid (name) state ...": the state letter follows the name's closing parenthesis.
    const int state = stat.lastIndexOf(')') + 2;
    return state > 1 && state < stat.size() && (stat[state] == 'T' || stat[state] == 't');
}

bool TestBroker::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString TestBroker::output()
{
    return QString::fromLocal8Bit(m_notes + readFile(logPath()));
}

qint64 TestBroker::processId() const
{
    return isRunning() ? m_process->processId() : 0;
}

QString TestBroker::logPath() const
{
    return m_dir.filePath(QStringLiteral("broker.log"));
}

} // namespace vrdtest
