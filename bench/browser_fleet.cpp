// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// bench_browser: the station on a real broker, watching the fleet simulator.
//
//   bench_browser [--agents 100,1000,2000] [--seconds 20] [--health on,off] [--sites S]
//
// With --sites S the agents sit on S site brokers, each bridged to the station's broker with the
// bridge lines of docs/deployment.md (past one broker's descriptors, as a large fleet is run);
// the broker figures are then the sums over every broker.
//
// For every fleet size, with the health polling on and (when asked) off: the station discovers the fleet (Client Refresh), waits until every
// agent shows online, then runs its own one-second timer for the measuring window while every
// agent answers each presence request. Printed per size:
//   - discovery: time from Client Refresh until every agent is listed (one registry write each),
//     pressing it again every 10 s while some are missing;
//   - online: the agents shown online when the window starts (all of them, unless the broker
//     or the station could not keep up);
//   - replies handled per second, against agents x seconds;
//   - CPU of the station's thread (user + system) over the window, in % of one core; the
//     station runs entirely on the GUI thread;
//   - latency from a reply's arrival at a socket to the end of the station's handling: median,
//     99th percentile and maximum. The arrival is taken by a second subscriber of the reply
//     topic on its own network thread, matched by the stamp the simulator puts into every
//     presence reply (the monotonic clock, shared by the processes of the machine). When the
//     station is idle it often handles a reply before that subscriber's thread gets to record
//     it; such replies count as 0 and their share is printed. The time from the agent's send,
//     which adds the simulator's own burst and the broker hop, is printed as well;
//   - event-loop lag: how late a 10 ms timer fires (99th percentile and maximum), i.e. how long
//     the window is unresponsive;
//   - one status refresh of all rows, timed alone;
//   - health: the time from every agent shown online until the Health column of every row reads
//     healthy or fault (at most two minutes; the rows still without an answer are printed);
//   - the broker: per second, the messages it sent ($SYS/broker/messages/sent, every packet, the
//     keep-alive answers included) and the PUBLISH messages among them
//     ($SYS/broker/publish/messages/sent, updated every second), both less those delivered to the
//     bench's own second subscriber; its CPU over the window, in % of one core.
// Every simulated agent holds three connections, as a real one: the bench raises its open-files
// limit to the hard limit, which the broker inherits.
// The window is shown (offscreen platform unless QT_QPA_PLATFORM says otherwise), so painting
// is part of the cost.

#include "fleet_monitor.h"
#include "mainform.h"
#include "bench_support.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "test_broker.h"
#include "test_mqtt_client.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <mosquitto.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

constexpr char kChannel[] = "BENCH";
constexpr char kStampKey[] = "\"SimSentNs\":";
constexpr int kLagProbeMs = 10;
constexpr int kWarmUpSeconds = 2;
constexpr qint64 kDiscoveryLimitMs = 180000;
constexpr int kRefreshAgainMs = 10000;
constexpr int kAllOnlineLimitMs = 60000;
constexpr int kHealthFilledLimitMs = 120000;

qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 threadCpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    auto micros = [](const timeval& t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

double percentile(std::vector<qint64> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(share * double(values.size())));
    return double(values[index]);
}

// Runs the event loop for ms milliseconds, sleeping while there is nothing to do.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    constexpr int kPollMs = 5;
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        pump(kPollMs);
    }
    return true;
}

// Reads "SimSentNs" out of a stamped reply; 0 when there is none.
qint64 stampOf(const QByteArray& payload)
{
    const int at = payload.indexOf(kStampKey);
    if (at < 0)
        return 0;
    const int start = at + int(sizeof(kStampKey)) - 1;
    return payload.mid(start, payload.indexOf('}', start) - start).toLongLong();
}

// A second subscriber of the reply topic with its own network thread: the time a reply
// reaches it stands for the time the reply reaches the station's socket.
class ArrivalTap {
public:
    explicit ArrivalTap(quint16 port)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(mosq, nullptr, (QByteArray(kChannel) + "C2H").constData(), 0);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<ArrivalTap*>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message* message) {
            static_cast<ArrivalTap*>(self)->record(message);
        });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 60);
        mosquitto_loop_start(m_mosq);
    }

    ~ArrivalTap()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, true);
        mosquitto_destroy(m_mosq);
    }

    bool isSubscribed() const { return m_subscribed; }
    quint64 received() const { return m_received; }

    // Arrival time of the reply with this stamp, or 0.
    qint64 arrivalOf(qint64 stamp)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_arrivals.find(stamp);
        return found == m_arrivals.end() ? 0 : found->second;
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrivals.clear();
    }

