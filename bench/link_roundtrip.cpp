// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Floor of every request benchmark: a bare publish and subscribe through the real broker on
// loopback, with no message handling. RequestReply has the shape of one request and its reply
// (browser link -> broker -> client link, client link -> broker -> browser link); OneWay is
// one leg of it. Reported per message: median, 99th percentile and maximum in microseconds.
// The Tls variants run the same through the shipped secured broker configuration (TLS, accounts
// and access rules), the browser's links with a station account and the client's with an agent's.

#include "bench_support.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "qt_test_loop.h"
#include "secure_broker.h"
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
    vrdtest::SecureBroker secureBroker;
    std::unique_ptr<MqttTransmit> browserRequests, browserReplies, clientRequests, clientReplies;
    bool ready = false;
    bool echo = true;
    int requestsSeen = 0;
    int repliesSeen = 0;

    explicit Topology(bool secure)
    {
        if (!(secure ? secureBroker.start() : broker.start()))
            return;
        using vrdtest::SecureBroker;
        const QString channel = secure ? QString::fromLatin1(SecureBroker::kChannel) : QStringLiteral("BENCH");
        auto link = [&](const QString& topic, Policy policy, const QString& account) {
            auto made = secure ? std::make_unique<MqttTransmit>(secureBroker.address(SecureBroker::Tls),
                                                                secureBroker.port(SecureBroker::Tls), topic, policy)
                               : std::make_unique<MqttTransmit>(broker.address(), broker.port(), topic, policy);
            if (secure)
                made->setAccess(secureBroker.access(account, SecureBroker::Tls));
            made->connectToHost();
            return made;
        };
        browserRequests = link(msg::requestTopic(channel), Policy::Browser, QStringLiteral("station"));
        browserReplies = link(msg::replyTopic(channel), Policy::Browser, QStringLiteral("station"));
        clientRequests = link(msg::requestTopic(channel), Policy::Client, QStringLiteral("agent"));
        clientReplies = link(msg::replyTopic(channel), Policy::Client, QStringLiteral("agent"));
        QObject::connect(clientRequests.get(), &MqttTransmit::SignalMqttReceived, [this](const MqttMessage& m) {
            ++requestsSeen;
            if (echo)
                clientReplies->PublishPayload(m.payload());
        });
        QObject::connect(browserReplies.get(), &MqttTransmit::SignalMqttReceived,
                         [this](const MqttMessage&) { ++repliesSeen; });
        // The access rules refuse the publishing links' subscriptions: they only need to be connected.
        ready = vrdtest::waitUntil(
            [this] {
                return browserRequests->isConnectedToHost() && browserReplies->isSubscribed()
                    && clientRequests->isSubscribed() && clientReplies->isConnectedToHost();
            },
            5000);
    }
};

// Built on first use, torn down before the application object.
std::unique_ptr<Topology> g_plain;
std::unique_ptr<Topology> g_secure;

Topology& topology(bool secure)
{
    std::unique_ptr<Topology>& made = secure ? g_secure : g_plain;
    if (!made)
        made = std::make_unique<Topology>(secure);
    return *made;
}

void measure(benchmark::State& state, Topology& net, const int& counter, bool echo)
{
    net.echo = echo;
    if (!net.ready) {
        state.SkipWithError("broker or links not up");
        return;
    }
    const QByteArray request = msg::buildRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    benchsupport::measureRoundTrips(
        state, [&] { net.browserRequests->PublishPayload(request); }, counter, kLostAfterMs);
}

void BM_RequestReply(benchmark::State& state, bool secure)
{
    Topology& net = topology(secure);
    measure(state, net, net.repliesSeen, true);
}

void BM_OneWay(benchmark::State& state, bool secure)
{
    Topology& net = topology(secure);
    measure(state, net, net.requestsSeen, false);
}

BENCHMARK_CAPTURE(BM_OneWay, Plain, false)->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RequestReply, Plain, false)
    ->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OneWay, Tls, true)->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RequestReply, Tls, true)->Iterations(kMessages)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return benchsupport::runUnderApplication<QCoreApplication>(argc, argv, {}, [] {
        g_plain.reset();
        g_secure.reset();
    });
}
