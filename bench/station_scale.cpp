// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// bench_station: the station with a fleet-sized registry and under a flood, on a real broker.
//
//   bench_station startup [--rows 10000]
//       The window started on a registry of that many clients: time from the constructor to the
//       first paint, then the slowest step of scrolling the list from top to bottom and of
//       typing a filter one character at a time (each step includes its paint).
//   bench_station flood [--flood-seconds 3] [--wait 60]
//       VrdBrowser as a process, and 10,000 messages on its reply topic within a few seconds, one
//       in ten each of: not JSON, 20,000 nested brackets, 70,000-byte payloads, random bytes,
//       inventory replies whose texts hold HTML and terminal escapes (1,000 clients), fault
//       replies with 60 malformed entries, inventory replies of 50 real-looking clients, and
//       (three in ten) their presence replies. Printed: clients registered of the 1,050 whose
//       inventory was well-formed and the time until the last, whether a hostile text was
//       stored verbatim, messages the broker dropped for the station (its log), the station's
//       stalls as its event-loop watch reported them, resident memory before and after.
//   bench_station real [--agents 50] [--seconds 30] [--client PATH] [--station PATH] [--no-station]
//                      [--sim-agents N]
//       That many real VrdClient processes (each its own working and runtime directory, on a
//       simulated board) and VrdBrowser, all on one broker, the station asking for presence
//       every second and polling the health column: per-agent CPU (mean and max, % of one core),
//       broker messages sent per second ($SYS) and broker CPU over the window. --client and
//       --station run other builds of the programs (the client's directory must hold its
//       libGauge64.so), for a before and after; --no-station runs the agents without a station;
//       --sim-agents adds a vrd-fleet-sim fleet of N agents beside the real ones, all on the
//       same broker.
//   bench_station burst [--agents 10000] [--sites 0] [--broker-queue N] [--wait 60]
//       VrdBrowser as a process and vrd-fleet-sim with that many agents; one inventory request
//       to all: registry rows counted until every agent is in, and the time until the last. With
//       --sites S the agents sit on S site brokers bridged to the station's broker.
//
// Every connection is on 127.0.0.1; every loop is bounded by --wait.

#include "bench_support.h"
#include "messages.h"
#include "mainform.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QProcessEnvironment>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>


#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr char kChannel[] = "BENCH";
constexpr int kFloodMessages = 10000;
constexpr int kRealLookingClients = 50;
constexpr int kPollMs = 100;

const char kCreateRegistry[] = "CREATE TABLE CLIENTINFO_TBL( COMPUTERNAME CHAR(128),CPUNAME CHAR(128), OSNAME "
                               "CHAR(128), SYSMODEL CHAR(128), SYSSERIL CHAR(128),GUID CHAR(64) PRIMARY KEY UNIQUE );";

void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void writeIni(const QString& dir, quint16 port)
{
    QFile ini(dir + QStringLiteral("/VRD.INI"));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n").arg(port).arg(kChannel).toUtf8());
}

// A connection of the bench's own to a registry file; closed and removed with the object.
class Registry {
public:
    explicit Registry(const QString& path)
        : m_name(QStringLiteral("bench-%1").arg(++s_serial))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        m_db.open();
    }
    ~Registry()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }

    int count()
    {
        QSqlQuery query(m_db);
        return query.exec(QStringLiteral("SELECT COUNT(DISTINCT GUID) FROM CLIENTINFO_TBL;")) && query.next()
            ? query.value(0).toInt()
            : -1;
    }

    QString nameOf(const QUuid& id)
    {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("SELECT COMPUTERNAME FROM CLIENTINFO_TBL WHERE GUID = ?;"));
        query.addBindValue(msg::uuidText(id));
        return query.exec() && query.next() ? query.value(0).toString() : QString();
    }

    QSqlDatabase& db() { return m_db; }

private:
    static inline int s_serial = 0;
    QString m_name;
    QSqlDatabase m_db;
};

