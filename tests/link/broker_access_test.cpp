// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// What keeps the login and TLS settings from giving a connection.

#include "broker_access.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

BrokerAccess accessOf(const char* user, const char* password, bool tls, const char* ca = "", const char* cert = "",
                      const char* key = "")
{
    return {QString::fromUtf8(user), QString::fromUtf8(password), tls, QString::fromUtf8(ca),
            QString::fromUtf8(cert), QString::fromUtf8(key)};
}

TEST(BrokerAccessSettings, ProblemsThatKeepALinkFromConnecting)
{
    QTemporaryDir dir;
    const QString readable = dir.filePath(QStringLiteral("ca.crt"));
    QFile file(readable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QByteArray ca = readable.toUtf8();
    const QByteArray missing = dir.filePath(QStringLiteral("missing.crt")).toUtf8();

    const struct {
        const char* name;
        BrokerAccess access;
        QString problem;
    } cases[] = {
        {"anonymous plain TCP", accessOf("", "", false), QString()},
        {"login on plain TCP", accessOf("agent", "pw", false), QString()},
        {"files ignored without TLS", accessOf("", "", false, missing), QString()},
        {"TLS with a CA", accessOf("", "", true, ca), QString()},
        {"TLS with a client certificate", accessOf("", "", true, ca, ca, ca), QString()},
        {"TLS without a CA", accessOf("agent", "pw", true), QStringLiteral("TLS=1 needs CA_FILE")},
        {"certificate without key", accessOf("", "", true, ca, ca),
         QStringLiteral("CERT_FILE and KEY_FILE go together")},
        {"key without certificate", accessOf("", "", true, ca, "", ca),
         QStringLiteral("CERT_FILE and KEY_FILE go together")},
        {"CA missing", accessOf("", "", true, missing),
         QStringLiteral("CA_FILE %1 cannot be read").arg(QString::fromUtf8(missing))},
        {"CA a directory", accessOf("", "", true, dir.path().toUtf8()),
         QStringLiteral("CA_FILE %1 cannot be read").arg(dir.path())},
        {"key missing", accessOf("", "", true, ca, ca, missing),
         QStringLiteral("KEY_FILE %1 cannot be read").arg(QString::fromUtf8(missing))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(brokerAccessProblem(c.access), c.problem) << c.name;
}

} // namespace
