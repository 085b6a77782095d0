// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Settings: load into the snapshot, push into the widgets with their clamping, slots, and saving.

#include "monitor_fixture.h"
#include "agent_settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSpinBox>

using namespace monitortest;

namespace {

using S = SensorSnapshot;

QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> result = bytes.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

TEST_F(MonitorTest, FreshInstallationWritesAllAlarmKeysOnFirstTick)
{
    auto window = makeWindow();
    EXPECT_TRUE(window->agent().settingsChanged()); // fourteen spin boxes moved off their minimum
    EXPECT_TRUE(readSettings().isEmpty());

    window->agent().tick();
    EXPECT_FALSE(window->agent().settingsChanged());

    // Each new key goes directly after the header, so the file lists them in reverse.
    QList<QByteArray> expected = {"[General]"};
    const std::vector<SettingKey>& keys = settingKeys();
    for (auto row = keys.rbegin(); row != keys.rend(); ++row) {
        if (row->saved)
            expected << QByteArray(row->key) + '=' + settingDefault(*row).toLatin1() + '\r';
    }
    expected[0] += '\r';
    EXPECT_EQ(expected.size(), 27);
    EXPECT_EQ(lines(readSettings()), expected);
}

const QByteArray kSiteSettings = "; site settings\r\n"
                                 "[General]\r\n"
                                 "vcore_hi=9999\r\n"
                                 "FAN1_Lo=100\r\n"
                                 "CBVcore=yes\r\n"
                                 "CBCPUFan=12\r\n"
                                 "CPUTemp_Hi=0x50 ;hot aisle\r\n"
                                 "SYSTemp_Hi=70000\r\n"
                                 "Unknown=keep me\r\n"
                                 "\r\n"
                                 "[DEBUG]\r\n"
                                 "DEBUG=1\r\n"
                                 "[CLOUD]\r\n"
                                 "ENABLE=1\r\n"
                                 "HOST=10.0.0.5 ;lab broker\r\n"
                                 "PORT=0x75B\r\n";

TEST_F(MonitorTest, LoadsSiteSettingsThroughTheWidgetRanges)
{
    writeSettings(kSiteSettings);
    auto window = makeWindow();
    const SensorSnapshot& snap = window->agent().snapshot();

    // Above the spin box's maximum: clamped, in the snapshot too.
    EXPECT_EQ(child<QSpinBox>(*window, "sbVcoreHi")->value(), 5000);
    EXPECT_EQ(snap.Vcore_Hi, 5000);
    // Below the minimum: the box shows its minimum, the alarm keeps the stored value.
    EXPECT_EQ(child<QSpinBox>(*window, "sbProcFan")->value(), 500);
    EXPECT_EQ(snap.FAN1_Lo, 100);
    // 70000 keeps its low 16 bits (4464), then clamps to the box's maximum.
    EXPECT_EQ(snap.SYSTemp_Hi, 100);

    EXPECT_EQ(snap.CBVcore, 0);
    EXPECT_FALSE(child<QGroupBox>(*window, "gbVore")->isChecked());
    EXPECT_EQ(snap.CBCPUFan, 1);
    EXPECT_TRUE(child<QCheckBox>(*window, "cbProcFan")->isChecked());
    EXPECT_EQ(snap.CPUTemp_Hi, 0x50);
    EXPECT_EQ(snap.Vio_Hi, 3600); // missing key: default
    EXPECT_EQ(snap.Debug, 1);

    const BrokerSettings& broker = window->agent().brokerSettings();
    EXPECT_TRUE(broker.enable);
    EXPECT_EQ(broker.host, "10.0.0.5 ");
    EXPECT_EQ(broker.port, 1883);
    EXPECT_EQ(broker.hqToken, "NORDA");
    EXPECT_EQ(broker.channel, "VARDEN6");
    EXPECT_TRUE(broker.access.user.isEmpty()); // no login keys: anonymous on plain TCP
    EXPECT_FALSE(broker.access.tls);
}

TEST_F(MonitorTest, LoginAndTlsKeysAreReadAndKeptBySaving)
{
    const QByteArray cloud = "[CLOUD]\r\nENABLE=1\r\nUSER=agent-7\r\nPASSWORD=pa;ss\r\nTLS=1\r\n"
                             "CA_FILE=/etc/vrd/ca.crt\r\nCERT_FILE=/etc/vrd/agent-7.crt\r\n"
                             "KEY_FILE=/etc/vrd/agent-7.key\r\n";
    writeSettings(cloud);
    auto window = makeWindow();
    const BrokerAccess& access = window->agent().brokerSettings().access;
    EXPECT_EQ(access.user, "agent-7");
    EXPECT_EQ(access.password, "pa"); // ';' starts a comment in this file
    EXPECT_TRUE(access.tls);
    EXPECT_EQ(access.caFile, "/etc/vrd/ca.crt");
    EXPECT_EQ(access.certFile, "/etc/vrd/agent-7.crt");
    EXPECT_EQ(access.keyFile, "/etc/vrd/agent-7.key");

    window->agent().tick();
    const QList<QByteArray> saved = lines(readSettings());
    for (const QByteArray& line : cloud.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(saved.contains(line)) << line.toStdString();
        }
    }
}

