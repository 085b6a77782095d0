// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One MQTT 3.1 connection bound to one topic. The link subscribes to its topic (QoS 1) every
// time the connection comes up, publishes payloads on that topic (QoS 0, no retain) and hands
// every arriving message on through SignalMqttReceived. A publish-only link (setSubscribing
// false) never subscribes: an agent's reply link would otherwise receive the replies of every
// agent on the channel, a load that grows with the square of the fleet.
//
// Beside its topic a link may read further topics (addSubscription: an agent's own request topic,
// the per-user reply topics) and publish on another topic than its own (PublishPayload with a
// topic: a request to one agent goes on that agent's topic). All of a link's subscriptions go out
// in one SUBSCRIBE packet, so they are acknowledged, and lost, together.
//
// The link lives entirely on the thread that owns it: libmosquitto is driven from that
// thread's Qt event loop (socket notifiers and a housekeeping timer, no library thread), so
// the signal and every slot run there and nothing needs a lock. Connecting never blocks: the
// host is used only as an address literal, never resolved, and the TCP connect is
// non-blocking. A failure is retried by the policy; only those that no retry can mend (a
// refused login, a broker certificate that is not trusted, unusable TLS settings) are also told,
// once, on standard error (link_failures.h).
//
// Do not delete a link from a receiver of its own signal; use deleteLater().

#include "broker_access.h"
#include "mqtt_message.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

class MqttTransmit : public QObject {
    Q_OBJECT

public:
    enum class ReconnectPolicy {
        Client,  // own timer: every 1000 ms, connect when the link is down
        Browser, // automatic reconnection 10 000 ms after the link went down
    };

    MqttTransmit(const QHostAddress& host, quint16 port, const QString& topic, ReconnectPolicy policy,
                 QObject* parent = nullptr);
    ~MqttTransmit() override;

    MqttTransmit(const MqttTransmit&) = delete;
    MqttTransmit& operator=(const MqttTransmit&) = delete;

    // Starts a connection attempt (unless one is under way or up) and keeps the link
    // reconnecting by its policy from then on. A null host address fails every attempt.
    void connectToHost();

    // Logs in and checks the broker as `access` says; call it once, before the first
    // connectToHost(). Settings that cannot work (TLS without CA_FILE, a file that cannot be read)
    // keep the link from connecting at all: it never falls back to plain TCP.
    void setAccess(const BrokerAccess& access);

    // Closes the connection and stops reconnecting until connectToHost() is called again.
    void disconnectFromHost();

    bool isConnectedToHost() const;

    // Whether the link subscribes to its topic on every connect (the default). Takes effect at
    // the next connect: set it before connectToHost().
    void setSubscribing(bool subscribing) { m_subscribing = subscribing; }

    // Another topic to read, beside the link's own, from the next connect on (set it before
    // connectToHost()). A topic that overlaps another of the link's (a wildcard that matches it)
    // would deliver a message twice: the caller keeps them apart.
    void addSubscription(const QString& topic);

    // True once the broker has granted every subscription of the current connection.
    bool isSubscribed() const;

    QString topic() const { return m_topic; }
    // The link's topic first, then those of addSubscription, in the order added.
    QStringList subscriptions() const;

    // Publishes the payload on the link's topic. A payload given while the link is down is
    // dropped (false): there is no queue.
    bool PublishPayload(const QByteArray& payload);
    // The same on `topic` instead of the link's own; false also for a topic the library refuses
    // (a wildcard, a malformed one).
    bool PublishPayload(const QByteArray& payload, const QString& topic);

signals:
    void SignalMqttReceived(const MqttMessage& message);
    // isSubscribed() changed: every subscription granted, or the connection lost.
    void SignalSubscribed(bool subscribed);

public slots:
    void onConnected();
    void onDisconnected();
    void onSubscribed(const QString& topic);
    void onReceived(const MqttMessage& message);
    void onError(int error);
    void slot_TimerEvent();

private:
    enum class State { Disconnected, Connecting, Connected };

    static void libraryConnected(mosquitto*, void* self, int rc);
    static void libraryDisconnected(mosquitto*, void* self, int rc);
    static void librarySubscribed(mosquitto*, void* self, int mid, int count, const int* granted);
    static void libraryReceived(mosquitto*, void* self, const mosquitto_message* message);
    static void libraryLog(mosquitto*, void* self, int level, const char* text);

    void noteTlsError(const QString& text);
    void tellFailure(const QString& kind, const QString& detail = QString()) const;
    void readSocket();
    void writeSocket();
    void houseKeeping();
    void afterLibraryCall(int rc);
    void syncNotifiers();
    void createNotifiers(int socket);
    void releaseNotifiers();
    void scheduleReconnect();

    const QHostAddress m_host;
    const quint16 m_port;
    const QString m_topic;
    QStringList m_extraTopics;
    const ReconnectPolicy m_policy;
    mosquitto* m_mosq = nullptr;
    QString m_accessProblem; // why the access settings cannot give a connection; empty when they can
    QString m_tlsFailure;    // the kind of TLS failure of the current attempt; empty: none seen
    QString m_tlsDetail;     // what OpenSSL said about it

    State m_state = State::Disconnected;
    bool m_wanted = false; // connectToHost() called and not undone by disconnectFromHost()
    bool m_subscribed = false;
    bool m_subscribing = true;

    // The library opens a new socket on every connect, possibly with the same number, so the
    // notifiers belong to one connect attempt and are rebuilt for the next.
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    quint64 m_attempt = 0;
    quint64 m_notifierAttempt = 0;

    // Children, so that they follow the link to another thread.
    QTimer m_reconnectTimer{this};
    QTimer m_houseKeepingTimer{this};
};
