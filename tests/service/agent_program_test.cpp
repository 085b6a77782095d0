// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrd-agent as a program: what it links, its options, its lines on standard error, how it ends on
// a signal, and what it says and does on a machine without a usable sensor.

#include "client_process_fixture.h"
#include "hwmon_namespace.h"
#include "qt_test_loop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kAgent = QStringLiteral(VRD_BIN_DIR "/vrd-agent");
const QString kBoards = QStringLiteral(VRD_SOURCE_DIR "/boards/");

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

struct AgentRun {
    AgentRun(QString work, QStringList args = {}, QString boardFile = {}, QString runtime = {})
        : workDir(std::move(work)), arguments(std::move(args)), board(std::move(boardFile)),
          runtimeDir(std::move(runtime))
    {
    }
    QString workDir;
    QStringList arguments;
    QString board;      // GAUGE64_BOARD; empty: none
    QString runtimeDir; // XDG_RUNTIME_DIR; empty: the working directory (a session of its own)
    QString program = kAgent;
};

Outcome runToEnd(const AgentRun& run)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", run.runtimeDir.isEmpty() ? run.workDir : run.runtimeDir);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("LD_LIBRARY_PATH");
    env.remove("GAUGE64_TRACE");
    env.remove("GAUGE64_SOURCE");
    if (run.board.isEmpty())
        env.remove("GAUGE64_BOARD");
    else
        env.insert("GAUGE64_BOARD", run.board);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(run.workDir);
    process.start(run.program, run.arguments);
    Outcome outcome;
    outcome.finished = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
    if (!outcome.finished)
        process.kill();
    process.waitForFinished();
    outcome.exitCode = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// Every line begins with a journal priority prefix.
void expectJournalLines(const QString& text)
{
    const QRegularExpression prefixed(QStringLiteral("^<[0-7]>\\S"));
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(prefixed.match(line).hasMatch()) << line.toStdString();
}

TEST(AgentProgram, LinksNeitherQtGuiNorQtWidgets)
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("--dynamic"), kAgent});
    ASSERT_TRUE(readelf.waitForFinished(10000));
    const QString dynamic = QString::fromUtf8(readelf.readAllStandardOutput());
    ASSERT_TRUE(dynamic.contains("libQt5Core.so.5")) << dynamic.toStdString(); // the section was read
    for (const char* library : {"libQt5Gui", "libQt5Widgets"})
        EXPECT_FALSE(dynamic.contains(QLatin1String(library))) << library;

    // Nor does any library it needs bring them in.
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {kAgent});
    ASSERT_TRUE(ldd.waitForFinished(10000));
    const QString closure = QString::fromUtf8(ldd.readAllStandardOutput());
    for (const char* library : {"libQt5Gui", "libQt5Widgets"})
        EXPECT_FALSE(closure.contains(QLatin1String(library))) << library;
}

TEST(AgentProgram, OptionsAnsweredWithoutStartingTheAgent)
{
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--help"}, 0, "--config <FILE>", ""},
        {{"-h"}, 0, "69 no usable sensor", ""},
        {{"--version"}, 0, "vrd-agent " VRD_VERSION "\n", ""},
        {{"--no-such-option"}, 64, "", "vrd-agent: Unknown option 'no-such-option'"},
        {{"extra"}, 64, "", "no arguments are taken"},
        {{"--config"}, 64, "", "Missing value after '--config'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QTemporaryDir work;
        const Outcome run = runToEnd(AgentRun(work.path(), c.arguments, kBoards + "fintek-f81866.json"));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String(c.out))) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.err))) << run.err.toStdString();
        EXPECT_TRUE(QDir(work.path()).isEmpty()) << "no settings, database or lock";
    }
}

struct NoSensorCase {
    const char* name;
    const char* board;        // GAUGE64_BOARD, or
    const char* hwmonMachine; // a captured machine in a private namespace
    const char* tried;        // a line the agent must say
};

void PrintTo(const NoSensorCase& c, std::ostream* out)
{
    *out << c.name;
}

class AgentWithoutSensor : public testing::TestWithParam<NoSensorCase> {};

