// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "test_mqtt_client.h"

#include "qt_test_loop.h"

#include <QMutexLocker>

#include <mosquitto.h>

#include <chrono>

namespace vrdtest {

namespace {

constexpr int kKeepAliveSeconds = 10;

} // namespace

TestMqttClient::TestMqttClient(quint16 port, const QString& host)
    : m_host(host)
    , m_port(port)
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(m_mosq, &TestMqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &TestMqttClient::onDisconnect);
    mosquitto_subscribe_callback_set(m_mosq, &TestMqttClient::onSubscribe);
    mosquitto_message_callback_set(m_mosq, &TestMqttClient::onMessage);
    mosquitto_loop_start(m_mosq);
}

TestMqttClient::~TestMqttClient()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

bool TestMqttClient::setLogin(const QString& user, const QString& password, const QString& caFile)
{
    if (mosquitto_username_pw_set(m_mosq, user.toUtf8().constData(), password.toUtf8().constData())
        != MOSQ_ERR_SUCCESS)
        return false;
    return caFile.isEmpty()
        || mosquitto_tls_set(m_mosq, caFile.toUtf8().constData(), nullptr, nullptr, nullptr, nullptr)
        == MOSQ_ERR_SUCCESS;
}

bool TestMqttClient::connectToBroker(int timeoutMs)
{
    if (mosquitto_connect_async(m_mosq, m_host.toUtf8().constData(), m_port, kKeepAliveSeconds) != MOSQ_ERR_SUCCESS)
        return false;
    return waitUntil([this] { return isConnected(); }, timeoutMs);
}

bool TestMqttClient::isConnected() const
{
    QMutexLocker lock(&m_mutex);
    return m_connected;
}

bool TestMqttClient::subscribe(const QString& topic, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_subscribe(m_mosq, &mid, topic.toUtf8().constData(), 1) != MOSQ_ERR_SUCCESS)
        return false;
    return waitUntil(
        [this, mid] {
            QMutexLocker lock(&m_mutex);
            return m_acknowledgedSubscriptions.contains(mid);
        },
        timeoutMs);
}

bool TestMqttClient::publish(const QString& topic, const QByteArray& payload)
{
    return mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), payload.size(), payload.constData(), 0,
                             false)
        == MOSQ_ERR_SUCCESS;
}

bool TestMqttClient::waitForMessages(int count, int timeoutMs)
{
    return waitUntil(
        [this, count] {
            QMutexLocker lock(&m_mutex);
            return m_messages.size() >= count;
        },
        timeoutMs);
}

int TestMqttClient::messageCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages.size();
}

QList<TestMqttClient::Message> TestMqttClient::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QList<QByteArray> TestMqttClient::payloads() const
{
    QList<QByteArray> result;
    for (const Message& message : messages())
        result.append(message.payload);
    return result;
}

void TestMqttClient::clear()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

void TestMqttClient::onConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<TestMqttClient*>(self);
    QMutexLocker lock(&client->m_mutex);
    client->m_connected = rc == 0;
}

void TestMqttClient::onDisconnect(mosquitto*, void* self, int)
{
    auto* client = static_cast<TestMqttClient*>(self);
    QMutexLocker lock(&client->m_mutex);
    client->m_connected = false;
}

void TestMqttClient::onSubscribe(mosquitto*, void* self, int mid, int, const int*)
{
    auto* client = static_cast<TestMqttClient*>(self);
    QMutexLocker lock(&client->m_mutex);
    client->m_acknowledgedSubscriptions.append(mid);
}

void TestMqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<TestMqttClient*>(self);
    const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    Message received{QString::fromUtf8(message->topic),
                     QByteArray(static_cast<const char*>(message->payload), message->payloadlen), now};
    QMutexLocker lock(&client->m_mutex);
    client->m_messages.append(received);
}

} // namespace vrdtest
