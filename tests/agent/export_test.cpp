// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The metrics file: its text checked by the real promtool, and its replacement under a writer that
// is killed at random moments.

#include "prometheus_export.h"
#include "promtool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using vrdtest::PromtoolResult;
using vrdtest::promtoolCheck;

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

SensorSnapshot hotSnapshot()
{
    SensorSnapshot s;
    s.CpuTemp = 91;
    s.Vcore = 1234;
    s.N12V = 11950;
    s.Fan1 = 0;
    s.CBCPUFan = 1;
    return s;
}

SensorSnapshot extremeSnapshot()
{
    SensorSnapshot s;
    s.Vcore = -32768;
    s.Vio = 32767;
    s.CpuTemp = -40;
    s.SysTemp = 32767;
    s.Fan2 = -1;
    s.Vcore_Lo = -5;
    return s;
}

struct TextCase {
    const char* name;
    SensorSnapshot snapshot;
    PrometheusIdentity who;
    int libraryStatus;
};

void PrintTo(const TextCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrometheusTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(PrometheusTextTest, PassesPromtool)
{
    const TextCase& c = GetParam();
    const PromtoolResult result = promtoolCheck(prometheusText(c.snapshot, c.who, c.libraryStatus));
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_TRUE(result.output.trimmed().isEmpty()) << result.output.toStdString();
}

const QUuid kIdentity = QUuid::fromString(QStringLiteral("{3f2504e0-4f89-41d3-9a0c-0305e82c3301}"));

INSTANTIATE_TEST_SUITE_P(
    Snapshots, PrometheusTextTest,
    ::testing::Values(
        TextCase{"Defaults", SensorSnapshot{}, {kIdentity, "OFFICE\\alice", "Tower TW-2", "Windows 10 Pro"}, 16},
        TextCase{"Hot", hotSnapshot(), {kIdentity, "PLANT\\bob", "IPC-610", "Windows 11 Pro"}, 4},
        TextCase{"Extremes", extremeSnapshot(), {QUuid(), QString(), QString(), QString()}, 1024},
        TextCase{"HostileLabels", SensorSnapshot{},
                 {kIdentity, "a\"b\\c\nd}{=,", QString::fromUtf8("Büro \xe2\x80\x94 PC\r\t"), "\"\"\\\\\n\n"}, 512}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(PrometheusText, ShowsReadingsInBaseUnitsWithTheirLimits)
{
    const QByteArray text = prometheusText(hotSnapshot(), {kIdentity, "PLANT\\bob", "IPC-610", "Win"}, 16);
    const char* const expected[] = {
        "varden_sensor_celsius{sensor=\"cpu_temperature\"} 91\n",
        "varden_sensor_volts{sensor=\"vcore\"} 1.234\n",
        "varden_sensor_volts{sensor=\"minus_12v\"} 11.950\n",
        "varden_sensor_rpm{sensor=\"cpu_fan\"} 0\n",
        "varden_sensor_limit_celsius{sensor=\"cpu_temperature\",bound=\"high\"} 70\n",
        "varden_sensor_limit_volts{sensor=\"vcore\",bound=\"low\"} 0.500\n",
        "varden_sensor_limit_rpm{sensor=\"cpu_fan\",bound=\"low\"} 1000\n",
        "varden_sensor_in_error{sensor=\"cpu_temperature\"} 1\n",
        "varden_sensor_in_error{sensor=\"cpu_fan\"} 1\n",
        // Out of limits but switched off: no alarm on the agent, so none here.
        "varden_sensor_in_error{sensor=\"minus_12v\"} 0\n",
        "varden_sensor_enabled{sensor=\"system_fan\"} 0\n",
        "varden_library_status 16\n",
        "varden_agent_info{identity=\"{3f2504e0-4f89-41d3-9a0c-0305e82c3301}\",computer=\"PLANT\\\\bob\","
        "system_model=\"IPC-610\",os=\"Win\"} 1\n",
    };
    for (const char* line : expected)
        EXPECT_TRUE(text.contains(line)) << line;
}

TEST(PrometheusText, WritesVoltsExactly)
{
    const struct {
        int16_t millivolts;
        const char* volts;
    } cases[] = {{0, "0.000"}, {5, "0.005"}, {1000, "1.000"}, {-5, "-0.005"}, {-1234, "-1.234"},
                 {32767, "32.767"}, {-32768, "-32.768"}};
    for (const auto& c : cases) {
        SensorSnapshot s;
        s.Vio = c.millivolts;
        const QByteArray line = QByteArray("varden_sensor_volts{sensor=\"vio\"} ") + c.volts + '\n';
        EXPECT_TRUE(prometheusText(s, {}, 16).contains(line)) << c.millivolts;
    }
}

TEST(PrometheusFile, ReplacesTheFileAndLeavesNoPart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(writePrometheusFile(dir.path(), "first\n"));
    ASSERT_TRUE(writePrometheusFile(dir.path(), "second\n"));
    EXPECT_EQ(fileBytes(dir.filePath(kPrometheusFileName)), QByteArray("second\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{kPrometheusFileName});
}

TEST(PrometheusFile, MissingDirectoryFailsAndCreatesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(writePrometheusFile(dir.filePath("absent"), "text\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("absent")));
}

// Versions of the file large enough that one write takes a while, each ending in a line that
// names it, so a file cut anywhere is told from a whole one.
QByteArray fileVersion(int version)
{
    QByteArray text;
    const QByteArray line = "varden_padding{version=\"" + QByteArray::number(version) + "\"} 1\n";
    while (text.size() < 2 * 1024 * 1024)
        text += line;
    return text + "# end " + QByteArray::number(version) + '\n';
}

// A writer process is killed at a random moment of replacing the file, again and again: the
// file is afterwards always one whole version, never a part of one.
TEST(PrometheusFile, KilledWriterNeverLeavesAPartialFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray versions[] = {fileVersion(0), fileVersion(1)};
    ASSERT_TRUE(writePrometheusFile(dir.path(), versions[0]));
    std::mt19937 random(17);
    int partsSeen = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (int i = 0;; ++i)
                writePrometheusFile(dir.path(), versions[i % 2]);
        }
        usleep(useconds_t(std::uniform_int_distribution<int>(2000, 60000)(random)));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        const QByteArray seen = fileBytes(dir.filePath(kPrometheusFileName));
        EXPECT_TRUE(seen == versions[0] || seen == versions[1])
            << "round " << round << ": " << seen.size() << " bytes, ends " << seen.right(20).toStdString();
        partsSeen += QFileInfo::exists(dir.filePath(kPrometheusPartName)) ? 1 : 0;
    }
    // The kill must have landed in the middle of writes, or the test showed nothing.
    EXPECT_GT(partsSeen, 0);
}

// The alerting rules the deployment guide hands out must load.
TEST(PrometheusRules, TheDocumentedRuleFileLoads)
{
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    const QString rules = QStringLiteral(VRD_SOURCE_DIR "/docs/prometheus/varden-alerts.yml");
    promtool.start(vrdtest::promtoolProgram(), {QStringLiteral("check"), QStringLiteral("rules"), rules});
    ASSERT_TRUE(promtool.waitForFinished(30000));
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAll().toStdString();
}

} // namespace
