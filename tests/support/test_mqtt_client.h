// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A plain MQTT client for tests (see test_broker.h for an example).

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

struct mosquitto;
struct mosquitto_message;

namespace vrdtest {

// A plain MQTT client for tests, independent of the code under test: libmosquitto with its own
// network thread. Publishes with QoS 0 and subscribes with QoS 1 on any topic, and collects
// every message it receives.
class TestMqttClient {
public:
    struct Message {
        QString topic;
        QByteArray payload;
        qint64 arrivedNs = 0; // the steady clock when the network thread took it in
    };

    explicit TestMqttClient(quint16 port, const QString& host = QStringLiteral("127.0.0.1"));
    ~TestMqttClient();

    TestMqttClient(const TestMqttClient&) = delete;
    TestMqttClient& operator=(const TestMqttClient&) = delete;

    // An account and, with a CA file, TLS; before connectToBroker(). False when the library
    // refuses the settings.
    bool setLogin(const QString& user, const QString& password, const QString& caFile = QString());

    // Connects and waits for the broker's acknowledgement.
    bool connectToBroker(int timeoutMs = 5000);
    bool isConnected() const;

    // Subscribes and waits for the broker's acknowledgement.
    bool subscribe(const QString& topic, int timeoutMs = 5000);

    // Queues one QoS 0 message; false when the library refuses it (not connected, bad topic).
    bool publish(const QString& topic, const QByteArray& payload);

    // Waits until at least count messages have arrived since the last clear().
    bool waitForMessages(int count, int timeoutMs);

    // Messages since the last clear(), without copying them.
    int messageCount() const;
    QList<Message> messages() const;
    QList<QByteArray> payloads() const;
    void clear();

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    QString m_host;
    quint16 m_port;
    mosquitto* m_mosq = nullptr;
    mutable QMutex m_mutex; // guards what the library thread writes below
    bool m_connected = false;
    QList<int> m_acknowledgedSubscriptions;
    QList<Message> m_messages;
};

} // namespace vrdtest
