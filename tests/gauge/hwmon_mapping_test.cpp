// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The hwmon source's pure parts: which channel supplies which reading, the unit conversion,
// and the libsensors fatal-error hook that must hand control back instead of ending us.

#include "hwmon/channel_mapping.h"
#include "hwmon/sensors_guard.h"
#include "hwmon/units.h"

#include <sensors/error.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace gauge;
using namespace gauge::hwmon;

Channel channel(const char* name, ChannelKind kind, const char* label = "", const char* driverLabel = "")
{
    Channel c;
    c.name = name;
    c.label = *label ? label : name;
    c.driverLabel = driverLabel;
    c.kind = kind;
    return c;
}

constexpr ChannelKind kVolt = ChannelKind::Voltage;
constexpr ChannelKind kFan = ChannelKind::Fan;
constexpr ChannelKind kTemp = ChannelKind::Temperature;

struct MappingCase {
    const char* what;
    std::vector<Device> devices;
    Reading reading;
    int device; // expected binding; -1: none
    int channel;
};

Device device(const char* hwmonName, std::vector<Channel> channels)
{
    return {std::string(hwmonName) + "-isa-0290", findDriver(hwmonName), std::move(channels)};
}

TEST(HwmonMapping, EachReadingGoesToTheChannelTheRulesName)
{
    const MappingCase cases[] = {
        {"a label takes the reading, case aside",
         {device("nct6779", {channel("in0", kVolt), channel("in1", kVolt, "+12v")})}, Reading::P12V, 0, 1},
        {"a label on a channel of another kind is no claim",
         {device("nct6779", {channel("temp3", kTemp, "+12V")})}, Reading::P12V, -1, -1},
        {"a channel a label gives to one reading is no other's default",
         {device("nct6779", {channel("in0", kVolt, "+5V"), channel("in3", kVolt)})}, Reading::Vcore, -1, -1},
        {"a renamed channel keeps its default by name",
         {device("nct6779", {channel("in0", kVolt, "CPU Core")})}, Reading::Vcore, 0, 0},
        {"a renamed channel keeps its default by the driver's label",
         {device("nct6779", {channel("temp1", kTemp, "Motherboard", "SYSTIN")})}, Reading::SysTemp, 0, 0},
        {"the second alternative when the first is absent",
         {device("nct6775", {channel("temp7", kTemp, "PECI Agent 0", "PECI Agent 0")})}, Reading::CpuTemp, 0, 0},
        {"the processor's own sensor before the board's default",
         {device("nct6779", {channel("temp2", kTemp, "CPUTIN", "CPUTIN")}),
          device("k10temp", {channel("temp1", kTemp, "Tctl", "Tctl"), channel("temp2", kTemp, "Tdie", "Tdie")})},
         Reading::CpuTemp, 1, 1},
        {"Tctl when the processor has no Tdie",
         {device("k10temp", {channel("temp1", kTemp, "Tctl", "Tctl"), channel("temp3", kTemp, "Tccd1", "Tccd1")})},
         Reading::CpuTemp, 0, 0},
        {"the user's label before the processor's own sensor",
         {device("coretemp", {channel("temp1", kTemp, "Package id 0", "Package id 0")}),
          device("w83627ehf", {channel("temp2", kTemp, "CPU Temp")})},
         Reading::CpuTemp, 1, 0},
        {"a processor sensor that is not the package supplies nothing",
         {device("coretemp", {channel("temp2", kTemp, "Core 0", "Core 0")})}, Reading::CpuTemp, -1, -1},
        {"a device of an unmapped driver has no defaults",
         {Device{"acpitz-acpi-0", nullptr, {channel("temp1", kTemp)}}}, Reading::SysTemp, -1, -1},
        {"nct6775: the processor fan is fan2",
         {device("nct6798", {channel("fan1", kFan), channel("fan2", kFan)})}, Reading::Fan1, 0, 1},
    };
    for (const MappingCase& c : cases) {
        const Binding binding = mapChannels(c.devices)[c.reading];
        EXPECT_EQ(binding.device, c.device) << c.what;
        EXPECT_EQ(binding.channel, c.channel) << c.what;
    }
}

