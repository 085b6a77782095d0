// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "access_options.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

struct PathOption {
    const char* name;
    const char* help;
    QString BrokerAccess::*field;
};

constexpr PathOption kPathOptions[] = {
    {"ca-file", "PEM file of the CA that signed the broker's certificate (CA_FILE).", &BrokerAccess::caFile},
    {"cert-file", "Own certificate, for brokers that require one (CERT_FILE).", &BrokerAccess::certFile},
    {"key-file", "Key of the own certificate (KEY_FILE).", &BrokerAccess::keyFile},
};

const QString kUser = QStringLiteral("user");
const QString kPasswordFile = QStringLiteral("password-file");
const QString kTls = QStringLiteral("tls");

// A password longer than this is not a password file.
constexpr qint64 kPasswordFileMax = 4096;

} // namespace

void addAccessOptions(QCommandLineParser& parser)
{
    parser.addOption({kUser, QStringLiteral("Broker user name (USER)."), QStringLiteral("name")});
    parser.addOption({kPasswordFile, QStringLiteral("File whose first line is the broker password (PASSWORD)."),
                      QStringLiteral("file")});
    parser.addOption({kTls, QStringLiteral("Connect with TLS, checking the broker's certificate (TLS=1).")});
    for (const PathOption& option : kPathOptions)
        parser.addOption({QLatin1String(option.name), QLatin1String(option.help), QStringLiteral("file")});
}

std::optional<BrokerAccess> applyAccessOptions(const QCommandLineParser& parser, BrokerAccess access, QString& error)
{
    if (parser.isSet(kUser))
        access.user = parser.value(kUser);
    if (parser.isSet(kTls))
        access.tls = true;
    for (const PathOption& option : kPathOptions)
        if (parser.isSet(QLatin1String(option.name)))
            access.*option.field = parser.value(QLatin1String(option.name));
    if (!parser.isSet(kPasswordFile))
        return access;
    QFile file(parser.value(kPasswordFile));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kPasswordFileMax) {
        error = QStringLiteral("cannot read the password file %1").arg(file.fileName());
        return std::nullopt;
    }
    const QByteArray firstLine = file.readLine(kPasswordFileMax + 1);
    access.password = QString::fromUtf8(firstLine).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    return access;
}
