// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Captured hwmon trees of desktop machines, read through the reading tool as a user runs it:
// the source chosen, the devices named, all thirteen readings, and no port access when the
// kernel's drivers are the source.

#include "hwmon_namespace.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kPortStatus = -1; // whatever the port path gives in the namespace (no /dev/port there)

// Vcore Vio P5V P12V N12V N5V Fan1 Fan2 SysTemp CpuTemp P5VAmp P12VAmp PVbat
using Readings = std::array<int, 13>;
const char* const kReadingNames[] = {"Vcore", "Vio",     "P5V",    "P12V",   "N12V",    "N5V",  "Fan1",
                                     "Fan2",  "SysTemp", "CpuTemp", "P5VAmp", "P12VAmp", "PVbat"};

struct Machine {
    const char* fixture;
    const char* forcedSource; // GAUGE64_SOURCE, or null
    int status;
    const char* source;
    QStringList devices; // in name order (libsensors lists them in directory order)
    Readings readings;
};

// Each reading worked out from the fixture's files: sysfs mV, m°C and RPM, the configuration's
// compute lines applied, rounded to the nearest.
const Machine kMachines[] = {
    // in0 1016 mV; +3.3V (stock label) in3 3344; +5V in4 1688*3 = 5064; +12V in1 1008*12 = 12096;
    // CPUFAN fan2 1318, SYSFAN fan1 892; SYSTIN 36.0; CPUTIN 41.5 -> 42; Vbat in8 3216.
    {"nct6779-dividers", nullptr, 16, "hwmon", {"nct6779-isa-0290"},
     {1016, 3344, 5064, 12096, 0, 0, 1318, 892, 36, 42, 0, 0, 3216}},
    // The same board without the dividers file: +5 V and +12 V unnamed, so 0; the processor
    // from k10temp's Tdie 45.125 -> 45 (not Tctl 55.125, not CPUTIN 41.5).
    {"nct6779-k10temp", nullptr, 16, "hwmon", {"k10temp-pci-00c3", "nct6779-isa-0290"},
     {1016, 3344, 0, 0, 0, 0, 1318, 892, 36, 45, 0, 0, 3216}},
    // in0 1104; the driver's label "+3.3V" on in3 3312 (in9 too, later); fan1 2100, fan2 1450;
    // the user's "Sys Temp" temp1 32 and "cpu temp" temp2 38; the driver's "Vbat" in8 3168.
    {"it8728", nullptr, 16, "hwmon", {"it8728-isa-0290"},
     {1104, 3312, 0, 0, 0, 0, 2100, 1450, 32, 38, 0, 0, 3168}},
    // in1 1120; +3.3V in0 1648*2 = 3296; Vbat in8 1536*2 = 3072; fan1 1650, fan2 980;
    // temp1 44 processor, temp2 30 system.
    {"f71882fg", nullptr, 16, "hwmon", {"f71882fg-isa-0a00"},
     {1120, 3296, 0, 0, 0, 0, 1650, 980, 30, 44, 0, 0, 3072}},
    // in0 1152; in3 3296; -12V in6 -(1632*7.35) = -11995.2 -> 11995; CPUFAN fan2 1780, SYSFAN
    // fan1 stopped 0; temp1 33; the processor from coretemp's Package id 0, 52; Vbat 3152.
    {"w83627ehf-coretemp", nullptr, 16, "hwmon", {"coretemp-isa-0000", "w83627ehf-isa-0290"},
     {1152, 3296, 0, 0, 11995, 0, 1780, 0, 33, 52, 0, 0, 3152}},
    // in0 renamed "CPU Core" stays the default Vcore 1200; in4 renamed "+12v": 1010*12 = 12120;
    // temp1 renamed "Motherboard" is still the driver's SYSTIN 29; no fan1 file, so Fan2 0.
    {"nct6776-user-labels", nullptr, 16, "hwmon", {"nct6776-isa-0290"},
     {1200, 3328, 0, 12120, 0, 0, 1400, 0, 29, 47, 0, 0, 3104}},
    // fan2 ignored: Fan1 0; temp2 (CPUTIN) ignored: PECI Agent 0, 50.5 -> 51.
    {"nct6775-ignored", nullptr, 16, "hwmon", {"nct6775-isa-0290"},
     {1064, 3312, 0, 0, 0, 0, 0, 780, 34, 51, 0, 0, 3184}},
    // No mapped device: the port path, as on a machine without hwmon.
    {"acpitz-only", nullptr, kPortStatus, "port", {}, {}},
    // Forced either way; a value that names neither source counts as unset.
    {"nct6779-dividers", "port", kPortStatus, "port", {}, {}},
    {"acpitz-only", "hwmon", 512, "hwmon", {}, {}},
    {"nct6779-dividers", "kernel", 16, "hwmon", {"nct6779-isa-0290"},
     {1016, 3344, 5064, 12096, 0, 0, 1318, 892, 36, 42, 0, 0, 3216}},
};

struct ToolRun {
    QJsonObject printed;
    QByteArray trace; // GAUGE64_TRACE's file; empty when never written
};

