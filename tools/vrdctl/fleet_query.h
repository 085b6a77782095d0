// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's side of the protocol for scripts: two links on the broker (requests out,
// replies in) and a wait for the replies that match what was asked.
//
// A request for one agent (askAgent) goes first on that agent's own request topic, which only it
// reads. A one-shot tool does not know whether the agent reads one (an agent that predates it
// reads only the shared topic), so when no answer comes within the first half of the time, at most
// kOwnTopicWaitMs, the request goes again on the shared topic for the rest of it. An agent that
// answers late on its own topic may answer twice; the first answer counts.

#include "broker_settings.h"
#include "messages.h"
#include "mqtt_transmit.h"

#include <QHostAddress>
#include <QVector>

#include <functional>
#include <optional>

class FleetQuery {
public:
    explicit FleetQuery(const BrokerSettings& settings);

    // Waits until requests can go out and replies can come in.
    bool connect(int timeoutMs);

    static constexpr int kOwnTopicWaitMs = 1000;

    // A broadcast request, on the shared topic.
    void send(int code, const QUuid& addressee);

    // The first reply of kind `code` from `agent` to `request` (asked as above), or nothing
    // within timeoutMs.
    std::optional<msg::Envelope> askAgent(const QUuid& agent, int code, const QByteArray& request, int timeoutMs);

    // Collects replies for which `wanted` is true until `enough` says so or the time is up.
    QVector<msg::Envelope> collect(const std::function<bool(const msg::Envelope&)>& wanted,
                                   const std::function<bool(const QVector<msg::Envelope>&)>& enough,
                                   int timeoutMs);

private:
    MqttTransmit m_requests;
    QString m_channel;
    MqttTransmit m_replies;
    QVector<msg::Envelope> m_inbox;
};

// Runs the Qt event loop until `done` is true or the time is up; returns `done()`.
bool waitFor(const std::function<bool()>& done, int timeoutMs);