TEST(HwmonMapping, LabelsNameTheirReadingsAndNothingElse)
{
    EXPECT_EQ(readingNamedBy("+3.3V"), Reading::Vio);
    EXPECT_EQ(readingNamedBy("vio"), Reading::Vio);
    EXPECT_EQ(readingNamedBy("sys fan"), Reading::Fan2);
    EXPECT_EQ(readingNamedBy("-5V"), Reading::N5V);
    EXPECT_EQ(readingNamedBy("+3.3V "), kReadingCount);
    EXPECT_EQ(readingNamedBy(""), kReadingCount);
    EXPECT_EQ(readingNamedBy("3VSB"), kReadingCount);
}

TEST(HwmonMapping, DriversAreFoundByEveryNameTheyRegister)
{
    for (const char* name : {"nct6106", "nct6799", "nct6687", "it8728", "it87", "f71882fg", "f81866a", "w83627dhg",
                             "w83627hf", "w83687thf", "w83781d", "as99127f", "w83795adg", "coretemp", "k10temp", "zenpower"})
        EXPECT_NE(findDriver(name), nullptr) << name;
    for (const char* name : {"acpitz", "nvme", "amdgpu", "nct", "it8", "", "coretemp "})
        EXPECT_EQ(findDriver(name), nullptr) << name;
}

struct UnitCase {
    Reading reading;
    double value;
    int32_t expected;
};

TEST(HwmonUnits, VoltsToMillivoltsAndRoundingToTheNearest)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const UnitCase cases[] = {
        {Reading::Vcore, 1.2, 1200},         // 1199.9999999999998 before rounding
        {Reading::Vcore, 0.0005, 1},         // a half goes away from zero
        {Reading::Vcore, 0.00049, 0},
        {Reading::P12V, 12.096, 12096},
        {Reading::N12V, -11.9952, 11995},    // the negative rails as magnitudes
        {Reading::N5V, -5.0005, 5001},
        {Reading::N5V, 5.1, 5100},           // a configuration that already made it positive
        {Reading::Fan1, 1234.5, 1235},
        {Reading::CpuTemp, 41.5, 42},
        {Reading::SysTemp, -0.5, -1},
        {Reading::SysTemp, -127.4, -127},
        {Reading::Vcore, nan, 0},
        {Reading::Vcore, infinity, 0},
        {Reading::N12V, -infinity, 0},
        {Reading::Fan2, 2147483647.0, 2147483647},
        {Reading::Fan2, 2147483648.0, 0},     // does not fit 32 bits
        {Reading::P12V, 3e6, 0},              // 3e9 mV
        {Reading::SysTemp, -2147483648.0, -2147483647 - 1},
    };
    for (const UnitCase& c : cases)
        EXPECT_EQ(readingFromSensorValue(c.reading, c.value), c.expected) << c.reading << " " << c.value;
}

TEST(HwmonGuard, LibsensorsFatalErrorComesBackAsAFailedCall)
{
    int reached = 0;
    const bool survived = guarded([&reached] {
        ++reached;
        sensors_fatal_error("sensors_test", "out of memory");
        ++reached; // the hook must not return into libsensors
    });
    EXPECT_FALSE(survived);
    EXPECT_EQ(reached, 1);
    EXPECT_TRUE(guarded([&reached] { ++reached; }));
    EXPECT_EQ(reached, 2);
}

TEST(HwmonGuard, NestedGuardsLandInTheInnermost)
{
    bool innerSurvived = true;
    const bool outerSurvived = guarded([&innerSurvived] {
        innerSurvived = guarded([] { sensors_fatal_error("sensors_test", "inner"); });
    });
    EXPECT_FALSE(innerSurvived);
    EXPECT_TRUE(outerSurvived);
}

} // namespace
