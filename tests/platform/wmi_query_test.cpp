// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "wmi_linux.h"
#include "wmi_query.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kFixtures = std::string(VRD_SOURCE_DIR) + "/tests/platform/fixtures/wmi/";

std::optional<std::pair<uint32_t, uint32_t>> skylakeSignature()
{
    return std::make_pair(0xBFEBFBFFu, 0x00050657u);
}

wmi::SystemSources fixture(const std::string& machine)
{
    wmi::SystemSources s;
    s.procRoot = kFixtures + machine + "/proc";
    s.dmiRoot = kFixtures + machine + "/dmi";
    s.osReleasePath = kFixtures + machine + "/os-release";
    s.cpuSignature = machine == "xeon-2s" ? wmi::CpuSignatureFn(skylakeSignature)
                                          : wmi::CpuSignatureFn([] { return std::nullopt; });
    return s;
}

std::string effectiveUser()
{
    const passwd* entry = getpwuid(geteuid());
    return entry ? entry->pw_name : std::to_string(geteuid());
}

struct TextCase {
    const char* machine;
    const char* className;
    const char* property;
    std::string expected; // "<unset>": the target keeps its previous value
};

const std::string kUnset = "<unset>";

class WmiText : public testing::TestWithParam<TextCase> {};

TEST_P(WmiText, AnswersFromCapturedFiles)
{
    const TextCase& c = GetParam();
    wmi::LinuxWmi system(fixture(c.machine));
    std::string value = kUnset;
    EXPECT_EQ(kWmiOk, system.query(c.className, c.property, kWmiText, &value));
    EXPECT_EQ(c.expected, value);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, WmiText,
    testing::Values(
        TextCase{"xeon-2s", "Win32_OperatingSystem", "Caption", "Ubuntu 22.04.3 LTS"},
        TextCase{"xeon-2s", "Win32_OperatingSystem", "Version", "5.15.0-91-generic"},
        TextCase{"xeon-2s", "Win32_OperatingSystem", "BuildNumber", "#101-Ubuntu SMP Tue Nov 14 13:30:08 UTC 2023"},
        TextCase{"xeon-2s", "Win32_Processor", "Name", "Intel(R) Xeon(R) Gold 5218 CPU @ 2.30GHz"},
        // Two packages: the second one's values win.
        TextCase{"xeon-2s", "Win32_Processor", "Caption", "x86_64 Family 6 Model 85 Stepping 7"},
        TextCase{"xeon-2s", "Win32_Processor", "ProcessorId", "BFEBFBFF00050657"},
        TextCase{"xeon-2s", "Win32_Processor", "NumberOfCores", "2"},
        TextCase{"xeon-2s", "Win32_Processor", "NumberOfLogicalProcessors", "4"},
        TextCase{"xeon-2s", "Win32_ComputerSystem", "Manufacturer", "Supermicro"},
        TextCase{"xeon-2s", "Win32_ComputerSystem", "Model", "SYS-7049GP-TRT"},
        TextCase{"xeon-2s", "Win32_ComputerSystem", "Version", "0123456789"},
        TextCase{"xeon-2s", "Win32_ComputerSystem", "UserName", "bench-07\\root"},
        TextCase{"xeon-2s", "Win32_ComputerSystem", "TotalPhysicalMemory", "67320811520"},
        // product_serial is root-only on real machines; unreadable stays unset.
        TextCase{"xeon-2s", "Win32_ComputerSystem", "IdentifyingNumber", kUnset},
        TextCase{"xeon-2s", "Win32_ComputerSystemProduct", "IdentifyingNumber", kUnset},
        TextCase{"xeon-2s", "Win32_BaseBoard", "Manufacturer", "Supermicro"},
        TextCase{"xeon-2s", "Win32_BaseBoard", "Product", "X11DPG-QT"},
        TextCase{"xeon-2s", "Win32_BaseBoard", "Version", "1.02"},
        TextCase{"xeon-2s", "Win32_BaseBoard", "SerialNumber", "VM19BS012345"},
        TextCase{"xeon-2s", "Win32_BaseBoard", "NoSuchProperty", kUnset},
        TextCase{"arm-vm", "Win32_OperatingSystem", "Caption", "Debian GNU/Linux 12 (bookworm) \"arm\""},
        TextCase{"arm-vm", "Win32_Processor", "Name", kUnset},
        TextCase{"arm-vm", "Win32_Processor", "Caption", "aarch64"},
        TextCase{"arm-vm", "Win32_Processor", "ProcessorId", kUnset},
        TextCase{"arm-vm", "Win32_Processor", "NumberOfCores", "2"},
        TextCase{"arm-vm", "Win32_Processor", "NumberOfLogicalProcessors", "2"},
        TextCase{"arm-vm", "Win32_ComputerSystem", "Manufacturer", kUnset},
        TextCase{"arm-vm", "Win32_ComputerSystem", "UserName", "arm-guest\\" + effectiveUser()},
        TextCase{"arm-vm", "Win32_ComputerSystem", "TotalPhysicalMemory", "4125319168"},
        TextCase{"arm-vm", "Win32_BaseBoard", "SerialNumber", kUnset}),
    [](const testing::TestParamInfo<TextCase>& info) {
        std::string name = std::string(info.param.machine) + "_" + info.param.className + "_" + info.param.property;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(WmiQuery, IntegerKindsTakeTheLowBitsOfTheValue)
{
    wmi::LinuxWmi system(fixture("xeon-2s"));
    int16_t small = -1;
    int32_t medium = -1;
    int64_t large = -1;
    EXPECT_EQ(kWmiOk, system.query("Win32_ComputerSystem", "TotalPhysicalMemory", kWmiInt16, &small));
    EXPECT_EQ(kWmiOk, system.query("Win32_ComputerSystem", "TotalPhysicalMemory", kWmiInt32b, &medium));
    EXPECT_EQ(kWmiOk, system.query("Win32_ComputerSystem", "TotalPhysicalMemory", kWmiInt64, &large));
    EXPECT_EQ(int16_t(67320811520LL & 0xFFFF), small);
    EXPECT_EQ(int32_t(67320811520LL & 0xFFFFFFFF), medium);
    EXPECT_EQ(67320811520LL, large);

    int32_t cores = 0;
    EXPECT_EQ(kWmiOk, system.query("Win32_Processor", "NumberOfLogicalProcessors", kWmiInt32, &cores));
    EXPECT_EQ(4, cores);
}

TEST(WmiQuery, TextIsNotStoredIntoAnInteger)
{
    wmi::LinuxWmi system(fixture("xeon-2s"));
    int32_t value = 77;
    EXPECT_EQ(kWmiOk, system.query("Win32_BaseBoard", "Product", kWmiInt32, &value));
    EXPECT_EQ(77, value);
}

TEST(WmiQuery, ResultCodes)
{
    wmi::LinuxWmi system(fixture("xeon-2s"));
    std::string text = "kept";
    EXPECT_EQ(kWmiFailed, system.query("Win32_NoSuchClass", "Name", kWmiText, &text));
    EXPECT_EQ(kWmiBadKind, system.query("Win32_BaseBoard", "Product", 7, &text));
    EXPECT_EQ(kWmiBadKind, system.query("Win32_BaseBoard", "Product", -1, &text));
    // Nothing was read, so a bad kind is no error here.
    EXPECT_EQ(kWmiOk, system.query("Win32_BaseBoard", "NoSuchProperty", 7, &text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(kWmiFailed, system.query("Win32_BaseBoard", "Product", kWmiText, nullptr));
}

class WmiLoad : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("wmi_load_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::copy(kFixtures + "xeon-2s/proc", root, fs::copy_options::recursive);
    }
    void TearDown() override { fs::remove_all(root); }
    void writeStat(const char* cpuLine)
    {
        std::ofstream(root / "stat") << cpuLine << "\nintr 1\n";
    }
    int sample(wmi::LinuxWmi& system)
    {
        int16_t load = -1;
        EXPECT_EQ(kWmiOk, system.query("Win32_Processor", "LoadPercentage", kWmiInt16, &load));
        return load;
    }
    fs::path root;
};

TEST_F(WmiLoad, FirstSampleSinceBootThenEachInterval)
{
    wmi::SystemSources sources = fixture("xeon-2s");
    sources.procRoot = root.string();
    wmi::LinuxWmi system(sources);

    EXPECT_EQ(15, sample(system)); // fixture: 1500 of 10000 ticks busy since boot
    writeStat("cpu  1900 0 600 8050 550 0 0 0 0 0");
    EXPECT_EQ(91, sample(system)); // 1000 ticks later, 100 of them idle or waiting
    // No tick between two samples: the last value is repeated.
    EXPECT_EQ(91, sample(system));
    writeStat("cpu  1900 0 600 9050 550 0 0 0 0 0");
    EXPECT_EQ(0, sample(system));
}

TEST_F(WmiLoad, OtherProcessorPropertiesDoNotMoveTheInterval)
{
    wmi::SystemSources sources = fixture("xeon-2s");
    sources.procRoot = root.string();
    wmi::LinuxWmi system(sources);

    std::string name;
    system.query("Win32_Processor", "Name", kWmiText, &name);
    EXPECT_EQ(15, sample(system));
}

TEST(WmiQuery, MissingStatLeavesTheLoadUnset)
{
    wmi::SystemSources sources = fixture("xeon-2s");
    sources.procRoot = kFixtures + "arm-vm/no-such-dir";
    wmi::LinuxWmi system(sources);
    int16_t load = 42;
    EXPECT_EQ(kWmiOk, system.query("Win32_Processor", "LoadPercentage", kWmiInt16, &load));
    EXPECT_EQ(42, load);
}

TEST(WmiQuery, ThisMachineAnswersTheInventoryClasses)
{
    std::string caption, version, name;
    EXPECT_EQ(kWmiOk, WmiQuery("Win32_OperatingSystem", "Caption", kWmiText, &caption));
    EXPECT_EQ(kWmiOk, WmiQuery("Win32_OperatingSystem", "Version", kWmiText, &version));
    int32_t logical = 0;
    EXPECT_EQ(kWmiOk, WmiQuery("Win32_Processor", "NumberOfLogicalProcessors", kWmiInt32, &logical));
    EXPECT_FALSE(caption.empty());
    EXPECT_FALSE(version.empty());
    EXPECT_GE(logical, 1);
}

} // namespace
