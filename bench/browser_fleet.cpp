// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// bench_browser: the station on a real broker, watching the fleet simulator.
//
//   bench_browser [--agents 100,1000,2000] [--seconds 20] [--health on,off]
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
//   - the broker: per second, the messages it sent ($SYS/broker/messages/sent, every packet, the
//     keep-alive answers included) and the PUBLISH messages among them less those delivered to the
//     bench's own second subscriber ($SYS/broker/publish/messages/sent, updated every second);
//     its CPU over the window, in % of one core.
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
    double brokerPublishedPerSecond = 0; // less the bench's second subscriber
    double brokerCpuPercent = 0;
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
    bool start(quint16 port, int agents)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(VRD_BIN_DIR "/vrd-fleet-sim"),
                        {QStringLiteral("--port"), QString::number(port), QStringLiteral("--channel"),
                         QLatin1String(kChannel), QStringLiteral("--agents"), QString::number(agents),
                         QStringLiteral("--stamp")});
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

std::optional<Figures> measure(int agents, int seconds, bool health)
{
    vrdtest::TestBroker broker;
    broker.setExtraConfig("sys_interval 1\n");
    if (!broker.start()) {
        std::fprintf(stderr, "broker: %s\n", qPrintable(broker.output()));
        return std::nullopt;
    }
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("VRD.INI")));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[CLOUD]\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n").arg(broker.port()).arg(kChannel).toUtf8());
    ini.close();

    Mainform station(dir.path());
    station.fleet().setPolling(health);
    station.show();
    if (!pumpUntil([&] { return station.replyLink()->isSubscribed() && station.requestLink()->isConnectedToHost(); }, 5000))
        return std::nullopt;

    ArrivalTap tap(broker.port());
    if (!pumpUntil([&] { return tap.isSubscribed(); }, 5000))
        return std::nullopt;

    // Handled times by stamp, matched with the tap's arrivals after the window.
    std::vector<std::pair<qint64, qint64>> handledAt;
    handledAt.reserve(size_t(agents) * size_t(seconds + 2));
    bool recording = false;
    // Connected after the window's own slot: it runs once the reply has been handled.
    QObject::connect(station.replyLink(), &MqttTransmit::SignalMqttReceived, [&](const MqttMessage& message) {
        const qint64 now = monotonicNanoseconds();
        if (!recording)
            return;
        const qint64 stamp = stampOf(message.payload());
        if (stamp != 0)
            handledAt.emplace_back(stamp, now);
    });

    FleetRun fleet;
    if (!fleet.start(broker.port(), agents))
        return std::nullopt;
    vrdtest::TestMqttClient meter(broker.port());
    if (!meter.connectToBroker() || !meter.subscribe(kSentTopic) || !meter.subscribe(kPublishSentTopic))
        return std::nullopt;

    Figures figures;
    figures.agents = agents;
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
    pump(kWarmUpSeconds * 1000);

    std::vector<qint64> lags;
    QElapsedTimer lagClock;
    QTimer lagProbe;
    lagProbe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&lagProbe, &QTimer::timeout, [&] {
        lags.push_back(std::max<qint64>(0, lagClock.nsecsElapsed() - qint64(kLagProbeMs) * 1000000));
        lagClock.restart();
    });

    const auto [sentBefore, publishedBefore] = brokerSentFigures(meter);
    const quint64 tappedBefore = tap.received();
    const double brokerCpuBefore = benchsupport::processCpuSeconds(broker.processId());
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
    figures.brokerCpuPercent = 100.0 * (benchsupport::processCpuSeconds(broker.processId()) - brokerCpuBefore) / figures.seconds;
    const auto [sentAfter, publishedAfter] = brokerSentFigures(meter);
    const double measured = double(window.nsecsElapsed()) / 1e9;
    figures.brokerSentPerSecond = double(sentAfter - sentBefore) / measured;
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
    std::printf("        broker per second: %.0f messages sent (%.2f per agent), %.0f PUBLISH without the "
                "bench's subscriber (%.2f per agent); broker CPU %.1f%%\n",
                f.brokerSentPerSecond, f.brokerSentPerSecond / f.agents, f.brokerPublishedPerSecond,
                f.brokerPublishedPerSecond / f.agents, f.brokerCpuPercent);
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
    parser.addOptions({agentsOption, secondsOption, healthOption});
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
            const std::optional<Figures> figures = measure(agents, seconds, setting != QLatin1String("off"));
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
