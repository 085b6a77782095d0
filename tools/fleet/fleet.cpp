#include "fleet.h"

#include "mqtt_transmit.h"

#include <QDateTime>

#include <chrono>

namespace {

constexpr int kTickMs = 1000;
// The agents' logging threads write a pass every ten seconds.
constexpr int kLoggingPassTicks = 10;

// Which kinds every agent answers and which only the addressed one.
struct KindRule {
    int code;
    bool broadcast;
};

constexpr KindRule kKindRules[] = {
    {msg::KindCurrentSensors, false}, {msg::KindProcessorLoad, true}, {msg::KindLastFaults, false},
    {msg::KindInventory, true},       {msg::KindTodaysFaults, false},
};

const KindRule* ruleOf(int code)
{
    for (const KindRule& rule : kKindRules) {
        if (rule.code == code)
            return &rule;
    }
    return nullptr;
}

qint64 nowUtcSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

// The steady clock is CLOCK_MONOTONIC on Linux: one time base for every process of the machine.
qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Appends "SimSentNs" to a compact reply object; the station ignores keys it does not know.
QByteArray stamped(QByteArray payload)
{
    payload.chop(1);
    payload += ",\"SimSentNs\":" + QByteArray::number(monotonicNanoseconds()) + '}';
    return payload;
}

} // namespace

Fleet::Fleet(const FleetOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_random(options.seed)
{
    const qint64 now = nowUtcSeconds();
    m_agents.reserve(options.agents);
    for (int i = 0; i < options.agents; ++i) {
        m_agents.append(makeAgent(i, m_random, now, options.troubledShare));
        m_agentOfIdentity.insert(m_agents.last().identity, i);
    }
    connect(&m_tick, &QTimer::timeout, this, &Fleet::tick);
}

Fleet::~Fleet() = default;

void Fleet::start()
{
    m_requestLink = std::make_unique<MqttTransmit>(m_options.host, m_options.port, msg::requestTopic(m_options.channel),
                                                   MqttTransmit::ReconnectPolicy::Client);
    m_replyLink = std::make_unique<MqttTransmit>(m_options.host, m_options.port, msg::replyTopic(m_options.channel),
                                                 MqttTransmit::ReconnectPolicy::Client);
    connect(m_requestLink.get(), &MqttTransmit::SignalMqttReceived, this, &Fleet::onRequest);
    m_requestLink->connectToHost();
    m_replyLink->connectToHost();
    m_tick.start(kTickMs);
}

bool Fleet::isReady() const
{
    return m_requestLink && m_requestLink->isSubscribed() && m_replyLink->isConnectedToHost();
}

void Fleet::onRequest(const MqttMessage& message)
{
    const std::optional<msg::Envelope> request = msg::parseMessage(message.payload());
    if (!request)
        return;
    ++m_requestsSeen;
    const KindRule* rule = ruleOf(request->code);
    const std::optional<QUuid> addressee = msg::addressOf(request->object);
    if (!rule || !addressee)
        return;
    if (rule->broadcast) {
        for (const Agent& agent : m_agents)
            answer(request->code, agent);
        return;
    }
    const auto found = m_agentOfIdentity.constFind(*addressee);
    if (found != m_agentOfIdentity.constEnd())
        answer(request->code, m_agents.at(*found));
}

void Fleet::answer(int code, const Agent& agent)
{
    if (m_replyLink->PublishPayload(replyFor(code, agent)))
        ++m_repliesSent;
}

QByteArray Fleet::replyFor(int code, const Agent& agent) const
{
    switch (code) {
    case msg::KindCurrentSensors:
        return msg::buildSensorReply(agent.identity, agent.snapshot);
    case msg::KindProcessorLoad: {
        const QByteArray reply = msg::buildLoadReply(agent.identity, agent.load);
        return m_options.stamp ? stamped(reply) : reply;
    }
    case msg::KindInventory:
        return msg::buildInventoryReply(agent.identity, agent.inventory);
    default: {
        const QVector<msg::FaultRecord> faults =
            recentFaults(agent, code == msg::KindTodaysFaults, nowUtcSeconds());
        return msg::buildFaultReply(code, agent.identity, faults);
    }
    }
}

void Fleet::tick()
{
    ++m_ticks;
    const bool loggingPass = m_ticks % kLoggingPassTicks == 0;
    const qint64 now = nowUtcSeconds();
    for (Agent& agent : m_agents) {
        driftAgent(agent, m_random);
        if (loggingPass)
            logFaults(agent, now);
    }
}