private:
    void record(const mosquitto_message* message)
    {
        const qint64 now = monotonicNanoseconds();
        ++m_received;
        const qint64 stamp = stampOf(QByteArray::fromRawData(static_cast<const char*>(message->payload),
                                                             message->payloadlen));
        if (stamp == 0)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrivals[stamp] = now;
    }

    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::atomic<quint64> m_received{0};
    std::mutex m_mutex;
    std::unordered_map<qint64, qint64> m_arrivals;
};

struct Figures {
    int agents = 0;
    int sites = 0;
    double healthFilledMs = -1; // -1: not every row within the limit
    int healthMissing = 0;
    int online = 0; // shown online when the window started
    bool health = true;
    double discoveryMs = 0;
    double seconds = 0;
    quint64 replies = 0;
    double cpuPercent = 0;
    double latencyMedianMs = 0; // arrival at the socket to handled
    double latencyP99Ms = 0;
    double latencyMaxMs = 0;
    double sendMedianMs = 0; // send at the agent to handled
    double sendP99Ms = 0;
    double tapLatePercent = 0; // replies handled before the second subscriber saw them (counted as 0)
    double lagP99Ms = 0;
    double lagMaxMs = 0;
    double refreshUs = 0;
    double brokerSentPerSecond = 0;
    std::vector<double> sentPerSecondByBroker; // the station's first, then each site's
    double brokerPublishedPerSecond = 0; // less the bench's second subscriber
    double brokerCpuPercent = 0;
    int brokerDrops = 0; // "Outgoing messages are being dropped" lines of the station's broker
};

const QString kSentTopic = QStringLiteral("$SYS/broker/messages/sent");
const QString kPublishSentTopic = QStringLiteral("$SYS/broker/publish/messages/sent");

// The broker's counts of messages and PUBLISH messages sent, as of its next $SYS update.
std::pair<qint64, qint64> brokerSentFigures(vrdtest::TestMqttClient& meter)
{
    meter.clear();
    qint64 sent = -1;
    qint64 published = -1;
    QElapsedTimer waited;
    waited.start();
    while ((sent < 0 || published < 0) && waited.elapsed() < 3000) {
        meter.waitForMessages(2, 100);
        for (const vrdtest::TestMqttClient::Message& message : meter.messages()) {
            if (message.topic == kSentTopic)
                sent = message.payload.toLongLong();
            else if (message.topic == kPublishSentTopic)
                published = message.payload.toLongLong();
        }
    }
    return {sent, published};
}

class FleetRun {
public:
    bool start(quint16 port, int agents, quint64 seed)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                        {QStringLiteral("--port"), QString::number(port), QStringLiteral("--channel"),
                         QLatin1String(kChannel), QStringLiteral("--agents"), QString::number(agents),
                         QStringLiteral("--seed"), QString::number(seed), QStringLiteral("--stamp")});
        QByteArray out;
        return pumpUntil(
            [&] {
                out += m_process.readAllStandardOutput();
                return out.contains("ready");
            },
            120000); // thousands of agents connect a batch at a time
    }

    ~FleetRun()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

// A site broker's bridge to the station's, as docs/deployment.md gives it.
QByteArray bridgeTo(quint16 port, int site)
{
    return "connection site-" + QByteArray::number(site) + "\naddress 127.0.0.1:" + QByteArray::number(port)
        + "\ntopic " + kChannel + "H2C/# in 0\ntopic " + kChannel + "C2H/# out 0\n"
        + "cleansession true\n"
        + "restart_timeout 1\n";
}

// Every row's Health column reads healthy or fault.
int rowsWithoutHealth(Mainform& station)
{
    int missing = 0;
    ClientList& list = station.clientList();
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString text = list.index(row, ClientList::kHealthColumn).data().toString();
        missing += text == FleetMonitor::healthText(ClientHealth::Healthy)
                || text == FleetMonitor::healthText(ClientHealth::Fault)
            ? 0
            : 1;
    }
    return missing;
}

