#pragma once
// The station's side of the protocol for scripts: two links on the broker (requests out,
// replies in) and a wait for the replies that match what was asked.

#include "broker_settings.h"
#include "messages.h"
#include "mqtt_transmit.h"

#include <QHostAddress>
#include <QVector>

#include <functional>

class FleetQuery {
public:
    explicit FleetQuery(const BrokerSettings& settings);

    // Waits until requests can go out and replies can come in.
    bool connect(int timeoutMs);

    void send(int code, const QUuid& addressee);
    // A request built elsewhere (one with more than the envelope).
    void sendPayload(const QByteArray& request);

    // Collects replies for which `wanted` is true until `enough` says so or the time is up.
    QVector<msg::Envelope> collect(const std::function<bool(const msg::Envelope&)>& wanted,
                                   const std::function<bool(const QVector<msg::Envelope>&)>& enough,
                                   int timeoutMs);

private:
    MqttTransmit m_requests;
    MqttTransmit m_replies;
    QVector<msg::Envelope> m_inbox;
};

// Runs the Qt event loop until `done` is true or the time is up; returns `done()`.
bool waitFor(const std::function<bool()>& done, int timeoutMs);
