// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Request-to-reply round trips between a station's two links and the real VrdClient program,
// through the real broker on loopback. The client runs on a simulated board over a database of
// 60 days of logging with every sensor on (5.7 million rows), its logging thread writing as
// usual. Beside them, the bare round trip through the same broker: a request echoed by two links
// in this process, with no message handling at all. Reported per request: median, 99th
// percentile and maximum in microseconds. The 24-hour history (kind 16) is measured once the
// client's logging thread has folded the file's rows into its summaries; the time from launch
// to that point is reported as fold_s. With VRD_BENCH_COLD=1 in the environment the database copy
// is dropped from the page cache before the launch, so start_s is a start from a cold cache.

#include "bench_support.h"
#include "client_history.h"
#include "history_messages.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "test_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <sqlite3.h>

namespace {

using Policy = MqttTransmit::ReconnectPolicy;

constexpr int kRequests = 1000;
constexpr int kLostAfterMs = 2000;
// Start-up purges the 5.7-million-row file before the links come up.
constexpr int kClientStartMs = 180000;
const QString kChannel = QStringLiteral("BENCH");
const QString kEchoChannel = QStringLiteral("ECHO");

// The station's side of one channel: it publishes on channel + "H2C" and counts what arrives on
// channel + "C2H".
struct StationLinks {
    std::unique_ptr<MqttTransmit> requests;
    std::unique_ptr<MqttTransmit> replies;
    int received = 0;
    QByteArray last;

    StationLinks(const vrdtest::TestBroker& broker, const QString& channel)
        : requests(std::make_unique<MqttTransmit>(broker.address(), broker.port(), msg::requestTopic(channel),
                                                  Policy::Browser))
        , replies(std::make_unique<MqttTransmit>(broker.address(), broker.port(), msg::replyTopic(channel),
                                                 Policy::Browser))
    {
        QObject::connect(replies.get(), &MqttTransmit::SignalMqttReceived, [this](const MqttMessage& m) {
            ++received;
            last = m.payload();
        });
        requests->connectToHost();
        replies->connectToHost();
    }

    bool subscribed() const { return requests->isSubscribed() && replies->isSubscribed(); }
};

// Writes the file's pages out and asks the kernel to forget them.
void dropFromPageCache(const QString& path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Everything the measurements share, built on first use.
struct Bench {
    vrdtest::TestBroker broker;
    QTemporaryDir work;
    QTemporaryDir runtime;
    QProcess client;
    std::unique_ptr<StationLinks> station;
    std::unique_ptr<StationLinks> echoStation;
    std::unique_ptr<MqttTransmit> echoIn, echoOut;
    QUuid host;
    double firstAnswerSeconds = 0;
    bool summariesTimed = false; // fold_s is reported by the first history measurement
    QString failure;

    Bench();
    ~Bench();
    bool writeWorkDir(const QString& history);
    void launchClient();
    bool startClient(const QString& history);
    void startEcho();
};

Bench::Bench()
{
    const QString history =
        benchhistory::cachedHistory(QStringLiteral(VRD_BENCH_CACHE), QDate::currentDate());
    if (history.isEmpty())
        failure = "could not build the 60-day database";
    else if (!broker.start())
        failure = "broker did not start: " + broker.output();
    else if (startClient(history))
        startEcho();
}

Bench::~Bench()
{
    if (client.state() == QProcess::NotRunning)
        return;
    client.terminate();
    if (!client.waitForFinished(10000))
        client.kill();
    client.waitForFinished();
}

// The database copy and the settings the client starts with.
bool Bench::writeWorkDir(const QString& history)
{
    const QDir dir(work.path());
    if (!QFile::copy(history, dir.filePath("sysinfo2.sqlite"))) {
        failure = "could not copy the database";
        return false;
    }
    if (qEnvironmentVariableIntValue("VRD_BENCH_COLD") == 1)
        dropFromPageCache(dir.filePath("sysinfo2.sqlite"));
    QFile settings(dir.filePath("VRD.INI"));
    if (!settings.open(QIODevice::WriteOnly)) {
        failure = "could not write the settings";
        return false;
    }
    settings.write("[CLOUD]\r\nENABLE=1\r\nHOST=127.0.0.1\r\nPORT=" + QByteArray::number(broker.port())
                   + "\r\nBRANCH_TOKEN=" + kChannel.toUtf8() + "\r\n");
    return true;
}

void Bench::launchClient()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("GAUGE64_BOARD", QStringLiteral(VRD_SOURCE_DIR "/boards/fintek-f81866.json"));
    env.remove("GAUGE64_TRACE");
    client.setProcessEnvironment(env);
    client.setWorkingDirectory(work.path());
    client.setStandardOutputFile(QProcess::nullDevice());
    client.setStandardErrorFile(QDir(work.path()).filePath("client-stderr.log"));
    client.start(QStringLiteral(VRD_BIN_DIR "/VrdClient"), QStringList());
}

// Starts the client and asks for the presence reply until it comes.
bool Bench::startClient(const QString& history)
{
    if (!writeWorkDir(history))
        return false;
    QElapsedTimer started;
    started.start();
    launchClient();

    station = std::make_unique<StationLinks>(broker, kChannel);
    const QByteArray presence = msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    QTimer ask;
    QObject::connect(&ask, &QTimer::timeout, [&] { station->requests->PublishPayload(presence); });
    ask.start(200);
    const auto answeredOrGone = [&] { return station->received > 0 || client.state() == QProcess::NotRunning; };
    if (!vrdtest::waitUntil(answeredOrGone, kClientStartMs) || station->received == 0) {
        failure = "the client never answered";
        return false;
    }
    firstAnswerSeconds = started.elapsed() / 1000.0;
    host = msg::parseUuid(QJsonDocument::fromJson(station->last).object().value("TUuid"));
    ask.stop();
    // Answers to the probes may still be on their way; the client answers in order, so they are
    // all in once a request of another kind has its answer.
    station->requests->PublishPayload(msg::buildRequest(msg::KindInventory, msg::broadcastUuid()));
    const auto lastKind = [&] { return QJsonDocument::fromJson(station->last).object().value("SrvCall").toInt(); };
    if (!vrdtest::waitUntil([&] { return lastKind() == msg::KindInventory; }, kLostAfterMs)) {
        failure = "the client stopped answering";
        return false;
    }
    return true;
}

void Bench::startEcho()
{
    echoStation = std::make_unique<StationLinks>(broker, kEchoChannel);
    echoIn = std::make_unique<MqttTransmit>(broker.address(), broker.port(), msg::requestTopic(kEchoChannel),
                                            Policy::Client);
    echoOut = std::make_unique<MqttTransmit>(broker.address(), broker.port(), msg::replyTopic(kEchoChannel),
                                             Policy::Client);
    QObject::connect(echoIn.get(), &MqttTransmit::SignalMqttReceived,
                     [this](const MqttMessage& m) { echoOut->PublishPayload(m.payload()); });
    echoIn->connectToHost();
    echoOut->connectToHost();
    const auto linksUp = [this] {
        return echoStation->subscribed() && echoIn->isSubscribed() && echoOut->isSubscribed();
    };
    if (!vrdtest::waitUntil(linksUp, 5000))
        failure = "echo links not up";
}

std::unique_ptr<Bench> g_bench;

Bench& bench()
{
    if (!g_bench)
        g_bench = std::make_unique<Bench>();
    return *g_bench;
}

// One request at a time: publish, run the event loop until its reply is in.
void measure(benchmark::State& state, StationLinks& links, const QByteArray& request)
{
    benchsupport::measureRoundTrips(
        state, [&] { links.requests->PublishPayload(request); }, links.received, kLostAfterMs);
}

bool benchReady(benchmark::State& state)
{
    Bench& b = bench();
    if (!b.failure.isEmpty()) {
        state.SkipWithError(b.failure.toStdString().c_str());
        return false;
    }
    return true;
}

void BM_BareRoundTrip(benchmark::State& state)
{
    if (!benchReady(state))
        return;
    measure(state, *bench().echoStation, msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid()));
}