TEST_F(MonitorTest, SaveKeepsEveryLineItDoesNotOwn)
{
    writeSettings(kSiteSettings);
    auto window = makeWindow();
    window->agent().tick();

    const QList<QByteArray> saved = lines(readSettings());
    for (const char* kept : {"; site settings", "Unknown=keep me", "", "[DEBUG]", "DEBUG=1", "[CLOUD]",
                                   "ENABLE=1", "HOST=10.0.0.5 ;lab broker", "PORT=0x75B"})
        EXPECT_TRUE(saved.contains(QByteArray(kept) + '\r')) << kept;
    EXPECT_TRUE(saved.contains("vcore_hi=5000\r"));
    EXPECT_TRUE(saved.contains("FAN1_Lo=100\r"));
    EXPECT_TRUE(saved.contains("CBVcore=0\r"));
    EXPECT_TRUE(saved.contains("CPUTemp_Hi=80;hot aisle\r"));
    // The DEBUG and CLOUD sections stay where they were, after General and its new keys.
    EXPECT_GT(saved.indexOf("[DEBUG]\r"), saved.indexOf("-12V_Lo=10500\r"));
    EXPECT_EQ(saved.size(), 16 + 20); // 20 keys the file lacked
}

struct SwitchRow {
    const char* widget;
    uint8_t S::*field;
};

struct LimitRow {
    const char* widget;
    int16_t S::*field;
};

const SwitchRow kSwitchRows[] = {
    {"gbVore", &S::CBVcore},         {"gbVio", &S::CBVio},          {"gbP5V", &S::CB5V},
    {"gbP12V", &S::CB12V},           {"gbN5V", &S::CBN5V},          {"gbN12V", &S::CBN12V},
    {"cbProcTemp", &S::CBCPUTemp}, {"cbProcFan", &S::CBCPUFan}, {"cbSysTemp", &S::CBSYSTemp},
    {"cbSysFan", &S::CBSYSFan},
};

const LimitRow kLimitRows[] = {
    {"sbVcoreHi", &S::Vcore_Hi}, {"sbVcoreLo", &S::Vcore_Lo},    {"sbVioHi", &S::Vio_Hi},
    {"sbVioLo", &S::Vio_Lo},     {"sbP5VHi", &S::P5V_Hi},        {"sbP5VLo", &S::P5V_Lo},
    {"sbP12VHi", &S::P12V_Hi},   {"sbP12VLo", &S::P12V_Lo},      {"sbN5VHi", &S::N5V_Hi},
    {"sbN5VLo", &S::N5V_Lo},     {"sbN12VHi", &S::N12V_Hi},      {"sbN12VLo", &S::N12V_Lo},
    {"sbProcTemp", &S::CPUTemp_Hi}, {"sbProcFan", &S::FAN1_Lo}, {"sbSysTemp", &S::SYSTemp_Hi},
    {"sbSysFan", &S::FAN2_Lo},
};

void clickSwitch(QWidget* widget)
{
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        // A user's click on the title's check mark: the state flips, then clicked(bool) follows.
        box->setChecked(!box->isChecked());
        emit box->clicked(box->isChecked());
    } else {
        qobject_cast<QAbstractButton*>(widget)->click();
    }
}

TEST_F(MonitorTest, SwitchesFollowClicksOnly)
{
    auto window = makeWindow();
    window->agent().tick();
    for (const SwitchRow& row : kSwitchRows) {
        QWidget* widget = child<QWidget>(*window, row.widget);
        const uint8_t before = window->agent().snapshot().*row.field;

        // A change from code (as start-up makes) reaches no slot.
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            box->setChecked(before == 0);
        else
            qobject_cast<QAbstractButton*>(widget)->setChecked(before == 0);
        EXPECT_EQ(window->agent().snapshot().*row.field, before) << row.widget;
        EXPECT_FALSE(window->agent().settingsChanged()) << row.widget;

        clickSwitch(widget);
        EXPECT_EQ(window->agent().snapshot().*row.field, before) << row.widget; // clicked back to where it was
        clickSwitch(widget);
        EXPECT_EQ(window->agent().snapshot().*row.field, before ? 0 : 1) << row.widget;
        EXPECT_TRUE(window->agent().settingsChanged()) << row.widget;
        window->agent().tick();
    }
}

TEST_F(MonitorTest, LimitsFollowEveryValueChange)
{
    auto window = makeWindow();
    window->agent().tick();
    for (const LimitRow& row : kLimitRows) {
        auto* box = child<QSpinBox>(*window, row.widget);
        const int target = box->value() == box->minimum() ? box->minimum() + box->singleStep() : box->minimum();
        box->setValue(target);
        EXPECT_EQ(window->agent().snapshot().*row.field, target) << row.widget;
        EXPECT_TRUE(window->agent().settingsChanged()) << row.widget;
        window->agent().tick();
    }
}

TEST_F(MonitorTest, ChangesAreWrittenOnceOnTheNextTickAndAgainAtShutdown)
{
    auto window = makeWindow();
    window->agent().tick();

    child<QSpinBox>(*window, "sbVcoreHi")->setValue(4000);
    child<QSpinBox>(*window, "sbVcoreHi")->setValue(4100);
    EXPECT_FALSE(readSettings().contains("Vcore_Hi=4100"));
    window->agent().tick();
    EXPECT_TRUE(readSettings().contains("Vcore_Hi=4100\r\n"));

    QFile::remove(settingsPath());
    window->agent().tick();
    EXPECT_FALSE(QFile::exists(settingsPath())); // nothing changed since the last write

    child<QSpinBox>(*window, "sbVioLo")->setValue(700);
    window.reset(); // within the same second: the shutdown saves it
    EXPECT_TRUE(readSettings().contains("Vio_Lo=700\r\n"));
    EXPECT_TRUE(readSettings().contains("Vcore_Hi=4100\r\n"));
}

} // namespace
