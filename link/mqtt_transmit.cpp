// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mqtt_transmit.h"

#include "link_failures.h"
#include "socket_readable.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QUuid>

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcLink, "vrd.link", QtInfoMsg)

namespace {

constexpr int kKeepAliveSeconds = 10;
constexpr int kSubscriptionQos = 1;
constexpr int kPublishQos = 0;
constexpr int kClientRetryMs = 1000;
constexpr int kBrowserRetryMs = 10000;
constexpr int kHouseKeepingMs = 1000;
constexpr int kPacketsPerCall = 1;
// One socket activation reads the packets already waiting, up to this many so that the event
// loop keeps turning: at one packet per activation a station fell behind its fleet's replies and
// the broker dropped them.
constexpr int kMaxPacketsPerActivation = 256;
constexpr int kSubscriptionRefused = 0x80;
constexpr char kTlsFailed[] = "TLS with the broker failed";
constexpr int kVerifyPeer = 1; // SSL_VERIFY_PEER, as mosquitto_tls_opts_set takes it

// What the broker said, by the return code 1 to 5 of its CONNACK (MQTT 3.1).
constexpr const char* kRefusals[] = {
    "refused the connection (protocol version not accepted)",
    "refused the connection (client identifier rejected)",
    "refused the connection (server unavailable)",
    "refused the login (bad user name or password)",
    "refused the login (not authorised)",
};

// A key file with a pass phrase is refused instead of asked for on a terminal nobody watches.
int noKeyPassPhrase(char*, int, int, void*)
{
    return 0;
}

QByteArray pathOrNothing(const QString& path)
{
    return path.isEmpty() ? QByteArray() : QFile::encodeName(path);
}

const char* nullIfEmpty(const QByteArray& text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

void initLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttTransmit::MqttTransmit(const QHostAddress& host, quint16 port, const QString& topic, ReconnectPolicy policy,
                           QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_port(port)
    , m_topic(topic)
    , m_policy(policy)
{
    initLibraryOnce();
    qRegisterMetaType<MqttMessage>("MqttMessage");

    // MQTT 3.1 allows 23 characters of client identifier; brokers commonly accept more,
    // and the link keeps the full UUID text so that every connection is told apart.
    const QByteArray clientId = QUuid::createUuid().toString().toUtf8();
    m_mosq = mosquitto_new(clientId.constData(), true, this);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V31);
    // Requests and replies are single small packets: Nagle would hold each back ~40 ms.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &MqttTransmit::libraryConnected);
    mosquitto_disconnect_callback_set(m_mosq, &MqttTransmit::libraryDisconnected);
    mosquitto_subscribe_callback_set(m_mosq, &MqttTransmit::librarySubscribed);
    mosquitto_message_callback_set(m_mosq, &MqttTransmit::libraryReceived);

    m_houseKeepingTimer.setInterval(kHouseKeepingMs);
    connect(&m_houseKeepingTimer, &QTimer::timeout, this, &MqttTransmit::houseKeeping);

    connect(&m_reconnectTimer, &QTimer::timeout, this, &MqttTransmit::slot_TimerEvent);
    if (m_policy == ReconnectPolicy::Client) {
        m_reconnectTimer.start(kClientRetryMs);
    } else {
        m_reconnectTimer.setSingleShot(true);
        m_reconnectTimer.setInterval(kBrowserRetryMs);
    }
}

MqttTransmit::~MqttTransmit()
{
    // No callback may reach a half-destroyed object.
    mosquitto_connect_callback_set(m_mosq, nullptr);
    mosquitto_disconnect_callback_set(m_mosq, nullptr);
    mosquitto_subscribe_callback_set(m_mosq, nullptr);
    mosquitto_message_callback_set(m_mosq, nullptr);
    mosquitto_log_callback_set(m_mosq, nullptr);
    if (mosquitto_socket(m_mosq) >= 0)
        mosquitto_disconnect(m_mosq);
    releaseNotifiers();
    mosquitto_destroy(m_mosq);
}

void MqttTransmit::setAccess(const BrokerAccess& access)
{
    const QByteArray user = access.user.toUtf8();
    const QByteArray password = access.password.toUtf8();
    mosquitto_username_pw_set(m_mosq, nullIfEmpty(user), user.isEmpty() ? nullptr : nullIfEmpty(password));
    m_accessProblem = brokerAccessProblem(access);
    if (!access.tls || !m_accessProblem.isEmpty())
        return;
    const QByteArray ca = pathOrNothing(access.caFile);
    const QByteArray cert = pathOrNothing(access.certFile);
    const QByteArray key = pathOrNothing(access.keyFile);
    int rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullIfEmpty(cert), nullIfEmpty(key), &noKeyPassPhrase);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_tls_opts_set(m_mosq, kVerifyPeer, nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_tls_insecure_set(m_mosq, false);
    if (rc != MOSQ_ERR_SUCCESS) {
        m_accessProblem = QStringLiteral("TLS settings not accepted (%1)").arg(QLatin1String(mosquitto_strerror(rc)));
        return;
    }
    // The library tells why a handshake failed only through its log.
    mosquitto_log_callback_set(m_mosq, &MqttTransmit::libraryLog);
}

void MqttTransmit::connectToHost()
{
    m_wanted = true;
    if (m_state != State::Disconnected)
        return;
    if (!m_accessProblem.isEmpty()) {
        tellFailure(m_accessProblem);
        scheduleReconnect();
        return;
    }
    if (m_host.isNull()) {
        onError(MOSQ_ERR_INVAL);
        scheduleReconnect();
        return;
    }
    ++m_attempt;
    m_tlsFailure.clear();
    m_tlsDetail.clear();
    m_state = State::Connecting;
    m_houseKeepingTimer.start();
    // An address literal: the library's lookup returns at once without asking any resolver.
    const int rc = mosquitto_connect_async(m_mosq, m_host.toString().toUtf8().constData(), m_port,
                                           kKeepAliveSeconds);
    afterLibraryCall(rc);
}

void MqttTransmit::disconnectFromHost()
{
    m_wanted = false;
    if (m_policy == ReconnectPolicy::Browser)
        m_reconnectTimer.stop();
    if (m_state == State::Disconnected)
        return;
    const int rc = mosquitto_disconnect(m_mosq);
    afterLibraryCall(rc);
}

bool MqttTransmit::isConnectedToHost() const
{
    return m_state == State::Connected;
}

bool MqttTransmit::isSubscribed() const
{
    return m_subscribed;
}

void MqttTransmit::addSubscription(const QString& topic)
{
    m_extraTopics.append(topic);
}

QStringList MqttTransmit::subscriptions() const
{
    return QStringList{m_topic} + m_extraTopics;
}

bool MqttTransmit::PublishPayload(const QByteArray& payload)
{
    return PublishPayload(payload, m_topic);
}

bool MqttTransmit::PublishPayload(const QByteArray& payload, const QString& topic)
{
    if (m_state != State::Connected)
        return false;
    const int rc = mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), payload.size(), payload.constData(),
                                     kPublishQos, false);
    // A topic the library refuses says nothing about the connection.
    if (rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_MALFORMED_UTF8) {
        onError(rc);
        return false;
    }
    afterLibraryCall(rc);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttTransmit::onConnected()
{
    m_state = State::Connected;
    if (!m_subscribing)
        return;
    std::vector<QByteArray> topics;
    for (const QString& topic : subscriptions())
        topics.push_back(topic.toUtf8());
    std::vector<char*> names;
    for (QByteArray& topic : topics)
        names.push_back(topic.data());
    const int rc = mosquitto_subscribe_multiple(m_mosq, nullptr, int(names.size()), names.data(), kSubscriptionQos, 0,
                                                nullptr);
    if (rc != MOSQ_ERR_SUCCESS)
        onError(rc);
}

void MqttTransmit::onDisconnected()
{
    if (m_state == State::Disconnected)
        return;
    m_state = State::Disconnected;
    if (m_subscribed) {
        m_subscribed = false;
        emit SignalSubscribed(false);
    }
    m_houseKeepingTimer.stop();
    releaseNotifiers();
    scheduleReconnect();
}

void MqttTransmit::onSubscribed(const QString& topic)
{
    const bool subscribed = topic == m_topic;
    if (subscribed == m_subscribed)
        return;
    m_subscribed = subscribed;
    emit SignalSubscribed(subscribed);
}

void MqttTransmit::onReceived(const MqttMessage& message)
{
    emit SignalMqttReceived(message);
}

void MqttTransmit::onError(int error)
{
    // Failures change nothing but the retry; the text is there for whoever enables the category.
    qCDebug(lcLink) << m_topic << mosquitto_strerror(error);
}

void MqttTransmit::slot_TimerEvent()
{
    if (m_wanted && m_state == State::Disconnected)
        connectToHost();
}

void MqttTransmit::libraryConnected(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<MqttTransmit*>(self);
    if (rc == 0) {
        forgetLinkFailures();
        link->onConnected();
        return;
    }
    // Refused: the library closes the socket and reports the disconnect.
    const bool known = rc > 0 && rc <= int(std::size(kRefusals));
    link->tellFailure(known ? QString::fromLatin1(kRefusals[rc - 1])
                            : QStringLiteral("refused the connection (code %1)").arg(rc));
    link->onError(rc);
}

void MqttTransmit::libraryDisconnected(mosquitto*, void* self, int)
{
    static_cast<MqttTransmit*>(self)->onDisconnected();
}

void MqttTransmit::librarySubscribed(mosquitto*, void* self, int, int count, const int* granted)
{
    auto* link = static_cast<MqttTransmit*>(self);
    const bool everyOne = count == 1 + link->m_extraTopics.size()
        && std::none_of(granted, granted + count, [](int qos) { return qos == kSubscriptionRefused; });
    if (!everyOne) {
        link->onError(MOSQ_ERR_NOT_SUPPORTED);
        return;
    }
    link->onSubscribed(link->m_topic);
}

void MqttTransmit::libraryReceived(mosquitto*, void* self, const mosquitto_message* message)
{
    const MqttMessage received(quint16(message->mid), QString::fromUtf8(message->topic),
                               QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                               quint8(message->qos), message->retain, false);
    static_cast<MqttTransmit*>(self)->onReceived(received);
}

void MqttTransmit::libraryLog(mosquitto*, void* self, int level, const char* text)
{
    if (level == MOSQ_LOG_ERR)
        static_cast<MqttTransmit*>(self)->noteTlsError(QString::fromUtf8(text));
}

// Called while the failed handshake's SSL object still exists. The library checks the address
// itself and logs that before OpenSSL's own "certificate verify failed".
void MqttTransmit::noteTlsError(const QString& text)
{
    if (text.contains(QLatin1String("host name verification failed"))) {
        m_tlsFailure = QStringLiteral("broker certificate is not made out to %1").arg(m_host.toString());
        m_tlsDetail.clear();
        return;
    }
    if (!m_tlsFailure.isEmpty())
        return;
    const auto* ssl = static_cast<const SSL*>(mosquitto_ssl_get(m_mosq));
    const long verified = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
    if (verified != X509_V_OK) {
        m_tlsFailure = QStringLiteral("broker certificate not trusted");
        m_tlsDetail = QLatin1String(X509_verify_cert_error_string(verified));
        return;
    }
    // "OpenSSL Error[0]: error:0A00045C:SSL routines::tlsv13 alert certificate required": the
    // reason follows the last "::"; the library's own lines read "Error: <reason>".
    m_tlsFailure = QLatin1String(kTlsFailed);
    m_tlsDetail = text.contains(QLatin1String("::")) ? text.section(QLatin1String("::"), -1)
                                                      : text.section(QLatin1String(": "), 1, -1);
}

void MqttTransmit::tellFailure(const QString& kind, const QString& detail) const
{
    tellLinkFailure(QStringLiteral("broker %1:%2: %3").arg(m_host.toString()).arg(m_port).arg(kind), detail);
}

void MqttTransmit::readSocket()
{
    int rc = mosquitto_loop_read(m_mosq, kPacketsPerCall);
    for (int packets = 1; rc == MOSQ_ERR_SUCCESS && packets < kMaxPacketsPerActivation; ++packets) {
        const int socket = mosquitto_socket(m_mosq);
        if (socket < 0 || !socketHasData(socket))
            break;
        rc = mosquitto_loop_read(m_mosq, kPacketsPerCall);
    }
    // Callbacks of the read (subscribe on connect, replies of receivers) only queue packets:
    // send them now instead of one event-loop turn later.
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq))
        rc = mosquitto_loop_write(m_mosq, kPacketsPerCall);
    afterLibraryCall(rc);
}

