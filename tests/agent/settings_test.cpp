// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's settings file: the broker keys read through the agent's own INI routines with the
// agent's defaults, and a save that writes the alarm keys only.

#include "agent_settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CloudCase {
    const char* name;
    const char* cloud; // lines of section CLOUD
    bool enable;
    const char* host;
    quint16 port;
    const char* channel;
};

TEST(AgentSettings, BrokerKeysAsTheAgentsFileReadsThem)
{
    const CloudCase cases[] = {
        {"no section: the agent's defaults", nullptr, false, "127.0.0.1", 1883, "VARDEN6"},
        {"comments end a value, blanks stay", "ENABLE=1\r\nHOST=10.0.0.5 ;lab broker\r\nPORT=1884 ;tls later\r\n",
         true, "10.0.0.5 ", 1884, "VARDEN6"},
        {"key names in any case", "enable=12\r\nhost=10.0.0.6\r\nbranch_token=SITE\r\n", true, "10.0.0.6", 1883,
         "SITE"},
        {"hexadecimal port", "PORT=0x75B\r\n", false, "127.0.0.1", 1883, "VARDEN6"},
        {"a port beyond 16 bits is no port", "PORT=70000\r\n", false, "127.0.0.1", 1883, "VARDEN6"},
        {"a flag that is not a number is off", "ENABLE=yes\r\n", false, "127.0.0.1", 1883, "VARDEN6"},
        {"an empty channel", "BRANCH_TOKEN=\r\n", false, "127.0.0.1", 1883, ""},
    };
    for (const CloudCase& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VRD.INI"));
        if (c.cloud) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("[CLOUD]\r\n") + c.cloud);
        }
        SensorSnapshot snapshot;
        BrokerSettings broker;
        ExportSettings exports;
        loadSettings(path, snapshot, broker, exports);
        EXPECT_EQ(broker.enable, c.enable) << c.name;
        EXPECT_EQ(broker.host, QString::fromLatin1(c.host)) << c.name;
        EXPECT_EQ(broker.port, c.port) << c.name;
        EXPECT_EQ(broker.channel, QString::fromLatin1(c.channel)) << c.name;
        EXPECT_EQ(broker.hqToken, "NORDA") << c.name;
    }
}

TEST(AgentSettings, SaveWritesTheAlarmKeysAndKeepsTheRest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VRD.INI"));
    const QByteArray before = "[CLOUD]\r\nENABLE=1\r\nPORT=0x75B\r\n[EXPORT]\r\nPROMETHEUS_DIR=/srv/metrics\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    SensorSnapshot snapshot;
    snapshot.CPUTemp_Hi = 75;
    ASSERT_TRUE(saveSettings(path, snapshot));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    EXPECT_TRUE(after.startsWith(before)) << after.constData();
    EXPECT_TRUE(after.contains("[General]\r\n")) << after.constData();
    EXPECT_TRUE(after.contains("CPUTemp_Hi=75\r\n")) << after.constData();
}

} // namespace
