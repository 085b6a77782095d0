// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The CLOUD keys as every program reads them: the agent's defaults or none, the port's one rule,
// the flags, and the login and TLS keys with their commas.

#include "broker_settings.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool operator==(const BrokerAccess& a, const BrokerAccess& b)
{
    return a.user == b.user && a.password == b.password && a.tls == b.tls && a.caFile == b.caFile &&
           a.certFile == b.certFile && a.keyFile == b.keyFile;
}

struct Expected {
    bool enable;
    const char* host;
    quint16 port;
    const char* hqToken;
    const char* channel;
};

void expectSettings(const BrokerSettings& s, const Expected& e, const char* name)
{
    EXPECT_EQ(s.enable, e.enable) << name;
    EXPECT_EQ(s.host, QString::fromLatin1(e.host)) << name;
    EXPECT_EQ(s.port, e.port) << name;
    EXPECT_EQ(s.hqToken, QString::fromLatin1(e.hqToken)) << name;
    EXPECT_EQ(s.channel, QString::fromLatin1(e.channel)) << name;
}

struct FileCase {
    const char* name;
    const char* ini; // null: no file
    Expected agent;
    Expected station;
    bool readError;
};

const Expected kAgentDefaults{false, "127.0.0.1", 1883, "NORDA", "VARDEN6"};
const Expected kNothing{false, "", 0, "", ""};

TEST(BrokerSettingsFile, MissingKeysTakeTheReadersDefaults)
{
    const FileCase cases[] = {
        {"no file", nullptr, kAgentDefaults, kNothing, false},
        {"other section only", "[General]\nHOST=10.1.1.1\nPORT=1\n", kAgentDefaults, kNothing, false},
        {"every key", "[CLOUD]\nENABLE=1\nHOST=10.0.0.5\nPORT=1884\nHQ_TOKEN=HQ\nBRANCH_TOKEN=SITE\n",
         {true, "10.0.0.5", 1884, "HQ", "SITE"}, {true, "10.0.0.5", 1884, "HQ", "SITE"}, false},
        {"empty texts are texts", "[CLOUD]\nHOST=\nBRANCH_TOKEN=\n", {false, "", 1883, "NORDA", ""},
         kNothing, false},
        {"port beyond 16 bits", "[CLOUD]\nPORT=70000\n", kAgentDefaults, kNothing, false},
        {"port not a number", "[CLOUD]\nPORT=18x3\n", kAgentDefaults, kNothing, false},
        {"port in hexadecimal", "[CLOUD]\nPORT=0x75B\n", kAgentDefaults, {false, "", 1883, "", ""}, false},
        {"flag as a leading number", "[CLOUD]\nENABLE=12 apples\n", {true, "127.0.0.1", 1883, "NORDA", "VARDEN6"},
         {true, "", 0, "", ""}, false},
        {"flag not a number", "[CLOUD]\nENABLE=yes\n", kAgentDefaults, kNothing, false},
        {"malformed file still read", "[CLOUD\nHOST=1.2.3.4\n[CLOUD]\nPORT=12\n",
         {false, "1.2.3.4", 12, "NORDA", "VARDEN6"}, {false, "1.2.3.4", 12, "", ""}, true},
    };
    for (const FileCase& c : cases) {
        for (const BrokerDefaults defaults : {BrokerDefaults::Agent, BrokerDefaults::None}) {
            // A file of its own for each read: the settings store keeps what it read of a path.
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("VRD.INI"));
            if (c.ini) {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(c.ini);
            }
            bool readError = false;
            const BrokerSettings read = readBrokerSettingsFile(path, defaults, &readError);
            expectSettings(read, defaults == BrokerDefaults::Agent ? c.agent : c.station, c.name);
            EXPECT_EQ(readError, c.readError) << c.name;
        }
    }
}

BrokerAccess accessOf(const char* user, const char* password, bool tls, const char* ca = "", const char* cert = "",
                      const char* key = "")
{
    return {QString::fromUtf8(user), QString::fromUtf8(password), tls, QString::fromUtf8(ca),
            QString::fromUtf8(cert), QString::fromUtf8(key)};
}

TEST(BrokerSettingsFile, LoginAndTlsKeys)
{
    const struct {
        const char* name;
        const char* cloud; // lines of section CLOUD
        BrokerAccess expected;
    } cases[] = {
        {"no keys: anonymous, plain TCP", "HOST=127.0.0.1\n", accessOf("", "", false)},
        {"every key", "USER=agent\nPASSWORD=s3cret\nTLS=1\nCA_FILE=/etc/vrd/ca.crt\nCERT_FILE=/etc/vrd/a.crt\n"
                      "KEY_FILE=/etc/vrd/a.key\n",
         accessOf("agent", "s3cret", true, "/etc/vrd/ca.crt", "/etc/vrd/a.crt", "/etc/vrd/a.key")},
        {"commas kept", "PASSWORD=a,b,c\nCA_FILE=/srv/ca,v2.crt\n", accessOf("", "a,b,c", false, "/srv/ca,v2.crt")},
        {"TLS off", "TLS=0\n", accessOf("", "", false)},
        {"TLS not a number", "TLS=yes\n", accessOf("", "", false)},
        {"TLS any other number", "TLS=2\n", accessOf("", "", true)},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VRD.INI"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[CLOUD]\n") + c.cloud);
        file.close();
        for (BrokerDefaults defaults : {BrokerDefaults::Agent, BrokerDefaults::None})
            EXPECT_TRUE(readBrokerSettingsFile(path, defaults).access == c.expected) << c.name;
    }
}

// The agent reads its file through its own INI routines: the table takes any key reader.
TEST(BrokerSettings, ReadThroughAnyKeyReader)
{
    const QMap<QString, QString> keys = {{"HOST", "10.0.0.5 "}, {"PORT", " 0x75B "}, {"TLS", "1"}};
    const BrokerSettings s = readBrokerSettings(
        [&keys](const QString& key) -> std::optional<QString> {
            if (!keys.contains(key))
                return std::nullopt;
            return keys.value(key);
        },
        BrokerDefaults::Agent);
    EXPECT_EQ(s.host, "10.0.0.5 "); // the file's text as it is
    EXPECT_EQ(s.port, 1883);
    EXPECT_TRUE(s.access.tls);
    EXPECT_EQ(s.channel, "VARDEN6");
}

TEST(BrokerSettings, PortRule)
{
    const struct {
        const char* text;
        std::optional<quint16> port;
    } cases[] = {
        {"1883", 1883}, {" 1883 ", 1883}, {"0", 0},          {"65535", 65535},      {"65536", std::nullopt},
        {"0x75B", 1883}, {"03533", 1883}, {"018", std::nullopt}, {"-1", std::nullopt}, {"18x3", std::nullopt},
        {"", std::nullopt}, {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseBrokerPort(QString::fromLatin1(c.text)), c.port) << c.text;
}

} // namespace