std::optional<Figures> measure(int agents, int seconds, bool health, int sites)
{
    vrdtest::TestBroker broker;
    // As docs/deployment.md advises for the station's broker: room for a whole fleet's replies.
    broker.setExtraConfig("sys_interval 1\nmax_queued_messages 20000\n");
    if (!broker.start()) {
        std::fprintf(stderr, "broker: %s\n", qPrintable(broker.output()));
        return std::nullopt;
    }
    std::vector<std::unique_ptr<vrdtest::TestBroker>> siteBrokers;
    for (int site = 0; site < sites; ++site) {
        siteBrokers.push_back(std::make_unique<vrdtest::TestBroker>());
        siteBrokers.back()->setExtraConfig("sys_interval 1\n" + bridgeTo(broker.port(), site));
        if (!siteBrokers.back()->start()) {
            std::fprintf(stderr, "site broker: %s\n", qPrintable(siteBrokers.back()->output()));
            return std::nullopt;
        }
    }
    std::vector<vrdtest::TestBroker*> brokers{&broker};
    for (auto& site : siteBrokers)
        brokers.push_back(site.get());
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("VRD.INI")));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n").arg(broker.port()).arg(kChannel).toUtf8());
    ini.close();

    Mainform station(dir.path());
    station.fleet().setPolling(health);
    station.show();
    if (!pumpUntil([&] { return station.replyReader().isSubscribed() && station.requestLink()->isConnectedToHost(); },
                   5000))
        return std::nullopt;

    ArrivalTap tap(broker.port());
    if (!pumpUntil([&] { return tap.isSubscribed(); }, 5000))
        return std::nullopt;

    // Handled times by stamp, matched with the tap's arrivals after the window.
    std::vector<std::pair<qint64, qint64>> handledAt;
    handledAt.reserve(size_t(agents) * size_t(seconds + 2));
    bool recording = false;
    // Connected after the window's own slot: it runs once the batch has been handled.
    QObject::connect(&station.replyReader(), &ReplyReader::repliesArrived, &station,
                     [&](quint64, const ReplyReader::Batch& batch) {
                         const qint64 now = monotonicNanoseconds();
                         if (!recording)
                             return;
                         for (const ReplyReader::Reply& reply : batch) {
                             const QByteArray payload =
                                 QJsonDocument(reply.envelope.object).toJson(QJsonDocument::Compact);
                             const qint64 stamp = stampOf(payload);
                             if (stamp != 0)
                                 handledAt.emplace_back(stamp, now);
                         }
                     });

    std::vector<std::unique_ptr<FleetRun>> fleet;
    const int fleets = std::max(1, sites);
    for (int f = 0; f < fleets; ++f) {
        fleet.push_back(std::make_unique<FleetRun>());
        const int share = agents * (f + 1) / fleets - agents * f / fleets;
        const quint16 port = sites > 0 ? siteBrokers[size_t(f)]->port() : broker.port();
        if (!fleet.back()->start(port, share, quint64(f + 1)))
            return std::nullopt;
    }
    std::vector<std::unique_ptr<vrdtest::TestMqttClient>> meters;
    for (vrdtest::TestBroker* each : brokers) {
        meters.push_back(std::make_unique<vrdtest::TestMqttClient>(each->port()));
        if (!meters.back()->connectToBroker() || !meters.back()->subscribe(kSentTopic)
            || !meters.back()->subscribe(kPublishSentTopic))
            return std::nullopt;
    }

    Figures figures;
    figures.agents = agents;
    figures.sites = sites;
    figures.health = health;
    QElapsedTimer discovery;
    discovery.start();
    // With thousands of agents the broker drops part of the burst of inventory replies (its
    // queue per subscriber is bounded); the operator's remedy is another Client Refresh.
    bool listed = false;
    while (!listed && discovery.elapsed() < kDiscoveryLimitMs) {
        station.slot_btnClientRefreshClicked(false);
        listed = pumpUntil([&] { return station.clientList().rowCount() == agents; }, kRefreshAgainMs);
    }
    if (!listed)
        std::fprintf(stderr, "%d agents: %d listed after %lld ms\n", agents, station.clientList().rowCount(),
                     static_cast<long long>(discovery.elapsed()));
    figures.discoveryMs = double(discovery.nsecsElapsed()) / 1e6;

    auto allOnline = [&] { return station.clientList().onlineCount() == agents; };
    // Measured all the same when some never show online; the figures say how many did.
    pumpUntil(allOnline, kAllOnlineLimitMs);
    figures.online = station.clientList().onlineCount();
    if (health) {
        QElapsedTimer filling;
        filling.start();
        if (pumpUntil([&] { return rowsWithoutHealth(station) == 0; }, kHealthFilledLimitMs))
            figures.healthFilledMs = double(filling.nsecsElapsed()) / 1e6;
        figures.healthMissing = rowsWithoutHealth(station);
    }
    pump(kWarmUpSeconds * 1000);

    std::vector<qint64> lags;
    QElapsedTimer lagClock;
    QTimer lagProbe;
    lagProbe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&lagProbe, &QTimer::timeout, [&] {
        lags.push_back(std::max<qint64>(0, lagClock.nsecsElapsed() - qint64(kLagProbeMs) * 1000000));
        lagClock.restart();
    });

    std::vector<qint64> sentByBroker(meters.size(), 0);
    const auto sentFigures = [&] {
        std::pair<qint64, qint64> sum{0, 0};
        for (size_t i = 0; i < meters.size(); ++i) {
            const auto [sent, published] = brokerSentFigures(*meters[i]);
            sentByBroker[i] = sent - sentByBroker[i];
            sum.first += sent;
            sum.second += published;
        }
        return sum;
    };
    const auto brokerCpuSeconds = [&] {
        double sum = 0;
        for (vrdtest::TestBroker* each : brokers)
            sum += benchsupport::processCpuSeconds(each->processId());
        return sum;
    };
    const auto [sentBefore, publishedBefore] = sentFigures();
    const quint64 tappedBefore = tap.received();
    const double brokerCpuBefore = brokerCpuSeconds();
    recording = true;
    const qint64 cpuBefore = threadCpuMicroseconds();
    QElapsedTimer window;
    window.start();
    lagClock.start();
    lagProbe.start(kLagProbeMs);
    pump(seconds * 1000);
    lagProbe.stop();
    recording = false;
    const qint64 cpu = threadCpuMicroseconds() - cpuBefore;
    figures.seconds = double(window.nsecsElapsed()) / 1e9;
    figures.brokerCpuPercent = 100.0 * (brokerCpuSeconds() - brokerCpuBefore) / figures.seconds;
    const auto [sentAfter, publishedAfter] = sentFigures();
    const double measured = double(window.nsecsElapsed()) / 1e9;
    figures.brokerSentPerSecond = double(sentAfter - sentBefore - qint64(tap.received() - tappedBefore)) / measured;
    sentByBroker[0] -= qint64(tap.received() - tappedBefore); // the tap is on the station's broker
    figures.brokerDrops = int(broker.output().count(QStringLiteral("Outgoing messages are being dropped")));
    for (qint64 sent : sentByBroker)
        figures.sentPerSecondByBroker.push_back(double(sent) / measured);
    figures.brokerPublishedPerSecond = double(publishedAfter - publishedBefore - qint64(tap.received() - tappedBefore)) / measured;
    figures.replies = handledAt.size();
    std::vector<qint64> latencies;
    std::vector<qint64> sendLatencies;
    for (const auto& [stamp, handled] : handledAt) {
        sendLatencies.push_back(handled - stamp);
        const qint64 arrival = tap.arrivalOf(stamp);
        if (arrival == 0)
            continue;
        if (arrival > handled)
            figures.tapLatePercent += 1;
        latencies.push_back(std::max<qint64>(0, handled - arrival));
    }
    if (!latencies.empty())
        figures.tapLatePercent = 100.0 * figures.tapLatePercent / double(latencies.size());
    figures.cpuPercent = 100.0 * double(cpu) / (figures.seconds * 1e6);
    figures.latencyMedianMs = percentile(latencies, 0.5) / 1e6;
    figures.latencyP99Ms = percentile(latencies, 0.99) / 1e6;
    figures.latencyMaxMs = percentile(latencies, 1.0) / 1e6;
    figures.sendMedianMs = percentile(sendLatencies, 0.5) / 1e6;
    figures.sendP99Ms = percentile(sendLatencies, 0.99) / 1e6;
    figures.lagP99Ms = percentile(lags, 0.99) / 1e6;
    figures.lagMaxMs = percentile(lags, 1.0) / 1e6;

    QElapsedTimer refresh;
    constexpr int kRefreshes = 100;
    refresh.start();
    for (int i = 0; i < kRefreshes; ++i)
        station.clientList().refreshStatus(QDateTime::currentDateTime());
    figures.refreshUs = double(refresh.nsecsElapsed()) / 1e3 / kRefreshes;
    return figures;
}

