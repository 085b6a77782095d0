#pragma once
// Many simulated agents behind two broker connections: one request link on channel + "H2C"
// and one reply link on channel + "C2H", whatever the number of agents. Requests are read and
// replies built by the same message module the real programs use, under the same addressing
// rule: kinds 2 and 4 are answered by every agent, kinds 1, 3 and 5 only by the agent whose
// identity is "TUuid", and a request without "TUuid" by none.

#include "agent.h"
#include "mqtt_message.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <memory>
#include <random>

class MqttTransmit;

struct FleetOptions {
    QHostAddress host{QHostAddress::LocalHost};
    quint16 port = 1883;
    QString channel;
    int agents = 10;
    quint64 seed = 1;
    double troubledShare = 0.1; // agents with one reading held out of its limits
    bool stamp = false;         // presence replies carry "SimSentNs", the monotonic send time
};

class Fleet : public QObject {
    Q_OBJECT

public:
    explicit Fleet(const FleetOptions& options, QObject* parent = nullptr);
    ~Fleet() override;

    // Connects both links; the fleet answers once the request link is subscribed.
    void start();
    bool isReady() const;

    const QVector<Agent>& agents() const { return m_agents; }

    // Counters since start, for the tools that drive the fleet.
    quint64 requestsSeen() const { return m_requestsSeen; }
    quint64 repliesSent() const { return m_repliesSent; }

private:
    void onRequest(const MqttMessage& message);
    void answer(int code, const Agent& agent);
    QByteArray replyFor(int code, const Agent& agent) const;
    void tick();

    FleetOptions m_options;
    std::mt19937_64 m_random;
    QVector<Agent> m_agents;
    QHash<QUuid, int> m_agentOfIdentity;
    std::unique_ptr<MqttTransmit> m_requestLink;
    std::unique_ptr<MqttTransmit> m_replyLink;
    QTimer m_tick;
    quint64 m_ticks = 0;
    quint64 m_requestsSeen = 0;
    quint64 m_repliesSent = 0;
};
