// Floor of every request benchmark: a bare publish and subscribe through the real broker on
// loopback, with no message handling. RequestReply has the shape of one request and its reply
// (browser link -> broker -> client link, client link -> broker -> browser link); OneWay is
// one leg of it. Reported per message: median, 99th percentile and maximum in microseconds.

#include "messages.h"
#include "mqtt_transmit.h"
#include "test_broker.h"

#include <QCoreApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Policy = MqttTransmit::ReconnectPolicy;

constexpr int kMessages = 2000;
constexpr int kLostAfterMs = 2000;

// The four links of one browser and one client on one channel; the client echoes every request.
struct Topology {
    vrdtest::TestBroker broker;
    std::unique_ptr<MqttTransmit> browserRequests, browserReplies, clientRequests, clientReplies;
    bool ready = false;
    bool echo = true;
    int requestsSeen = 0;
    int repliesSeen = 0;

    Topology()
    {
        if (!broker.start())
            return;
        auto link = [this](const QString& topic, Policy policy) {
            auto made = std::make_unique<MqttTransmit>(broker.address(), broker.port(), topic, policy);
            made->connectToHost();
            return made;
        };
        browserRequests = link(msg::requestTopic(QStringLiteral("BENCH")), Policy::Browser);
        browserReplies = link(msg::replyTopic(QStringLiteral("BENCH")), Policy::Browser);
        clientRequests = link(msg::requestTopic(QStringLiteral("BENCH")), Policy::Client);
        clientReplies = link(msg::replyTopic(QStringLiteral("BENCH")), Policy::Client);
        QObject::connect(clientRequests.get(), &MqttTransmit::SignalMqttReceived, [this](const MqttMessage& m) {
            ++requestsSeen;
            if (echo)
                clientReplies->PublishPayload(m.payload());
        });
        QObject::connect(browserReplies.get(), &MqttTransmit::SignalMqttReceived,
                         [this](const MqttMessage&) { ++repliesSeen; });
        ready = vrdtest::waitUntil(
            [this] {
                return browserRequests->isSubscribed() && browserReplies->isSubscribed()
                    && clientRequests->isSubscribed() && clientReplies->isSubscribed();
            },
            5000);
    }
};

// Built on first use, torn down before the application object.
std::unique_ptr<Topology> g_topology;

Topology& topology()
{
    if (!g_topology)
        g_topology = std::make_unique<Topology>();
    return *g_topology;
}

// Runs the event loop until counter passes target; false when the message was lost.
bool waitPast(const int& counter, int target)
{
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(kLostAfterMs);
    while (counter < target && guard.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return counter >= target;
}

double percentile(std::vector<double> sorted, double fraction)
{
    std::sort(sorted.begin(), sorted.end());
    const size_t index = std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())));
    return sorted[index];
}

void measure(benchmark::State& state, const int& counter, bool echo)
{
    Topology& net = topology();
    net.echo = echo;
    if (!net.ready) {
        state.SkipWithError("broker or links not up");
        return;
    }
    const QByteArray request = msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    std::vector<double> micros;
    micros.reserve(kMessages);
    int lost = 0;
    for (auto _ : state) {
        const int target = counter + 1;
        const Clock::time_point start = Clock::now();
        net.browserRequests->PublishPayload(request);
        const bool arrived = waitPast(counter, target);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (arrived)
            micros.push_back(seconds * 1e6);
        else
            ++lost;
    }
    if (micros.empty()) {
        state.SkipWithError("every message was lost");
        return;
    }
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
    state.counters["lost"] = lost;
}

void BM_RequestReply(benchmark::State& state)
{
    measure(state, topology().repliesSeen, true);
}

void BM_OneWay(benchmark::State& state)
{
    measure(state, topology().requestsSeen, false);
}

BENCHMARK(BM_OneWay)->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RequestReply)->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    g_topology.reset();
    benchmark::Shutdown();
    return 0;
}