// Requests by kind code; the addressed kinds go to the client's own identity.
void BM_Request(benchmark::State& state)
{
    if (!benchReady(state))
        return;
    Bench& b = bench();
    const int code = int(state.range(0));
    const bool broadcast = code == msg::KindProcessorLoad || code == msg::KindInventory;
    measure(state, *b.station, msg::buildRequest(code, broadcast ? msg::broadcastUuid() : b.host));
    const QJsonObject reply = QJsonDocument::fromJson(b.station->last).object();
    if (reply.value("SrvCall").toInt() != code)
        state.SkipWithError("the last reply is of another kind");
    if (reply.contains("Err50"))
        state.counters["faults"] = reply.value("Err50").toArray().size();
    state.counters["start_s"] = b.firstAnswerSeconds;
}

// Whether the client's summaries hold every row of its file (read on a connection of our own).
bool summariesComplete(const QString& path)
{
    sqlite3* db = nullptr;
    bool complete = false;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT (SELECT LAST_ID FROM SENSOR_SUMMARY_STATE) >= (SELECT MAX(ID) FROM SENSOR_TBL);",
                               -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            complete = sqlite3_column_int(statement, 0) == 1;
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return complete;
}

void BM_HistoryRoundTrip(benchmark::State& state)
{
    if (!benchReady(state))
        return;
    Bench& b = bench();
    const QString file = QDir(b.work.path()).filePath("sysinfo2.sqlite");
    QElapsedTimer waited;
    waited.start();
    if (!vrdtest::waitUntil([&] { return summariesComplete(file); }, 600000)) {
        state.SkipWithError("the summaries were never complete");
        return;
    }
    // Ends as the station's view ends it: on the next whole minute, hour for ranges of days.
    const qint64 range = state.range(0) * 3600;
    const qint64 unit = range > 24 * 3600 ? 3600 : 60;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 to = now - now % unit + unit;
    measure(state, *b.station,
            msg::buildHistoryRequest(b.host, {SensorCpuTemp, to - range, to, kHistoryMaxPoints}));
    const QJsonObject reply = QJsonDocument::fromJson(b.station->last).object();
    if (reply.value("SrvCall").toInt() != msg::KindHistory)
        state.SkipWithError("the last reply is of another kind");
    const std::optional<HistorySeries> series = msg::parseHistoryReply(reply);
    state.counters["buckets"] = series ? double(series->buckets.size()) : 0;
    state.counters["reply_bytes"] = double(b.station->last.size());
    if (!b.summariesTimed) {
        state.counters["fold_s"] = b.firstAnswerSeconds + waited.elapsed() / 1000.0;
        b.summariesTimed = true;
    }
}

BENCHMARK(BM_BareRoundTrip)->Iterations(kRequests)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Request)
    ->ArgName("kind")
    ->Arg(msg::KindProcessorLoad)
    ->Arg(msg::KindCurrentSensors)
    ->Arg(msg::KindInventory)
    ->Arg(msg::KindLastFaults)
    ->Arg(msg::KindTodaysFaults)
    ->Iterations(kRequests)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HistoryRoundTrip)
    ->ArgName("hours")
    ->Arg(24)
    ->Arg(60 * 24)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return benchsupport::runUnderApplication<QCoreApplication>(argc, argv, {}, [] { g_bench.reset(); });
}
