// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "broker_access.h"

#include <QFileInfo>
#include <QtGlobal>

namespace {

struct AccessFile {
    const char* key;
    QString BrokerAccess::*path;
};

constexpr AccessFile kAccessFiles[] = {
    {"CA_FILE", &BrokerAccess::caFile},
    {"CERT_FILE", &BrokerAccess::certFile},
    {"KEY_FILE", &BrokerAccess::keyFile},
};

} // namespace

QString brokerAccessProblem(const BrokerAccess& access)
{
    if (!access.tls)
        return QString();
    if (access.caFile.isEmpty())
        return QStringLiteral("TLS=1 needs CA_FILE");
    if (access.certFile.isEmpty() != access.keyFile.isEmpty())
        return QStringLiteral("CERT_FILE and KEY_FILE go together");
    for (const AccessFile& file : kAccessFiles) {
        const QString& path = access.*file.path;
        const QFileInfo info(path);
        if (!path.isEmpty() && !(info.isFile() && info.isReadable()))
            return QStringLiteral("%1 %2 cannot be read").arg(QLatin1String(file.key), path);
    }
    return QString();
}

void warnIfPasswordExposed(const QString& path, const BrokerAccess& access)
{
    if (access.password.isEmpty())
        return;
    const QFileInfo info(path);
    if (!info.exists() || !(info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        return;
    // Through Qt's message handler, so that a program logging to the journal marks it a warning.
    qWarning("warning: %s holds a broker password and other users can read it (chmod 600 it)",
             qUtf8Printable(info.absoluteFilePath()));
}
