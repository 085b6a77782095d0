// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One MQTT message as a link hands it on: identifier, topic, payload and flags.

#include <QByteArray>
#include <QMetaType>
#include <QString>

class MqttMessage {
public:
    MqttMessage() = default;
    MqttMessage(quint16 id, const QString& topic, const QByteArray& payload, quint8 qos = 0, bool retain = false,
                bool dup = false)
        : m_id(id)
        , m_topic(topic)
        , m_payload(payload)
        , m_qos(qos)
        , m_retain(retain)
        , m_dup(dup)
    {
    }

    quint16 id() const { return m_id; }
    QString topic() const { return m_topic; }
    QByteArray payload() const { return m_payload; }
    quint8 qos() const { return m_qos; }
    bool retain() const { return m_retain; }
    bool dup() const { return m_dup; }

private:
    quint16 m_id = 0;
    QString m_topic;
    QByteArray m_payload;
    quint8 m_qos = 0;
    bool m_retain = false;
    bool m_dup = false;
};

Q_DECLARE_METATYPE(MqttMessage)
