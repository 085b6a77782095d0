// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The installed agent run as varden-agent.service runs it: a clean environment made of the
// unit's Environment= line and what systemd adds (STATE_DIRECTORY, HOME), its state directory as
// working directory, no display. It must answer through the broker, keep its files in the state
// directory and end through its normal shutdown on SIGTERM. It reads a simulated board, and the
// kernel's hwmon devices of a captured machine (in a private namespace, as the hwmon tests do).

#include "hwmon_namespace.h"
#include "installed_tree.h"
#include "test_broker.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString kChannel = QStringLiteral("SVC");

// The unit's Environment= assignments, with %t (the runtime directory base) put in.
QStringList unitEnvironment(const QString& unitPath, const QString& runtimeBase)
{
    QFile unit(unitPath);
    if (!unit.open(QIODevice::ReadOnly))
        return {};
    QStringList assignments;
    const QRegularExpression line(QStringLiteral("^Environment=(.*)$"), QRegularExpression::MultilineOption);
    auto matches = line.globalMatch(QString::fromUtf8(unit.readAll()));
    while (matches.hasNext())
        assignments += matches.next().captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return assignments.replaceInStrings(QStringLiteral("%t"), runtimeBase);
}

// The sanitizer settings of a sanitizer build's test run, which the agent must keep.
QStringList sanitizerEnvironment()
{
    QStringList assignments;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name))
            assignments += QString::fromLatin1(name) + QLatin1Char('=') + qEnvironmentVariable(name);
    return assignments;
}

QByteArray vrdctl(const InstalledTree& tree, quint16 port, const QStringList& command)
{
    QProcess process;
    process.start(tree.file("bin", "vrdctl"),
                  QStringList{"--host", "127.0.0.1", "--port", QString::number(port), "--channel", kChannel, "--json"} +
                      command);
    process.waitForFinished(10000);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

struct Source {
    const char* name;
    const char* board;        // GAUGE64_BOARD, or
    const char* hwmonMachine; // a captured machine under tests/gauge/fixtures/hwmon
    const char* startLine;    // what the agent says of its source at start
};

void PrintTo(const Source& source, std::ostream* out)
{
    *out << source.name;
}

class InstalledServiceTest : public testing::TestWithParam<Source> {};

TEST_P(InstalledServiceTest, AnswersThroughTheBrokerAndStopsCleanlyOnSigterm)
{
    const Source& source = GetParam();
    if (source.hwmonMachine && !hwmon_fixture::refusal().isEmpty())
        GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    vrdtest::ensureCoreApplication();
    InstalledTree tree;
    ASSERT_TRUE(tree.install()) << tree.log().toStdString();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();

    QTemporaryDir machine;
    const QString state = machine.filePath("var/lib/varden");
    const QString runtimeBase = machine.filePath("run");
    ASSERT_TRUE(QDir().mkpath(state) && QDir().mkpath(runtimeBase + "/varden"));
    QFile::setPermissions(runtimeBase + "/varden", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile ini(state + "/VRD.INI");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[CLOUD]\nENABLE=1\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n")
                  .arg(broker.port())
                  .arg(kChannel)
                  .toUtf8());
    ini.close();

    const QStringList unitEnv = unitEnvironment(tree.file("units", "varden-agent.service"), runtimeBase);
    ASSERT_TRUE(unitEnv.contains(QStringLiteral("QT_QPA_PLATFORM=offscreen"))) << unitEnv.join(' ').toStdString();
    QProcess agent;
    const QStringList systemdAdds = {"PATH=/usr/bin:/bin", "HOME=" + state, "STATE_DIRECTORY=" + state};
    QStringList environment = unitEnv + systemdAdds + sanitizerEnvironment();
    if (source.board)
        environment += QStringLiteral("GAUGE64_BOARD=" VRD_SOURCE_DIR "/boards/") + source.board;
    agent.setEnvironment(environment);
    agent.setWorkingDirectory(state);
    agent.setProcessChannelMode(QProcess::MergedChannels);
    if (source.hwmonMachine)
        agent.start(hwmon_fixture::namespaceProgram(),
                    hwmon_fixture::namespaceArguments(hwmon_fixture::machineDirectory(source.hwmonMachine),
                                                      tree.file("bin", "VrdClient"), {}));
    else
        agent.start(tree.file("bin", "VrdClient"), QStringList());
    ASSERT_TRUE(agent.waitForStarted(5000));
    QByteArray output;

    QJsonArray agents;
    vrdtest::waitUntil(
        [&] {
            agents = QJsonDocument::fromJson(vrdctl(tree, broker.port(), {"list"})).array();
            return agents.size() == 1 || agent.state() == QProcess::NotRunning;
        },
        30000);
    output += agent.readAll();
    ASSERT_EQ(agents.size(), 1) << output.toStdString();
    EXPECT_TRUE(output.contains(source.startLine)) << output.toStdString();
    const QString identity = agents.at(0).toObject().value("uuid").toString();
    const QJsonArray sensors =
        QJsonDocument::fromJson(vrdctl(tree, broker.port(), {"sensors", identity})).object().value("sensors").toArray();
    EXPECT_FALSE(sensors.isEmpty());

    agent.terminate();
    ASSERT_TRUE(agent.waitForFinished(10000)) << "still running 10 s after SIGTERM";
    EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent.exitCode(), 0) << (output + agent.readAll()).toStdString();

    // Everything in the state directory: the settings saved at the end, the database.
    QFile saved(state + "/VRD.INI");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray settings = saved.readAll();
    EXPECT_TRUE(settings.contains("CBVcore=")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("ENABLE=1")) << settings.toStdString();
    EXPECT_TRUE(QFile::exists(state + "/sysinfo2.sqlite"));
}

INSTANTIATE_TEST_SUITE_P(Sources, InstalledServiceTest,
                         testing::Values(Source{"SimulatedBoard", "fintek-f81866.json", nullptr, "simulated board: "},
                                         Source{"HwmonMachine", nullptr, "w83627ehf-coretemp", "hwmon: "}),
                         [](const testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

} // namespace
