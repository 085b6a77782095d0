// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// WMI over COM as the agent asks it: a class, a property, a kind. The answers are checked against
// what the system says through other calls where it has one, and printed for the record (which
// classes and properties a Windows, or Wine, answers).

#include "wmi_query.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

struct Asked {
    const char* className;
    const char* property;
};

// Every property the inventory and the logging thread read.
const Asked kAsked[] = {
    {"Win32_OperatingSystem", "Caption"},        {"Win32_OperatingSystem", "BuildNumber"},
    {"Win32_OperatingSystem", "Version"},        {"Win32_Processor", "Name"},
    {"Win32_Processor", "Caption"},              {"Win32_Processor", "ProcessorId"},
    {"Win32_Processor", "NumberOfCores"},        {"Win32_Processor", "NumberOfLogicalProcessors"},
    {"Win32_Processor", "LoadPercentage"},       {"Win32_ComputerSystem", "Manufacturer"},
    {"Win32_ComputerSystem", "Model"},           {"Win32_ComputerSystem", "Version"},
    {"Win32_ComputerSystem", "IdentifyingNumber"}, {"Win32_ComputerSystem", "UserName"},
    {"Win32_ComputerSystem", "TotalPhysicalMemory"}, {"Win32_BaseBoard", "Manufacturer"},
    {"Win32_BaseBoard", "Product"},              {"Win32_BaseBoard", "Version"},
    {"Win32_BaseBoard", "SerialNumber"},
};

const char* const kUnset = "<unset>";

TEST(WindowsWmi, EveryInventoryPropertyIsAnsweredOrLeftAlone)
{
    for (const Asked& asked : kAsked) {
        std::string value = kUnset;
        const int result = WmiQuery(asked.className, asked.property, kWmiText, &value);
        EXPECT_TRUE(result == kWmiOk || result == kWmiFailed) << asked.className << "." << asked.property;
        std::printf("%-22s %-26s %s%s\n", asked.className, asked.property, result == kWmiOk ? "" : "(class failed) ",
                    value.c_str());
    }
}

TEST(WindowsWmi, OperatingSystemAndProcessorCountsAgreeWithTheSystem)
{
    std::string caption;
    ASSERT_EQ(WmiQuery("Win32_OperatingSystem", "Caption", kWmiText, &caption), kWmiOk);
    EXPECT_FALSE(caption.empty());

    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    int32_t logical = -1;
    ASSERT_EQ(WmiQuery("Win32_Processor", "NumberOfLogicalProcessors", kWmiInt32, &logical), kWmiOk);
    EXPECT_EQ(logical, int32_t(system.dwNumberOfProcessors));
    int16_t low16 = -1;
    ASSERT_EQ(WmiQuery("Win32_Processor", "NumberOfLogicalProcessors", kWmiInt16, &low16), kWmiOk);
    EXPECT_EQ(low16, int16_t(system.dwNumberOfProcessors));
}

// The 64-bit count of bytes comes as a decimal text, and as a 64-bit number when asked so.
TEST(WindowsWmi, MemorySizeReadsAsTextAndAsNumber)
{
    std::string text;
    int64_t bytes = -1;
    ASSERT_EQ(WmiQuery("Win32_ComputerSystem", "TotalPhysicalMemory", kWmiText, &text), kWmiOk);
    ASSERT_EQ(WmiQuery("Win32_ComputerSystem", "TotalPhysicalMemory", kWmiInt64, &bytes), kWmiOk);
    if (text.empty())
        GTEST_SKIP() << "this system does not answer TotalPhysicalMemory";
    EXPECT_EQ(std::to_string(bytes), text);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_GT(bytes, 0);
    EXPECT_LE(uint64_t(bytes), memory.ullTotalPhys * 2);
}

// Windows refuses an unknown class; Wine answers it with no instance. Either way nothing is stored.
TEST(WindowsWmi, UnknownNamesAndKindsAreTold)
{
    int32_t untouched = 7;
    const int unknownClass = WmiQuery("Win32_NoSuchClass", "Name", kWmiInt32, &untouched);
    EXPECT_TRUE(unknownClass == kWmiFailed || unknownClass == kWmiOk) << unknownClass;
    EXPECT_EQ(untouched, 7);
    std::string name = kUnset;
    EXPECT_EQ(WmiQuery("Win32_OperatingSystem", "NoSuchProperty", kWmiText, &name), kWmiOk);
    EXPECT_EQ(name, kUnset);
    EXPECT_EQ(WmiQuery("Win32_OperatingSystem", "Caption", 9, &name), kWmiBadKind);
    EXPECT_EQ(name, kUnset);
}

// The logging thread asks from a thread of its own that never initialised COM.
TEST(WindowsWmi, AnswersOnAThreadWithoutCom)
{
    int result = -2;
    std::string caption;
    std::thread([&] { result = WmiQuery("Win32_OperatingSystem", "Caption", kWmiText, &caption); }).join();
    EXPECT_EQ(result, kWmiOk);
    EXPECT_FALSE(caption.empty());
}

} // namespace
