// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The installed agent run as varden-agent.service runs it: the program of its ExecStart= line, a
// clean environment made of the unit's Environment= line and what systemd adds (STATE_DIRECTORY,
// HOME), its state directory as working directory, no display. It must answer through the broker,
// keep its files in the state directory, log in the journal's style and end through its normal
// shutdown on SIGTERM; without a usable sensor it must end with the status the unit does not
// restart. It reads a simulated board, and the kernel's hwmon devices of a captured machine (in a
// private namespace, as the hwmon tests do).

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

// The unit's key `key` (the first line that sets it), empty when it has none.
QString unitKey(const QString& unitPath, const QString& key)
{
    QFile unit(unitPath);
    if (!unit.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key), QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(unit.readAll())).captured(1);
}

struct Source {
    const char* name;
    const char* board;        // GAUGE64_BOARD, or
    const char* hwmonMachine; // a captured machine under tests/gauge/fixtures/hwmon
    const char* startLine;    // what the agent says of its source at start, or of the search without one
};

void PrintTo(const Source& source, std::ostream* out)
{
    *out << source.name;
}

// The installed tree and a machine's directories, and the agent started as its unit starts it:
// the program of ExecStart (inside the DESTDIR), the unit's environment and what systemd adds, its
// state directory as working directory, no display.
class ServiceRun {
public:
    bool install(QString& log)
    {
        const bool installed = m_tree.install();
        log = m_tree.log();
        return installed && QDir().mkpath(state()) && QDir().mkpath(runtimeBase() + "/varden")
            && QFile::setPermissions(runtimeBase() + "/varden",
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    const InstalledTree& tree() const { return m_tree; }
    QString unitFile() const { return m_tree.file("units", "varden-agent.service"); }
    QString state() const { return m_machine.filePath("var/lib/varden"); }
    QString runtimeBase() const { return m_machine.filePath("run"); }

    bool writeSettings(const QByteArray& bytes) const
    {
        QFile ini(state() + "/VRD.INI");
        return ini.open(QIODevice::WriteOnly) && ini.write(bytes) == bytes.size();
    }

    bool start(const Source& source)
    {
        const QStringList unitEnv = unitEnvironment(unitFile(), runtimeBase());
        if (!unitEnv.contains("XDG_RUNTIME_DIR=" + runtimeBase() + "/varden"))
            return false;
        const QString program = m_tree.root() + unitKey(unitFile(), QStringLiteral("ExecStart"));
        const QStringList systemdAdds = {"PATH=/usr/bin:/bin", "HOME=" + state(), "STATE_DIRECTORY=" + state()};
        QStringList environment = unitEnv + systemdAdds + sanitizerEnvironment();
        if (source.board)
            environment += QStringLiteral("GAUGE64_BOARD=" VRD_SOURCE_DIR "/boards/") + source.board;
        m_agent.setEnvironment(environment);
        m_agent.setWorkingDirectory(state());
        m_agent.setProcessChannelMode(QProcess::MergedChannels);
        if (source.hwmonMachine)
            m_agent.start(hwmon_fixture::namespaceProgram(),
                          hwmon_fixture::namespaceArguments(hwmon_fixture::machineDirectory(source.hwmonMachine),
                                                            program, {}));
        else
            m_agent.start(program, QStringList());
        return m_agent.waitForStarted(5000);
    }

    QProcess& agent() { return m_agent; }

private:
    InstalledTree m_tree;
    QTemporaryDir m_machine;
    QProcess m_agent;
};

class InstalledServiceTest : public testing::TestWithParam<Source> {};

TEST_P(InstalledServiceTest, AnswersThroughTheBrokerAndStopsCleanlyOnSigterm)
{
    const Source& source = GetParam();
    if (source.hwmonMachine && !hwmon_fixture::refusal().isEmpty())
        GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    vrdtest::ensureCoreApplication();
    ServiceRun service;
    QString log;
    ASSERT_TRUE(service.install(log)) << log.toStdString();
    vrdtest::TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.output().toStdString();
    ASSERT_TRUE(service.writeSettings(QStringLiteral("[CLOUD]\nENABLE=1\nHOST=127.0.0.1\nPORT=%1\nBRANCH_TOKEN=%2\n")
                                          .arg(broker.port())
                                          .arg(kChannel)
                                          .toUtf8()));
    ASSERT_TRUE(service.start(source));
    QProcess& agent = service.agent();
    QByteArray output;

    QJsonArray agents;
    vrdtest::waitUntil(
        [&] {
            agents = QJsonDocument::fromJson(vrdctl(service.tree(), broker.port(), {"list"})).array();
            return agents.size() == 1 || agent.state() == QProcess::NotRunning;
        },
        30000);
    output += agent.readAll();
    ASSERT_EQ(agents.size(), 1) << output.toStdString();
    EXPECT_TRUE(output.contains(source.startLine)) << output.toStdString();
    const QString identity = agents.at(0).toObject().value("uuid").toString();
    const QJsonArray sensors = QJsonDocument::fromJson(vrdctl(service.tree(), broker.port(), {"sensors", identity}))
                                   .object()
                                   .value("sensors")
                                   .toArray();
    EXPECT_FALSE(sensors.isEmpty());

    agent.terminate();
    ASSERT_TRUE(agent.waitForFinished(10000)) << "still running 10 s after SIGTERM";
    EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
    output += agent.readAll();
    EXPECT_EQ(agent.exitCode(), 0) << output.toStdString();
    // One line per event, each with the priority the journal reads.
    for (const QByteArray& line : output.split('\n'))
        EXPECT_TRUE(line.isEmpty() || QRegularExpression("^<[0-7]>").match(QString::fromUtf8(line)).hasMatch())
            << line.toStdString();

    // Everything in the state directory: the settings saved at the end, the database.
    QFile saved(service.state() + "/VRD.INI");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray settings = saved.readAll();
    EXPECT_TRUE(settings.contains("CBVcore=")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("ENABLE=1")) << settings.toStdString();
    EXPECT_TRUE(QFile::exists(service.state() + "/sysinfo2.sqlite"));
}

INSTANTIATE_TEST_SUITE_P(Sources, InstalledServiceTest,
                         testing::Values(Source{"SimulatedBoard", "fintek-f81866.json", nullptr,
                                                "<6>started: simulated board: "},
                                         Source{"HwmonMachine", nullptr, "w83627ehf-coretemp", "<6>started: hwmon: "}),
                         [](const testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

// Without a usable sensor the service says what it tried and ends with the status that its unit
// does not restart.
class InstalledServiceWithoutSensorTest : public testing::TestWithParam<Source> {};

TEST_P(InstalledServiceWithoutSensorTest, EndsWithTheStatusTheUnitDoesNotRestart)
{
    const Source& source = GetParam();
    if (source.hwmonMachine && !hwmon_fixture::refusal().isEmpty())
        GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    vrdtest::ensureCoreApplication();
    ServiceRun service;
    QString log;
    ASSERT_TRUE(service.install(log)) << log.toStdString();
    const QString preventStatus = unitKey(service.unitFile(), QStringLiteral("RestartPreventExitStatus"));
    ASSERT_FALSE(preventStatus.isEmpty());
    ASSERT_TRUE(service.start(source));
    QProcess& agent = service.agent();
    ASSERT_TRUE(agent.waitForFinished(15000));
    const QByteArray output = agent.readAll();
    EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(QString::number(agent.exitCode()), preventStatus) << output.toStdString();
    EXPECT_TRUE(output.startsWith("<3>no usable sensor found\n")) << output.toStdString();
    EXPECT_TRUE(output.contains(source.startLine)) << output.toStdString();
    // Under the unit the port path is hidden (PrivateDevices=): the drop-in is what opens it.
    EXPECT_TRUE(output.contains("/examples/port-access.conf to /etc/systemd/system/varden-agent.service.d/"))
        << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Machines, InstalledServiceWithoutSensorTest,
    testing::Values(Source{"BoardWithoutChip", "no-chip.json", nullptr, "<6>tried: sensor library: status 512"},
                    Source{"HwmonWithoutBoardDriver", nullptr, "acpitz-only",
                           "<6>tried: kernel hwmon devices: acpitz"}),
    [](const testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

} // namespace
