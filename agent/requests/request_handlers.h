// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// An agent's answers to the station's requests: a table of kind codes and handlers, the
// addressing rule, and replies built from the live data the agent hands in. The agent program and
// every agent of vrd-fleet-sim answer through it (agent_links.h), so their replies agree byte for
// byte.
//
//     RequestSources sources = liveAgent.requestSources();   // live_agent.h
//     QByteArray reply = answerRequest(payload, sources);
//     if (!reply.isEmpty()) replyLink->PublishPayload(reply);

#include "history_series.h"
#include "messages.h"
#include "sensor_snapshot.h"

#include <QByteArray>
#include <QUuid>
#include <QVector>

#include <functional>
#include <optional>

// Where each reply takes its data from; called on the thread that calls answerRequest.
struct RequestSources {
    QUuid host;                                                  // this machine's identity
    // The agent reads its own request topic: its presence and inventory replies say so.
    bool ownTopic = false;
    std::function<const SensorSnapshot&()> snapshot;             // kind 1
    std::function<int16_t()> processorLoad;                      // kind 2, the logging thread's sample
    std::function<std::optional<QVector<msg::FaultRecord>>()> lastFaults;   // kind 3, newest first
    std::function<std::optional<QVector<msg::FaultRecord>>()> todaysFaults; // kind 5
    std::function<msg::Inventory()> inventory;                   // kind 4
    std::function<std::optional<HistorySeries>(const HistoryQuery&)> history; // kind 16
};

// The reply to one request payload, or nothing (empty) when the request is malformed, of an
// unknown kind, lacks "TUuid", or is addressed to another machine.
QByteArray answerRequest(const QByteArray& payload, const RequestSources& sources);