// VrdBrowser in a directory of its own; what it writes to standard error is kept.
class StationProcess {
public:
    bool start(quint16 port, const QString& program = QStringLiteral(VRD_BIN_DIR "/VrdBrowser"))
    {
        writeIni(m_dir.path(), port);
        // The program reads its files beside itself: run a copy from the bench's directory.
        m_program = m_dir.filePath(QStringLiteral("VrdBrowser"));
        QFile::copy(program, m_program);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_program, QStringList());
        return m_process.waitForStarted(5000);
    }
    ~StationProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    QString registryPath() const { return m_dir.filePath(QStringLiteral("Client.sqlite")); }

    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAll());
        return m_output;
    }

    double residentMegabytes() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QRegularExpression rss(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
        const QRegularExpressionMatch match = rss.match(QString::fromLatin1(status.readAll()));
        return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
    }

    double cpuSeconds() const { return benchsupport::processCpuSeconds(m_process.processId()); }

    // "event loop stalled: timer fired N ms late" lines: their count and the largest N.
    QPair<int, int> stalls()
    {
        const QRegularExpression late(QStringLiteral("timer fired (\\d+) ms late"));
        int count = 0;
        int largest = 0;
        auto it = late.globalMatch(output());
        while (it.hasNext()) {
            ++count;
            largest = std::max(largest, it.next().captured(1).toInt());
        }
        return {count, largest};
    }

private:
    QTemporaryDir m_dir;
    QString m_program;
    QProcess m_process;
    QString m_output;
};

// Waits until the station is on the broker: its presence request arrives on the request topic.
bool stationOnBroker(vrdtest::TestMqttClient& tap, int timeoutMs)
{
    if (!tap.subscribe(msg::requestTopic(QLatin1String(kChannel))))
        return false;
    const bool heard = tap.waitForMessages(1, timeoutMs);
    pump(1500); // its reply link subscribes beside it
    return heard;
}

int brokerDrops(vrdtest::TestBroker& broker)
{
    return broker.output().count(QStringLiteral("Outgoing messages are being dropped"));
}

QUuid uuidOf(std::mt19937_64& random)
{
    QUuid id;
    id.data1 = uint(random());
    id.data2 = ushort(random());
    id.data3 = ushort(random());
    for (uchar& byte : id.data4)
        byte = uchar(random());
    id.data3 = ushort((id.data3 & 0x0fff) | 0x4000);
    id.data4[0] = uchar((id.data4[0] & 0x3f) | 0x80);
    return id;
}

struct Flood {
    QList<QByteArray> messages;
    QSet<QUuid> wellFormed; // identities whose inventory reply is well-formed
    QUuid hostileProbe;     // one of them, whose texts hold HTML and terminal escapes
    QString hostileName;
};

QString hostileText(int i)
{
    return QStringLiteral("<b>PC-%1</b><script>alert(1)</script>\x1b[31mRED\x1b[0m\x07<img src=x onerror=y>").arg(i);
}

QByteArray malformedFaults(std::mt19937_64& random, int i)
{
    QByteArray entries;
    for (int e = 0; e < 60; ++e)
        entries += (e ? "," : "") + QByteArray(R"({"DT":"x)") + QByteArray::number(e) + R"(","MSG":)"
            + QByteArray::number(i) + R"(,"TYPE":"nine"})";
    return R"({"SrvCall":3,"TUuid":")" + msg::uuidText(uuidOf(random)).toUtf8() + R"(","Err50":[)" + entries + "]}";
}

Flood makeFlood(quint64 seed)
{
    std::mt19937_64 random(seed);
    Flood flood;
    QVector<QUuid> realLooking;
    for (int k = 0; k < kRealLookingClients; ++k)
        realLooking.append(uuidOf(random));
    for (int i = 0; i < kFloodMessages; ++i) {
        const QUuid client = realLooking[(i / 10) % kRealLookingClients];
        switch (i % 10) {
        case 0:
            flood.messages.append("this is not JSON {\"SrvCall\":4," + QByteArray::number(i));
            break;
        case 1:
            flood.messages.append(QByteArray(20000, '[') + QByteArray(20000, ']'));
            break;
        case 2: {
            const QByteArray head = R"({"SrvCall":4,"TUuid":")" + msg::uuidText(uuidOf(random)).toUtf8() + R"(","pad":")";
            flood.messages.append(head + QByteArray(70000 - head.size() - 2, 'x') + "\"}");
            break;
        }
        case 3: {
            QByteArray bytes(std::uniform_int_distribution<int>(200, 2000)(random), '\0');
            for (char& byte : bytes)
                byte = char(random());
            flood.messages.append(bytes);
            break;
        }
        case 4: {
            const QUuid id = uuidOf(random);
            const QString text = hostileText(i);
            flood.messages.append(msg::buildInventoryReply(id, {text, text, text, text, text, {}}));
            flood.wellFormed.insert(id);
            if (flood.hostileProbe.isNull()) {
                flood.hostileProbe = id;
                flood.hostileName = text;
            }
            break;
        }
        case 5:
            flood.messages.append(malformedFaults(random, i));
            break;
        case 6:
            flood.messages.append(msg::buildInventoryReply(
                client, {QStringLiteral("PLANT\\WS-%1").arg((i / 10) % kRealLookingClients, 4, 10, QLatin1Char('0')),
                         QStringLiteral("Quad-Core Processor 3.20 GHz"), QStringLiteral("Windows 10 Pro"),
                         QStringLiteral("Compact Desktop CD-4"), QStringLiteral("SN%1").arg(i), {}}));
            flood.wellFormed.insert(client);
            break;
        default:
            flood.messages.append(msg::buildLoadReply(client, quint16(i % 100)));
            break;
        }
    }
    return flood;
}

