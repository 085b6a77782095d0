// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// gauge64-read as a person reads it on a machine where the library finds no sensor: what it
// looked for and what to try, no table of zeros; and its usage on request.

#include "hwmon_namespace.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome runTool(const QString& program, const QStringList& arguments, const char* forcedSource = nullptr)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GAUGE64_BOARD"));
    environment.remove(QStringLiteral("GAUGE64_TRACE"));
    if (forcedSource)
        environment.insert(QStringLiteral("GAUGE64_SOURCE"), QString::fromLatin1(forcedSource));
    else
        environment.remove(QStringLiteral("GAUGE64_SOURCE"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    Outcome outcome;
    if (!tool.waitForFinished(20000) || tool.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = tool.exitCode();
    outcome.out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(tool.readAllStandardError());
    return outcome;
}

struct NoSensor {
    const char* name;
    const char* machine; // a captured machine; null: one whose /sys/class/hwmon is empty
    const char* forcedSource;
    QStringList said;
};

const QStringList kWhatToTry = {"Try:", "sudo sensors-detect", "modprobe", "port-access.conf"};

const NoSensor kNoSensor[] = {
    {"NoHwmonDevice", nullptr, nullptr,
     QStringList{"no sensor found", "/sys/class/hwmon holds no device", "/dev/port could not be opened",
                 "needs root"} + kWhatToTry},
    {"NoKnownDriver", "acpitz-only", nullptr,
     QStringList{"no sensor found", "/sys/class/hwmon holds acpitz: none of them from a driver the library reads",
                 "/dev/port could not be opened", "needs root"} + kWhatToTry},
    {"HwmonForced", "acpitz-only", "hwmon",
     QStringList{"status 512: no sensor found", "holds acpitz", "port   not tried (GAUGE64_SOURCE=hwmon)"} + kWhatToTry},
};

class ReadingToolWithoutSensor : public testing::TestWithParam<NoSensor> {
protected:
    void SetUp() override
    {
        if (!hwmon_fixture::refusal().isEmpty())
            GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    }
};

TEST_P(ReadingToolWithoutSensor, SaysWhatItLookedForAndWhatToTry)
{
    const NoSensor& c = GetParam();
    QTemporaryDir empty;
    QString machine;
    if (c.machine) {
        machine = hwmon_fixture::machineDirectory(QString::fromLatin1(c.machine));
    } else {
        machine = empty.path();
        ASSERT_TRUE(QDir(machine).mkpath(QStringLiteral("class/hwmon")));
        ASSERT_TRUE(QDir(machine).mkpath(QStringLiteral("etc")));
        ASSERT_TRUE(QFile::copy(hwmon_fixture::machineDirectory(QStringLiteral("acpitz-only")) + "/etc/sensors3.conf",
                                machine + QStringLiteral("/etc/sensors3.conf")));
    }
    const Outcome run = runTool(hwmon_fixture::namespaceProgram(),
                                hwmon_fixture::namespaceArguments(machine, QStringLiteral(VRD_BIN_DIR "/gauge64-read"), {}),
                                c.forcedSource);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    for (const QString& part : c.said)
        EXPECT_TRUE(run.out.contains(part)) << part.toStdString() << "\nnot in:\n" << run.out.toStdString();
    // No readings: a table of zeros would read as a machine with dead fans and rails.
    EXPECT_FALSE(run.out.contains(QLatin1String("Vcore"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QLatin1String(" RPM"))) << run.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Machines, ReadingToolWithoutSensor, testing::ValuesIn(kNoSensor),
                         [](const testing::TestParamInfo<NoSensor>& info) { return std::string(info.param.name); });

TEST(ReadingToolUsage, HelpGoesToStandardOutputAndAWrongOptionToStandardError)
{
    const Outcome help = runTool(QStringLiteral(VRD_BIN_DIR "/gauge64-read"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QLatin1String("usage: gauge64-read"))) << help.out.toStdString();
    EXPECT_EQ(help.err, QString());

    const Outcome wrong = runTool(QStringLiteral(VRD_BIN_DIR "/gauge64-read"), {"--colour"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, QString());
    EXPECT_TRUE(wrong.err.startsWith(QLatin1String("usage: gauge64-read"))) << wrong.err.toStdString();
}

} // namespace
