// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's sensors: where the library is looked for, its binding and the reading source on the
// real library, the rails a board lacks, and what an agent without a sensor says it tried.

#include "gauge64.h"
#include "gauge_lookup.h"
#include "gauge_readings.h"
#include "sensor_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "agent_core_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

TEST(GaugeLookup, ProgramDirectoryThenInstalledLibraryDirectoryThenSearchPath)
{
    const std::vector<std::string> files = gaugeLibraryFiles("/opt/varden/bin");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], "/opt/varden/bin/libGauge64.so");
    EXPECT_EQ(files[1].rfind("/opt/varden/bin/", 0), 0u) << files[1]; // relative to the program
    EXPECT_NE(files[1], files[0]);
    EXPECT_EQ(files[1].substr(files[1].size() - 14), "/libGauge64.so");
    EXPECT_EQ(files[2], "libGauge64.so");
}

TEST(GaugeBindingTest, LoadsTheFirstCandidateThatExists)
{
    ensureApplication();
    GaugeBinding binding;
    EXPECT_FALSE(binding.bind({"/nonexistent/Gauge64"}));
    EXPECT_FALSE(binding.isBound());
    EXPECT_EQ(binding.api().DLLInitial, nullptr);

    ASSERT_TRUE(binding.bind({"/nonexistent/Gauge64", VRD_BIN_DIR "/Gauge64"})) << binding.fileName().toStdString();
    const GaugeApi& api = binding.api();
    for (GaugeFunction f : {api.DLLInitial, api.DLLRelease, api.Vcore, api.Vio, api.P5V, api.P12V, api.N5V, api.N12V,
                            api.Fan1, api.Fan2, api.SysTemp, api.CpuTemp, api.PVbat})
        EXPECT_NE(f, nullptr);

    qputenv("GAUGE64_BOARD", VRD_SOURCE_DIR "/boards/no-chip.json");
    const int32_t status = api.DLLInitial();
    EXPECT_EQ(status, 512);
    EXPECT_EQ(api.Vcore(), 0);
    EXPECT_EQ(api.DLLRelease(), 1);
    qunsetenv("GAUGE64_BOARD");

    binding.unbind();
    EXPECT_FALSE(binding.isBound());
    EXPECT_EQ(binding.api().Vcore, nullptr);
}

// The test program lies beside the library in the build tree: the lookup finds it there.
TEST(GaugeReadingsTest, ReadsABoardThroughTheLookupOnlyOnceStarted)
{
    ensureApplication();
    struct Case {
        const char* board;
        bool started;
        int status;
    };
    for (const Case& c : {Case{"fintek-f81866.json", true, GAUGE64_FOUND}, Case{"no-chip.json", false, 512}}) {
        SCOPED_TRACE(c.board);
        qputenv("GAUGE64_BOARD", QByteArray(VRD_SOURCE_DIR "/boards/") + c.board);
        GaugeReadings gauge;
        SensorSnapshot snapshot;
        gauge.read(snapshot); // not bound: nothing read, nothing called
        EXPECT_EQ(snapshot.Vcore, 0);
        ASSERT_TRUE(gauge.bind()) << gauge.loadError().toStdString();
        EXPECT_EQ(QDir(QFileInfo(gauge.triedFiles().value(0)).path()).canonicalPath(),
                  QDir(VRD_BIN_DIR).canonicalPath());
        EXPECT_EQ(gauge.start(), c.started);
        EXPECT_EQ(gauge.status(), c.status);
        EXPECT_TRUE(gauge.sourceLine().startsWith("simulated board: ")) << gauge.sourceLine().toStdString();
        gauge.read(snapshot);
        EXPECT_EQ(snapshot.Vcore != 0, c.started);
        gauge.release();
        EXPECT_FALSE(gauge.isLive());
        snapshot.Vcore = 0;
        gauge.read(snapshot); // released: no more calls into the library
        EXPECT_EQ(snapshot.Vcore, 0);
        gauge.unbind();
    }
    qunsetenv("GAUGE64_BOARD");
}