TEST_P(AgentWithoutSensor, SaysWhatItTriedAndWhatToDoThenExits69)
{
    const NoSensorCase& c = GetParam();
    if (c.hwmonMachine && !hwmon_fixture::refusal().isEmpty())
        GTEST_SKIP() << hwmon_fixture::refusal().toStdString();
    QTemporaryDir work;
    AgentRun run(work.path());
    if (c.hwmonMachine) {
        run.program = hwmon_fixture::namespaceProgram();
        run.arguments = hwmon_fixture::namespaceArguments(hwmon_fixture::machineDirectory(c.hwmonMachine), kAgent, {});
    } else {
        run.board = kBoards + c.board;
    }
    const Outcome outcome = runToEnd(run);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 69) << outcome.err.toStdString();
    expectJournalLines(outcome.err);
    EXPECT_TRUE(outcome.err.startsWith("<3>no usable sensor found\n")) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(QLatin1String(c.tried))) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains("<6>tried: port path /dev/port: ")) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains("<5>to fix: run sensors-detect")) << outcome.err.toStdString();
    EXPECT_FALSE(outcome.err.contains("Varden Client Monitor")); // the tray program's message box is not this
    // The normal shutdown ran: the settings are saved.
    QFile settings(QDir(work.path()).filePath("VRD.INI"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().startsWith("[General]\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Machines, AgentWithoutSensor,
    testing::Values(
        NoSensorCase{"BoardWithoutChip", "no-chip.json", nullptr,
                     "<6>tried: sensor library: status 512, no supported chip was found (simulated board: "},
        NoSensorCase{"HwmonWithoutBoardDriver", nullptr, "acpitz-only",
                     "<6>tried: kernel hwmon devices: acpitz (none of them from a driver the library reads)"}),
    [](const testing::TestParamInfo<NoSensorCase>& info) { return std::string(info.param.name); });

// Every limit at its spin box's minimum in the tray program; here the settings are only read.
const QByteArray kSiteGeneral = "CBN5V=1\r\nVcore_Hi=2000\r\n";

TEST(AgentProgram, SignalsEndItThroughTheNormalShutdown)
{
    vrdtest::ensureCoreApplication();
    for (int signalNumber : {SIGTERM, SIGINT}) {
        for (const bool debug : {false, true}) {
            SCOPED_TRACE(std::to_string(signalNumber) + (debug ? " with DEBUG=1" : ""));
            clienttest::ClientOptions options;
            options.headless = true;
            options.enable = false;
            options.debug = debug;
            options.general = kSiteGeneral;
            clienttest::ClientUnderTest agent(options);
            ASSERT_TRUE(agent.start()) << agent.errors();
            const QString started = QString::fromStdString(agent.errors());
            EXPECT_TRUE(started.contains("<6>started: simulated board: ")) << agent.errors();
            EXPECT_TRUE(started.contains("broker link off")) << agent.errors();
            // The board lacks the -5 V rail: start-up switched it off; the shutdown writes it.
            QFile settings(agent.workFile("VRD.INI"));
            ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
            EXPECT_TRUE(settings.readAll().contains("CBN5V=1\r\n"));
            settings.close();

            EXPECT_TRUE(agent.stop(signalNumber)) << agent.errors(); // ended with status 0
            const QString errors = QString::fromStdString(agent.errors());
            expectJournalLines(errors);
            EXPECT_TRUE(errors.endsWith("<6>stopping\n") || errors.contains("<6>stopping\n")) << agent.errors();
            // The tray program's chatter only when asked for it.
            EXPECT_EQ(errors.contains("<7>TSQLThread::run"), debug) << agent.errors();
            EXPECT_FALSE(errors.contains("no notification area"));
            ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
            const QByteArray saved = settings.readAll();
            EXPECT_TRUE(saved.contains("CBN5V=0\r\n")) << saved.constData();
            EXPECT_TRUE(saved.contains("Vcore_Hi=2000\r\n")) << saved.constData();
        }
    }
}

TEST(AgentProgram, ConfigOptionNamesTheSettingsFile)
{
    QTemporaryDir work;
    QTemporaryDir elsewhere;
    const QString config = elsewhere.filePath("agent.ini");
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\r\nCPUTemp_Hi=55\r\n");
    file.close();
    const Outcome run = runToEnd(AgentRun(work.path(), {"--config", config}, kBoards + "no-chip.json"));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 69);
    EXPECT_FALSE(QFile::exists(QDir(work.path()).filePath("VRD.INI")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("CPUTemp_Hi=55\r\n")) << saved.constData();
    EXPECT_TRUE(saved.contains("CBVcore=1\r\n")) << saved.constData();
}

// The tray program and vrd-agent keep the same files: one of them per login session.
TEST(AgentProgram, OneAgentPerSessionWhicheverItIs)
{
    vrdtest::ensureCoreApplication();
    for (const bool firstHeadless : {false, true}) {
        SCOPED_TRACE(firstHeadless ? "vrd-agent first" : "VrdClient first");
        clienttest::ClientOptions options;
        options.headless = firstHeadless;
        options.enable = false;
        clienttest::ClientUnderTest first(options);
        ASSERT_TRUE(first.start()) << first.errors();
        QTemporaryDir secondWork;
        AgentRun second(secondWork.path(), {}, kBoards + "fintek-f81866.json", first.runtimeDirectory());
        second.program = firstHeadless ? QStringLiteral(VRD_BIN_DIR "/VrdClient") : kAgent;
        const Outcome refused = runToEnd(second);
        ASSERT_TRUE(refused.finished);
        EXPECT_EQ(refused.exitCode, firstHeadless ? 255 : 75) << refused.err.toStdString();
        EXPECT_FALSE(QFile::exists(QDir(secondWork.path()).filePath("VRD.INI")));
        EXPECT_TRUE(first.isRunning());
        EXPECT_TRUE(first.stop());
    }
}

} // namespace
