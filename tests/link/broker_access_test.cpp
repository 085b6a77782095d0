// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The login and TLS settings as the station and vrdctl read them, and what keeps them from
// giving a connection.

#include "broker_access.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ReadCase {
    const char* name;
    const char* cloud; // lines of section CLOUD
    BrokerAccess expected;
};

BrokerAccess accessOf(const char* user, const char* password, bool tls, const char* ca = "", const char* cert = "",
                      const char* key = "")
{
    return {QString::fromUtf8(user), QString::fromUtf8(password), tls, QString::fromUtf8(ca),
            QString::fromUtf8(cert), QString::fromUtf8(key)};
}

bool operator==(const BrokerAccess& a, const BrokerAccess& b)
{
    return a.user == b.user && a.password == b.password && a.tls == b.tls && a.caFile == b.caFile &&
           a.certFile == b.certFile && a.keyFile == b.keyFile;
}

TEST(BrokerAccessSettings, ReadFromSectionCloud)
{
    const ReadCase cases[] = {
        {"no keys: anonymous, plain TCP", "HOST=127.0.0.1\n", accessOf("", "", false)},
        {"every key", "USER=agent\nPASSWORD=s3cret\nTLS=1\nCA_FILE=/etc/vrd/ca.crt\nCERT_FILE=/etc/vrd/a.crt\n"
                      "KEY_FILE=/etc/vrd/a.key\n",
         accessOf("agent", "s3cret", true, "/etc/vrd/ca.crt", "/etc/vrd/a.crt", "/etc/vrd/a.key")},
        {"commas kept", "PASSWORD=a,b,c\nCA_FILE=/srv/ca,v2.crt\n", accessOf("", "a,b,c", false, "/srv/ca,v2.crt")},
        {"TLS off", "TLS=0\n", accessOf("", "", false)},
        {"TLS not a number", "TLS=yes\n", accessOf("", "", false)},
        {"TLS any other number", "TLS=2\n", accessOf("", "", true)},
    };
    for (const ReadCase& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VRD.INI"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[CLOUD]\n") + c.cloud);
        file.close();
        QSettings ini(path, QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("CLOUD"));
        EXPECT_TRUE(readBrokerAccess(ini) == c.expected) << c.name;
    }
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