ToolRun readMachine(const QString& machineDir, const char* forcedSource)
{
    QTemporaryDir dir;
    const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GAUGE64_BOARD"));
    environment.insert(QStringLiteral("GAUGE64_TRACE"), tracePath);
    if (forcedSource)
        environment.insert(QStringLiteral("GAUGE64_SOURCE"), QString::fromLatin1(forcedSource));
    else
        environment.remove(QStringLiteral("GAUGE64_SOURCE"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(hwmon_fixture::namespaceProgram(),
               hwmon_fixture::namespaceArguments(machineDir, QStringLiteral(VRD_BIN_DIR "/gauge64-read"), {"--json"}));
    ToolRun run;
    if (!tool.waitForFinished(20000))
        return run;
    run.printed = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    QFile trace(tracePath);
    if (trace.open(QIODevice::ReadOnly))
        run.trace = trace.readAll();
    return run;
}

QStringList sortedDevices(const QJsonObject& printed)
{
    QStringList devices;
    for (const QJsonValue& device : printed.value(QStringLiteral("devices")).toArray())
        devices << device.toString();
    devices.sort();
    return devices;
}

class HwmonMachines : public testing::TestWithParam<Machine> {
protected:
    void SetUp() override
    {
        if (!hwmon_fixture::refusal().isEmpty())
            GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    }
};

TEST_P(HwmonMachines, ReadingToolShowsTheSourceItsDevicesAndEveryReading)
{
    const Machine& m = GetParam();
    const ToolRun run = readMachine(hwmon_fixture::machineDirectory(QString::fromLatin1(m.fixture)), m.forcedSource);
    ASSERT_TRUE(run.printed.contains(QStringLiteral("status"))) << "gauge64-read printed no JSON";
    const int status = run.printed.value(QStringLiteral("status")).toInt();
    if (m.status == kPortStatus) {
        static const int portStatus =
            readMachine(hwmon_fixture::machineDirectory(QStringLiteral("acpitz-only")), "port").printed.value(QStringLiteral("status")).toInt(-1);
        EXPECT_EQ(status, portStatus);
        EXPECT_GE(status, 256) << "no port driver inside the namespace";
    } else {
        EXPECT_EQ(status, m.status);
    }
    EXPECT_EQ(run.printed.value(QStringLiteral("source")).toString(), QString::fromLatin1(m.source));
    if (QString::fromLatin1(m.source) == QStringLiteral("hwmon")) {
        EXPECT_EQ(sortedDevices(run.printed), m.devices);
        EXPECT_TRUE(run.trace.isEmpty()) << "port access with the hwmon source:\n" << run.trace.toStdString();
    } else {
        EXPECT_FALSE(run.trace.isEmpty()) << "the port path was not tried";
    }
    for (std::size_t i = 0; i < m.readings.size(); ++i)
        EXPECT_EQ(run.printed.value(QString::fromLatin1(kReadingNames[i])).toInt(-99999), m.readings[i])
            << kReadingNames[i];
}

std::string machineName(const testing::TestParamInfo<Machine>& info)
{
    std::string name = std::string(info.param.fixture) + (info.param.forcedSource ? std::string("_source_") + info.param.forcedSource : "");
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Captured, HwmonMachines, testing::ValuesIn(kMachines), machineName);

// An agent run by an ordinary user may meet a configuration file it cannot read; libsensors
// then refuses to start. The library starts it without the configuration rather than fall
// back to probing ports under a kernel driver: the devices stay, the readings that need the
// file's compute lines read 0.
class HwmonConfiguration : public testing::Test {
protected:
    void SetUp() override
    {
        if (!hwmon_fixture::refusal().isEmpty())
            GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    }
};

TEST_F(HwmonConfiguration, AnUnreadableFileIsLeftOutAndTheDevicesKept)
{
    QTemporaryDir machine;
    const QString fixture = hwmon_fixture::machineDirectory(QStringLiteral("nct6779-dividers"));
    ASSERT_TRUE(QDir(machine.path()).mkpath(QStringLiteral("etc/sensors.d")));
    ASSERT_TRUE(QFile::link(fixture + "/class", machine.filePath(QStringLiteral("class"))));
    ASSERT_TRUE(QFile::copy(fixture + "/etc/sensors3.conf", machine.filePath(QStringLiteral("etc/sensors3.conf"))));
    const QString unreadable = machine.filePath(QStringLiteral("etc/sensors.d/board.conf"));
    ASSERT_TRUE(QFile::copy(fixture + "/etc/sensors.d/board.conf", unreadable));
    // Owned by a user outside the namespace's map, even its root cannot read it.
    const QByteArray path = QFile::encodeName(unreadable);
    if (chown(path.constData(), 4242, 4242) != 0)
        GTEST_SKIP() << "giving a file to another user needs root: " << std::strerror(errno);
    ASSERT_EQ(chmod(path.constData(), 0600), 0);

    const ToolRun run = readMachine(machine.path(), nullptr);
    EXPECT_EQ(run.printed.value(QStringLiteral("status")).toInt(), 16);
    EXPECT_EQ(run.printed.value(QStringLiteral("source")).toString(), QStringLiteral("hwmon"));
    EXPECT_TRUE(run.trace.isEmpty());
    // The dividers and the distribution's labels are gone; the driver's defaults remain.
    const Readings expected = {1016, 3344, 0, 0, 0, 0, 1318, 892, 36, 42, 0, 0, 3216};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(run.printed.value(QString::fromLatin1(kReadingNames[i])).toInt(-99999), expected[i])
            << kReadingNames[i];
}

} // namespace