void printFigures(const Figures& f)
{
    std::printf("%7d %7d %6s %9.0fms %7.1fs %10llu %7.1f%% %11.0f %7.2fms %7.2fms %7.2fms %7.2fms %9.0fus\n",
                f.agents, f.online, f.health ? "on" : "off", f.discoveryMs, f.seconds, static_cast<unsigned long long>(f.replies),
                f.cpuPercent, double(f.replies) / f.seconds, f.latencyMedianMs, f.latencyP99Ms, f.latencyMaxMs,
                f.lagP99Ms, f.refreshUs);
    std::printf("        event-loop lag max %.2f ms; from the agent's send: p50 %.2f ms, p99 %.2f ms; "
                "handled before the second subscriber saw it: %.0f%%\n",
                f.lagMaxMs, f.sendMedianMs, f.sendP99Ms, f.tapLatePercent);
    std::printf("        broker per second%s, without the bench's subscriber: %.0f messages sent (%.2f per agent; "
                "2.5 N + 25 = %d), %.0f of them PUBLISH (%.2f per agent); broker CPU %.1f%%\n",
                f.sites > 0 ? qPrintable(QStringLiteral(" (station's and %1 site brokers)").arg(f.sites)) : "",
                f.brokerSentPerSecond, f.brokerSentPerSecond / f.agents, int(2.5 * f.agents + 25),
                f.brokerPublishedPerSecond, f.brokerPublishedPerSecond / f.agents, f.brokerCpuPercent);
    std::printf("        the station's broker logged %d 'Outgoing messages are being dropped' lines\n", f.brokerDrops);
    if (f.sites > 0) {
        std::printf("        each broker, the station's first:");
        for (double sent : f.sentPerSecondByBroker)
            std::printf(" %.0f", sent);
        std::printf(" messages sent per second\n");
    }
    if (f.health)
        std::printf("        health column: %s\n",
                    f.healthFilledMs >= 0
                        ? qPrintable(QStringLiteral("every row filled %1 s after all were online")
                                         .arg(f.healthFilledMs / 1000.0, 0, 'f', 1))
                        : qPrintable(QStringLiteral("%1 rows without an answer after two minutes")
                                         .arg(f.healthMissing)));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchsupport::raiseOpenFilesLimit();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption agentsOption(QStringLiteral("agents"), QStringLiteral("Fleet sizes, comma-separated."),
                                          QStringLiteral("list"), QStringLiteral("100,1000,2000"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Measuring window per size."),
                                           QStringLiteral("seconds"), QStringLiteral("20"));
    const QCommandLineOption healthOption(QStringLiteral("health"),
                                          QStringLiteral("Health polling on, off or both (on,off)."),
                                          QStringLiteral("list"), QStringLiteral("on"));
    const QCommandLineOption sitesOption(QStringLiteral("sites"),
                                         QStringLiteral("Site brokers bridged to the station's, the agents spread "
                                                        "over them (0: every agent on the station's broker)."),
                                         QStringLiteral("S"), QStringLiteral("0"));
    parser.addOptions({agentsOption, secondsOption, healthOption, sitesOption});
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const QStringList healthSettings = parser.value(healthOption).split(QLatin1Char(','));

    std::printf("%7s %7s %6s %11s %8s %10s %8s %11s %9s %9s %9s %9s %11s\n", "agents", "online", "health",
                "discovery", "window",
                "replies", "cpu", "handled/s", "lat p50", "lat p99", "lat max", "lag p99", "refresh");
    int failures = 0;
    for (const QString& item : parser.value(agentsOption).split(QLatin1Char(','))) {
        const int agents = item.toInt();
        if (agents <= 0)
            continue;
        for (const QString& setting : healthSettings) {
            const std::optional<Figures> figures = measure(agents, seconds, setting != QLatin1String("off"),
                                                           std::clamp(parser.value(sitesOption).toInt(), 0, 8));
            if (figures) {
                printFigures(*figures);
                continue;
            }
            std::printf("%7d %6s  run failed\n", agents, qPrintable(setting));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