int runFlood(int floodSeconds, int waitSeconds)
{
    vrdtest::TestBroker broker;
    if (!broker.start())
        return std::fprintf(stderr, "broker: %s\n", qPrintable(broker.output())), 1;
    StationProcess station;
    vrdtest::TestMqttClient tap(broker.port());
    if (!station.start(broker.port()) || !tap.connectToBroker() || !stationOnBroker(tap, 10000))
        return std::fprintf(stderr, "station did not come up: %s\n", qPrintable(station.output())), 1;
    const Flood flood = makeFlood(7);
    const double rssBefore = station.residentMegabytes();
    const double cpuBefore = station.cpuSeconds();

    vrdtest::TestMqttClient sender(broker.port());
    if (!sender.connectToBroker())
        return 1;
    QElapsedTimer sinceStart;
    sinceStart.start();
    const int chunks = std::max(1, floodSeconds * 10);
    for (int chunk = 0; chunk < chunks; ++chunk) {
        for (int i = chunk * kFloodMessages / chunks; i < (chunk + 1) * kFloodMessages / chunks; ++i)
            sender.publish(msg::replyTopic(QLatin1String(kChannel)), flood.messages[i]);
        pump(int(std::max<qint64>(0, (chunk + 1) * 100 - sinceStart.elapsed())));
    }
    const qint64 sentMs = sinceStart.elapsed();

    Registry registry(station.registryPath());
    int registered = 0;
    qint64 lastMs = -1;
    while (sinceStart.elapsed() < waitSeconds * 1000) {
        const int now = registry.count();
        if (now != registered)
            lastMs = sinceStart.elapsed();
        registered = now;
        if (registered >= flood.wellFormed.size())
            break;
        pump(kPollMs);
    }
    pump(2000); // what the station still does after the last registration
    const double cpu = station.cpuSeconds() - cpuBefore;
    const double rssAfter = station.residentMegabytes();
    const QPair<int, int> stalls = station.stalls();
    std::printf("flood: %d messages sent in %lld ms\n", kFloodMessages, static_cast<long long>(sentMs));
    std::printf("registered: %d of %d well-formed clients; the last %lld ms after the flood began\n", registered,
                int(flood.wellFormed.size()), static_cast<long long>(lastMs));
    std::printf("hostile text stored verbatim: %s\n", registry.nameOf(flood.hostileProbe) == flood.hostileName ? "yes" : "NO");
    std::printf("broker: %d 'Outgoing messages are being dropped' lines\n", brokerDrops(broker));
    std::printf("station: %d event-loop stalls over 100 ms (largest %d ms); CPU %.2f s; RSS %.1f -> %.1f MB\n",
                stalls.first, stalls.second, cpu, rssBefore, rssAfter);
    return registered == flood.wellFormed.size() ? 0 : 1;
}

// A site broker's bridge to head office, as docs/deployment.md gives it.
QByteArray bridgeTo(quint16 headOfficePort, int site)
{
    return "connection site-" + QByteArray::number(site) + "\naddress 127.0.0.1:" + QByteArray::number(headOfficePort)
        + "\ntopic " + kChannel + "H2C/# in 0\ntopic " + kChannel + "C2H/# out 0\n"
        + "cleansession true\nrestart_timeout 1\n";
}

// The simulator on one broker; true once every agent is ready.
bool startFleet(QProcess& fleet, quint16 port, int agents, quint64 seed, int waitSeconds)
{
    fleet.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fleet.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                {QStringLiteral("--port"), QString::number(port), QStringLiteral("--channel"), QLatin1String(kChannel),
                 QStringLiteral("--agents"), QString::number(agents), QStringLiteral("--seed"), QString::number(seed)});
    QByteArray out;
    QElapsedTimer ready;
    ready.start();
    while (!out.contains("ready") && ready.elapsed() < waitSeconds * 1000) {
        fleet.waitForReadyRead(kPollMs);
        out += fleet.readAllStandardOutput();
    }
    return out.contains("ready");
}