TEST(AbsentRails, BelowOneHundredMillivoltsTheSwitchGoes)
{
    struct Case {
        std::array<int16_t, 4> rails; // +5 V, +12 V, -5 V, -12 V
        std::vector<SensorType> removed;
    };
    const Case cases[] = {
        {{100, 12000, 5000, 12000}, {}},
        {{99, 12000, 0, -5}, {SensorP5V, SensorN5V, SensorN12V}},
        {{0, 0, 0, 0}, {SensorP5V, SensorP12V, SensorN5V, SensorN12V}},
    };
    for (const Case& c : cases) {
        SensorSnapshot snapshot;
        snapshot.CBN5V = snapshot.CBN12V = 1;
        snapshot.P5V = c.rails[0];
        snapshot.P12V = c.rails[1];
        snapshot.N5V = c.rails[2];
        snapshot.N12V = c.rails[3];
        snapshot.Vcore = 0; // never switched off this way
        EXPECT_EQ(removeAbsentRails(snapshot), c.removed);
        for (const SensorType rail : {SensorP5V, SensorP12V, SensorN5V, SensorN12V}) {
            const bool removed = std::find(c.removed.begin(), c.removed.end(), rail) != c.removed.end();
            EXPECT_EQ(snapshot.*sensorFields(rail)->enabled, removed ? 0 : 1) << rail;
        }
        EXPECT_EQ(snapshot.CBVcore, 1);
    }
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(SensorSearchTest, NamesTheHwmonDevicesAndThePortPathState)
{
    QTemporaryDir hwmon;
    for (const auto& [device, name] : {std::pair{"hwmon0", "nvme\n"}, std::pair{"hwmon1", "acpitz\n"}}) {
        ASSERT_TRUE(QDir(hwmon.path()).mkdir(device));
        ASSERT_TRUE(writeFile(hwmon.filePath(QString::fromLatin1(device) + "/name"), name));
    }
    const SensorSearch found = searchSensorPaths(hwmon.path().toStdString(), "/nonexistent/port");
    EXPECT_EQ(found.hwmonDevices, (std::vector<std::string>{"acpitz", "nvme"}));
    EXPECT_EQ(found.portState, "missing");

    const SensorSearch none = searchSensorPaths("/nonexistent/hwmon", hwmon.filePath("hwmon0/name").toStdString());
    EXPECT_TRUE(none.hwmonDevices.empty());
    EXPECT_EQ(none.portState, "opens");
}

TEST(SensorSearchTest, AdviceSaysWhatWasTriedAndWhatToDo)
{
    const std::string dropIn = "/usr/share/doc/varden/examples/port-access.conf";
    SensorSearch search{{"acpitz", "nvme"}, "/dev/port", "missing"};
    SensorAdvice advice = noSensorAdvice(search, GAUGE64_NO_DRIVER, "port: none", dropIn);
    EXPECT_EQ(advice.tried, (std::vector<std::string>{
                                "sensor library: status 1024, the port path could not be opened (port: none)",
                                "kernel hwmon devices: acpitz, nvme (none of them from a driver the library reads)",
                                "port path /dev/port: missing (it needs root and CAP_SYS_RAWIO)"}));
    ASSERT_EQ(advice.todo.size(), 2u);
    EXPECT_NE(advice.todo[0].find("sensors-detect"), std::string::npos);
    EXPECT_NE(advice.todo[1].find(dropIn), std::string::npos);

    // The port path opened and no chip answered: the drop-in would change nothing.
    search = {{}, "/dev/port", "opens"};
    advice = noSensorAdvice(search, GAUGE64_NO_CHIP, "", dropIn);
    EXPECT_EQ(advice.tried[0], "sensor library: status 512, no supported chip was found");
    EXPECT_EQ(advice.tried[1], "kernel hwmon devices: none");
    EXPECT_EQ(advice.tried[2], "port path /dev/port: opens, but no supported Super I/O chip answered");
    EXPECT_EQ(advice.todo.size(), 1u);
}

} // namespace
