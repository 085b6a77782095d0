// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Health of every online client, from current-sensors requests (kind 1) that the station sends
// to each online client in turn: spread over the round so that each is asked once every
// kRoundMs, which is N / 10 requests a second for N online clients, never more, whatever N.
// The selected client is asked by the window on its own cadence and skipped here; its replies
// count all the same.
//
// Plain logic on the caller's thread: the caller passes the time in and gets requests, health
// changes, fault starts and ends out through the Listener. No timer, no broker, no widget.

#include "messages.h"

#include <QHash>
#include <QUuid>
#include <QVector>

#include <array>
#include <deque>
#include <functional>
#include <optional>

// In the order "troubled first" sorts them.
enum class ClientHealth { Fault, NoAnswer, Healthy, Unknown };

// One reading of a client outside its limits.
struct SensorFault {
    int sensorType = -1;
    int value = 0;
    int limit = 0; // the limit it crossed: the high one when above, the low one when below
};

// The limit a switched-on reading crossed, or nothing while it is within its limits.
std::optional<int> crossedLimit(const msg::SensorKeys& keys, const msg::SensorFigures& figures);

class HealthPoller {
public:
    static constexpr qint64 kRoundMs = 10000;  // each online client is asked once per round
    static constexpr qint64 kAnswerMs = 5000;  // a request unanswered this long: no answer
    static constexpr qint64 kStepMs = 100;     // how often the caller should call step()

    struct Listener {
        std::function<void(const QUuid&)> ask;                                     // send kind 1
        std::function<void(const QUuid&, ClientHealth)> healthChanged;
        std::function<void(const QUuid&, const SensorFault&, bool started)> faultChanged;
        std::function<void(const QUuid&)> faultEpisodeStarted; // once until the client is healthy again
    };

    explicit HealthPoller(Listener listener);

    // The client list's presence: only online clients are asked. A client that goes offline
    // no longer answers: it is shown as such until it answers again.
    void setOnline(const QUuid& client, bool online);
    void setSelected(const QUuid& client);
    // The window asked the selected client: its answer is awaited like ours.
    void noteAsked(const QUuid& client, qint64 nowMs);

    // Sends the requests due since the last step and marks the clients whose answer is overdue.
    void step(qint64 nowMs);

    void onSensorReply(const QUuid& client, const msg::SensorReport& report);

    ClientHealth healthOf(const QUuid& client) const;
    int onlineCount() const { return m_onlineCount; }
    quint64 requestsSent() const { return m_requestsSent; }

private:
    struct State {
        bool online = false;
        bool inRotation = false;
        qint64 askedAtMs = -1; // oldest request without an answer; -1 none
        ClientHealth health = ClientHealth::Unknown;
        std::array<std::optional<SensorFault>, 10> faults{}; // by SensorType
        bool episodeLatched = false;
    };

    std::optional<QUuid> nextInTurn();
    void expireOverdue(qint64 nowMs);
    void compactRotation();
    void setHealth(const QUuid& client, State& state, ClientHealth health);
    void markAsked(const QUuid& client, State& state, qint64 nowMs);

    Listener m_listener;
    QHash<QUuid, State> m_states;
    QVector<QUuid> m_rotation; // online clients in the order they are asked; offline ones until the round ends
    int m_cursor = 0;
    int m_onlineCount = 0;
    double m_credit = 0;       // requests owed since the last step
    qint64 m_lastStepMs = -1;
    QUuid m_selected;
    std::deque<std::pair<QUuid, qint64>> m_deadlines; // (client, asked at), in the order asked
    quint64 m_requestsSent = 0;
};
