// Floor of every request benchmark: a bare publish and subscribe through the real broker on
// loopback, with no message handling. RequestReply has the shape of one request and its reply
// (browser link -> broker -> client link, client link -> broker -> browser link); OneWay is
// one leg of it. Reported per message: median, 99th percentile and maximum in microseconds.

#include "bench_support.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "test_broker.h"

#include <QCoreApplication>

#include <memory>

namespace {

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

void measure(benchmark::State& state, const int& counter, bool echo)
{
    Topology& net = topology();
    net.echo = echo;
    if (!net.ready) {
        state.SkipWithError("broker or links not up");
        return;
    }
    const QByteArray request = msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    benchsupport::measureRoundTrips(
        state, [&] { net.browserRequests->PublishPayload(request); }, counter, kLostAfterMs);
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
    return benchsupport::runUnderApplication<QCoreApplication>(argc, argv, {}, [] { g_topology.reset(); });
}
