// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "browser_settings.h"

#include <QSettings>

namespace {

constexpr char kGroup[] = "CLOUD";
constexpr char kPortKey[] = "PORT";

struct TextKey {
    const char* key;
    QString BrowserSettings::*field;
};

constexpr TextKey kTextKeys[] = {
    {"HOST", &BrowserSettings::host},
    {"HQ_TOKEN", &BrowserSettings::hqToken},
    {"BRANCH_TOKEN", &BrowserSettings::channel},
};

quint16 portFrom(const QVariant& value)
{
    bool ok = false;
    const int port = value.toInt(&ok);
    return (ok && port >= 0 && port <= 0xffff) ? quint16(port) : 0;
}

} // namespace

BrowserSettings readBrowserSettings(const QString& iniPath)
{
    QSettings ini(iniPath, QSettings::IniFormat);
    BrowserSettings settings;
    settings.readError = ini.status() != QSettings::NoError;
    ini.beginGroup(QLatin1String(kGroup));
    for (const TextKey& key : kTextKeys)
        settings.*key.field = ini.value(QLatin1String(key.key)).toString();
    settings.port = portFrom(ini.value(QLatin1String(kPortKey)));
    settings.access = readBrokerAccess(ini);
    ini.endGroup();
    warnIfPasswordExposed(iniPath, settings.access);
    return settings;
}
