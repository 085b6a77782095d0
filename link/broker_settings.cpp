// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "broker_settings.h"

#include <QSettings>

#include <cstdlib>
#include <variant>

namespace {

using B = BrokerSettings;
using A = BrokerAccess;
using Field = std::variant<bool B::*, QString B::*, quint16 B::*, bool A::*, QString A::*>;

struct CloudKey {
    const char* key;
    Field field;
    const char* agentDefault; // spelled as in the file
};

const CloudKey kCloudKeys[] = {
    {"ENABLE", &B::enable, "0"},
    {"HOST", &B::host, "127.0.0.1"},
    {"PORT", &B::port, "1883"},
    {"HQ_TOKEN", &B::hqToken, "NORDA"},
    {"BRANCH_TOKEN", &B::channel, "VARDEN6"},
    {"USER", &A::user, ""},
    {"PASSWORD", &A::password, ""},
    {"TLS", &A::tls, "0"},
    {"CA_FILE", &A::caFile, ""},
    {"CERT_FILE", &A::certFile, ""},
    {"KEY_FILE", &A::keyFile, ""},
};

constexpr char kGroup[] = "CLOUD";

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

// A decimal number at the start of the text (blanks and a sign before it) other than 0.
bool flagOf(const QString& text)
{
    return std::strtoll(text.toLatin1().constData(), nullptr, 10) != 0;
}

// Sets the field from `text`; a port that is no port leaves the field as it is (its default).
void setField(BrokerSettings& settings, const Field& field, const QString& text)
{
    std::visit(Overloaded{
                   [&](bool B::*f) { settings.*f = flagOf(text); },
                   [&](QString B::*f) { settings.*f = text; },
                   [&](quint16 B::*f) { settings.*f = parseBrokerPort(text).value_or(settings.*f); },
                   [&](bool A::*f) { settings.access.*f = flagOf(text); },
                   [&](QString A::*f) { settings.access.*f = text; },
               },
               field);
}

// QSettings splits a value with commas into a list; the settings mean the whole text.
QString wholeText(const QVariant& value)
{
    return value.type() == QVariant::StringList ? value.toStringList().join(QLatin1Char(',')) : value.toString();
}

} // namespace

BrokerSettings brokerDefaults(BrokerDefaults defaults)
{
    BrokerSettings settings;
    if (defaults == BrokerDefaults::Agent)
        for (const CloudKey& row : kCloudKeys)
            setField(settings, row.field, QString::fromLatin1(row.agentDefault));
    return settings;
}

BrokerSettings readBrokerSettings(const CloudKeyText& keyText, BrokerDefaults defaults)
{
    BrokerSettings settings = brokerDefaults(defaults);
    for (const CloudKey& row : kCloudKeys)
        if (const std::optional<QString> text = keyText(QString::fromLatin1(row.key)))
            setField(settings, row.field, *text);
    return settings;
}

BrokerSettings readBrokerSettingsFile(const QString& path, BrokerDefaults defaults, bool* readError)
{
    QSettings ini(path, QSettings::IniFormat);
    if (readError)
        *readError = ini.status() != QSettings::NoError;
    ini.beginGroup(QLatin1String(kGroup));
    const BrokerSettings settings = readBrokerSettings(
        [&ini](const QString& key) -> std::optional<QString> {
            if (!ini.contains(key))
                return std::nullopt;
            return wholeText(ini.value(key));
        },
        defaults);
    ini.endGroup();
    warnIfPasswordExposed(path, settings.access);
    return settings;
}

std::optional<quint16> parseBrokerPort(const QString& text)
{
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok, 0);
    if (!ok || port > 0xFFFF)
        return std::nullopt;
    return quint16(port);
}