void MqttTransmit::writeSocket()
{
    afterLibraryCall(mosquitto_loop_write(m_mosq, kPacketsPerCall));
}

void MqttTransmit::houseKeeping()
{
    // Keep-alive pings, and the end of an attempt that got no answer within the keep-alive.
    afterLibraryCall(mosquitto_loop_misc(m_mosq));
}

void MqttTransmit::afterLibraryCall(int rc)
{
    // A broker's reset can overtake its TLS alert: the library then fails with no text.
    if (rc != MOSQ_ERR_SUCCESS && !m_tlsFailure.isEmpty())
        tellFailure(m_tlsFailure, m_tlsDetail);
    else if (rc == MOSQ_ERR_TLS)
        tellFailure(QLatin1String(kTlsFailed));
    if (rc != MOSQ_ERR_SUCCESS)
        onError(rc);
    // The library closes its socket on every fatal error; not every path reports it.
    if (m_state != State::Disconnected && mosquitto_socket(m_mosq) < 0)
        onDisconnected();
    syncNotifiers();
}

void MqttTransmit::syncNotifiers()
{
    const int socket = mosquitto_socket(m_mosq);
    if (socket < 0 || m_state == State::Disconnected) {
        releaseNotifiers();
        return;
    }
    if (!m_readNotifier || m_notifierAttempt != m_attempt || m_readNotifier->socket() != socket)
        createNotifiers(socket);
    m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttTransmit::createNotifiers(int socket)
{
    releaseNotifiers();
    m_notifierAttempt = m_attempt;
    m_readNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttTransmit::readSocket);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttTransmit::writeSocket);
}

void MqttTransmit::releaseNotifiers()
{
    // Often called from inside a notifier's own signal: disable now, delete later.
    for (QSocketNotifier** notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (!*notifier)
            continue;
        (*notifier)->setEnabled(false);
        (*notifier)->disconnect(this);
        (*notifier)->deleteLater();
        *notifier = nullptr;
    }
}

void MqttTransmit::scheduleReconnect()
{
    if (m_wanted && m_policy == ReconnectPolicy::Browser && !m_reconnectTimer.isActive())
        m_reconnectTimer.start();
}