// With sites > 0 the agents are spread over that many site brokers, each bridged to the
// station's broker: past one broker's descriptors (three per agent), as a large fleet is run.
int runBurst(int agents, int sites, int queue, int waitSeconds)
{
    vrdtest::TestBroker broker;
    if (queue > 0)
        broker.setExtraConfig("max_queued_messages " + QByteArray::number(queue) + "\n");
    if (!broker.start())
        return 1;
    std::vector<std::unique_ptr<vrdtest::TestBroker>> siteBrokers;
    for (int site = 0; site < sites; ++site) {
        siteBrokers.push_back(std::make_unique<vrdtest::TestBroker>());
        siteBrokers.back()->setExtraConfig(bridgeTo(broker.port(), site));
        if (!siteBrokers.back()->start())
            return 1;
    }
    const int fleets = std::max(1, sites);
    std::vector<std::unique_ptr<QProcess>> fleet;
    QElapsedTimer ready;
    ready.start();
    for (int f = 0; f < fleets; ++f) {
        fleet.push_back(std::make_unique<QProcess>());
        const quint16 port = sites > 0 ? siteBrokers[size_t(f)]->port() : broker.port();
        const int share = agents * (f + 1) / fleets - agents * f / fleets;
        if (!startFleet(*fleet.back(), port, share, quint64(f + 1), waitSeconds))
            return std::fprintf(stderr, "fleet not ready\n"), 1;
    }
    std::printf("fleet of %d ready after %lld ms (%d site brokers bridged to the station's; its broker queues %s "
                "messages per client)\n",
                agents, static_cast<long long>(ready.elapsed()), sites,
                queue > 0 ? qPrintable(QString::number(queue)) : "the default 1000");

    StationProcess station;
    vrdtest::TestMqttClient tap(broker.port());
    if (!station.start(broker.port()) || !tap.connectToBroker() || !stationOnBroker(tap, 10000))
        return 1;
    Registry registry(station.registryPath());
    QElapsedTimer sinceRequest;
    sinceRequest.start();
    tap.publish(msg::requestTopic(QLatin1String(kChannel)), msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
    int registered = 0;
    qint64 lastMs = -1;
    while (sinceRequest.elapsed() < waitSeconds * 1000 && registered < agents) {
        const int now = registry.count();
        if (now != registered)
            lastMs = sinceRequest.elapsed();
        registered = now;
        pump(kPollMs / 2);
    }
    const QPair<int, int> stalls = station.stalls();
    std::printf("burst: %d of %d agents registered; the last within %lld ms of the request\n", registered, agents,
                static_cast<long long>(lastMs));
    std::printf("broker: %d 'Outgoing messages are being dropped' lines; station: %d stalls over 100 ms "
                "(largest %d ms)\n",
                brokerDrops(broker), stalls.first, stalls.second);
    for (auto& process : fleet) {
        process->terminate();
        process->waitForFinished(10000);
    }
    return registered == agents ? 0 : 1;
}

// One real agent in a working and runtime directory of its own, on a simulated board.
class AgentProcess {
public:
    bool start(const QString& program, quint16 port, const QString& board)
    {
        QDir(m_dir.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile ini(m_dir.filePath(QStringLiteral("VRD.INI")));
        ini.open(QIODevice::WriteOnly);
        ini.write(QStringLiteral("[CLOUD]\r\nENABLE=1\r\nHOST=127.0.0.1\r\nPORT=%1\r\nBRANCH_TOKEN=%2\r\n")
                      .arg(port)
                      .arg(kChannel)
                      .toUtf8());
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("GAUGE64_BOARD"), board);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_dir.path());
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(program, QStringList());
        return m_process.waitForStarted(5000);
    }
    ~AgentProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    qint64 pid() const { return m_process.processId(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// The broker's count of messages sent, as of its next $SYS update (every second here).
qint64 brokerSentFigure(vrdtest::TestMqttClient& meter)
{
    meter.clear();
    return meter.waitForMessages(1, 3000) ? meter.payloads().last().toLongLong() : -1;
}

int runReal(int agents, int seconds, const QString& client, const QString& stationProgram, bool withStation,
            int simAgents)
{
    vrdtest::TestBroker broker;
    broker.setExtraConfig("sys_interval 1\nmax_queued_messages 20000\n");
    if (!broker.start())
        return 1;
    QProcess simulated;
    if (simAgents > 0 && !startFleet(simulated, broker.port(), simAgents, 99, 120))
        return std::fprintf(stderr, "simulated fleet not ready\n"), 1;
    std::vector<std::unique_ptr<AgentProcess>> fleet;
    for (int i = 0; i < agents; ++i) {
        fleet.push_back(std::make_unique<AgentProcess>());
        if (!fleet.back()->start(client, broker.port(), QStringLiteral(VRD_SOURCE_DIR "/boards/fintek-f81866.json")))
            return std::fprintf(stderr, "agent %d did not start\n", i), 1;
        pump(100); // a start-up at a time: each reads its whole inventory
    }
    StationProcess station;
    vrdtest::TestMqttClient tap(broker.port());
    if (withStation) {
        if (!station.start(broker.port(), stationProgram) || !tap.connectToBroker() || !stationOnBroker(tap, 10000))
            return 1;
        // The station lists and asks only the clients it has discovered.
        tap.publish(msg::requestTopic(QLatin1String(kChannel)),
                    msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
    }
    vrdtest::TestMqttClient meter(broker.port());
    if (!meter.connectToBroker() || !meter.subscribe(QStringLiteral("$SYS/broker/messages/sent")))
        return 1;
    // Start-up done everywhere; with a station, every client listed, online and in the health rounds.
    pump(withStation ? 40000 : 10000);
    std::vector<double> before;
    for (const auto& agent : fleet)
        before.push_back(benchsupport::processCpuSeconds(agent->pid()));
    const double brokerBefore = benchsupport::processCpuSeconds(broker.processId());
    const double stationBefore = station.cpuSeconds();
    const qint64 sentBefore = brokerSentFigure(meter);
    QElapsedTimer window;
    window.start();
    pump(seconds * 1000);
    const qint64 sentAfter = brokerSentFigure(meter);
    const double elapsed = double(window.elapsed()) / 1000.0;
    double sum = 0;
    double most = 0;
    for (size_t i = 0; i < fleet.size(); ++i) {
        const double percent = 100.0 * (benchsupport::processCpuSeconds(fleet[i]->pid()) - before[i]) / elapsed;
        sum += percent;
        most = std::max(most, percent);
    }
    std::printf("real agents: %d (beside %d simulated, station %s) over %.1f s; agent CPU mean %.2f %%, max %.2f %% "
                "of one core\n",
                agents, simAgents, withStation ? "on" : "off", elapsed, sum / agents, most);
    std::printf("broker: %.0f messages sent per second, CPU %.2f %%; station CPU %.2f %%\n",
                double(sentAfter - sentBefore) / elapsed,
                100.0 * (benchsupport::processCpuSeconds(broker.processId()) - brokerBefore) / elapsed,
                withStation ? 100.0 * (station.cpuSeconds() - stationBefore) / elapsed : 0.0);
    simulated.terminate();
    simulated.waitForFinished(10000);
    return 0;
}

void writeRegistry(const QString& path, int rows)
{
    Registry registry(path);
    QSqlQuery query(registry.db());
    query.exec(QLatin1String(kCreateRegistry));
    registry.db().transaction();
    query.prepare(QStringLiteral("INSERT INTO CLIENTINFO_TBL VALUES(?, ?, ?, ?, ?, ?);"));
    std::mt19937_64 random(3);
    for (int i = 0; i < rows; ++i) {
        query.addBindValue(QStringLiteral("SITE-%1\\WS-%2").arg(i % 7).arg(int(random() % 100000), 5, 10, QLatin1Char('0')));
        query.addBindValue(QStringLiteral("Quad-Core Processor"));
        query.addBindValue(i % 3 ? QStringLiteral("Windows 10 Pro") : QStringLiteral("Windows 11 Pro"));
        query.addBindValue(QStringLiteral("Tower"));
        query.addBindValue(QStringLiteral("SN%1").arg(i));
        query.addBindValue(msg::uuidText(uuidOf(random)));
        query.exec();
    }
    registry.db().commit();
}

// The slowest of the steps, each followed by the paint it causes.
template <typename Step>
double slowestMs(int steps, Step step)
{
    double slowest = 0;
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        QCoreApplication::processEvents();
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e6);
    }
    return slowest;
}

int runStartup(int rows)
{
    QTemporaryDir dir;
    writeRegistry(dir.filePath(QStringLiteral("Client.sqlite")), rows);
    QElapsedTimer timer;
    timer.start();
    Mainform window(dir.path());
    const double constructedMs = double(timer.nsecsElapsed()) / 1e6;
    window.show();
    QCoreApplication::processEvents();
    const double paintedMs = double(timer.nsecsElapsed()) / 1e6;
    auto* view = window.findChild<QTreeView*>(QStringLiteral("tvClient"));
    QScrollBar* bar = view->verticalScrollBar();
    constexpr int kScrollSteps = 100;
    const double scrollMs = slowestMs(kScrollSteps, [&](int i) { bar->setValue(bar->maximum() * (i + 1) / kScrollSteps); });
    const QString typed = QStringLiteral("site-3\\ws-1");
    const double filterMs = slowestMs(typed.size() * 2, [&](int i) {
        const int length = i < typed.size() ? i + 1 : 2 * typed.size() - i - 1; // type, then erase
        window.clientFilterEdit()->setText(typed.left(length));
    });
    std::printf("startup with %d registered clients: %d listed; constructed in %.0f ms, first paint at %.0f ms\n",
                rows, window.clientList().rowCount(), constructedMs, paintedMs);
    std::printf("slowest scroll step %.1f ms (of %d), slowest filter keystroke %.1f ms (of %d)\n", scrollMs,
                kScrollSteps, filterMs, int(typed.size() * 2));
    return window.clientList().rowCount() == rows ? 0 : 1;
}

// Thousands of connections need as many descriptors; the broker started from here inherits it.
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchsupport::raiseOpenFilesLimit();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("what"), QStringLiteral("startup, flood or burst"));
    const QCommandLineOption rows(QStringLiteral("rows"), QStringLiteral("Registry rows (startup)."), QStringLiteral("N"),
                                  QStringLiteral("10000"));
    const QCommandLineOption agents(QStringLiteral("agents"), QStringLiteral("Simulated agents (burst)."),
                                    QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption floodSeconds(QStringLiteral("flood-seconds"), QStringLiteral("Spread of the flood."),
                                          QStringLiteral("s"), QStringLiteral("3"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("Longest wait for the outcome."),
                                  QStringLiteral("s"), QStringLiteral("60"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Measuring window (real)."),
                                     QStringLiteral("s"), QStringLiteral("30"));
    const QCommandLineOption client(QStringLiteral("client"), QStringLiteral("VrdClient to run (real)."),
                                    QStringLiteral("path"), QStringLiteral(VRD_BIN_DIR "/VrdClient"));
    const QCommandLineOption stationProgram(QStringLiteral("station"), QStringLiteral("VrdBrowser to run (real)."),
                                            QStringLiteral("path"), QStringLiteral(VRD_BIN_DIR "/VrdBrowser"));
    const QCommandLineOption sites(QStringLiteral("sites"),
                                   QStringLiteral("Site brokers bridged to the station's, the agents spread over them "
                                                  "(burst; 0: every agent on the station's broker)."),
                                   QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption queue(QStringLiteral("broker-queue"),
                                   QStringLiteral("max_queued_messages of the station's broker (burst; 0: default)."),
                                   QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption noStation(QStringLiteral("no-station"), QStringLiteral("No station (real)."));
    const QCommandLineOption simAgents(QStringLiteral("sim-agents"),
                                       QStringLiteral("Simulated agents beside the real ones (real)."),
                                       QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({rows, agents, floodSeconds, wait, seconds, client, stationProgram, sites, queue, noStation,
                       simAgents});
    parser.process(app);
    const QString what = parser.positionalArguments().value(0);
    const int waitSeconds = std::clamp(parser.value(wait).toInt(), 1, 600);
    if (what == QLatin1String("startup"))
        return runStartup(std::clamp(parser.value(rows).toInt(), 0, 1000000));
    if (what == QLatin1String("flood"))
        return runFlood(std::clamp(parser.value(floodSeconds).toInt(), 1, 60), waitSeconds);
    if (what == QLatin1String("real"))
        return runReal(std::clamp(parser.value(agents).toInt(), 1, 500), std::clamp(parser.value(seconds).toInt(), 1, 600),
                       parser.value(client), parser.value(stationProgram), !parser.isSet(noStation),
                       std::clamp(parser.value(simAgents).toInt(), 0, 20000));
    if (what == QLatin1String("burst"))
        return runBurst(std::clamp(parser.value(agents).toInt(), 1, 100000), std::clamp(parser.value(sites).toInt(), 0, 8),
                        std::clamp(parser.value(queue).toInt(), 0, 10000000), waitSeconds);
    parser.showHelp(2);
}
