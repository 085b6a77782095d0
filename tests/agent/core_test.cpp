// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent without a window, on a scripted board: what start-up leaves, the tick's signals in
// their order, the settings written by the tick after a change, the start failures and the
// shutdown.

#include "agent.h"
#include "scripted_board.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class AgentCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "agent_core_tests";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv); // lives until the process ends
        }
        ASSERT_TRUE(dir.isValid());
        ScriptedBoard::reset();
    }

    AgentSetup setup() const
    {
        AgentSetup s;
        s.settingsPath = dir.filePath(QStringLiteral("VRD.INI"));
        s.dataDirectory = dir.path();
        s.readers = ScriptedBoard::api();
        s.debugSink = [this](const std::string& line) { debugLines.push_back(line); };
        return s;
    }

    QByteArray settingsFile() const
    {
        QFile file(dir.filePath(QStringLiteral("VRD.INI")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    mutable std::vector<std::string> debugLines;
};

TEST_F(AgentCoreTest, StartLeavesAnAgentThatReadsLogsAndKeepsItsIdentity)
{
    ScriptedBoard::values[N5V] = 0;
    QUuid identity;
    {
        Agent agent(setup());
        ASSERT_EQ(agent.start(), Agent::Start::Started);
        EXPECT_EQ(agent.snapshot().Vcore, 1200);
        EXPECT_EQ(agent.removedRails(), std::vector<SensorType>{SensorN5V});
        EXPECT_TRUE(agent.loggingThreadRunning());
        EXPECT_EQ(agent.links(), nullptr); // [CLOUD] ENABLE is off by default
        EXPECT_EQ(agent.libraryStatus(), 16);
        identity = agent.hostIdentity();
        EXPECT_FALSE(identity.isNull());
        EXPECT_FALSE(agent.inventory().osCaption.isEmpty());
    }
    EXPECT_EQ(ScriptedBoard::releaseCalls, 1);
    EXPECT_TRUE(settingsFile().contains("CBN5V=0\r\n")); // the shutdown saved what start-up switched off

    Agent again(setup());
    ASSERT_EQ(again.start(), Agent::Start::Started);
    EXPECT_EQ(again.hostIdentity(), identity);
}

TEST_F(AgentCoreTest, TickSignalsInOrderOneEpisodePerFault)
{
    Agent agent(setup());
    ASSERT_EQ(agent.start(), Agent::Start::Started);
    std::vector<std::string> seen;
    QObject::connect(&agent, &Agent::readingsTaken,
                     [&] { seen.push_back("read " + std::to_string(agent.snapshot().CpuTemp)); });
    QObject::connect(&agent, &Agent::alarmJudged, [&](bool fault) { seen.push_back(fault ? "fault" : "healthy"); });
    QObject::connect(&agent, &Agent::faultEpisodeBegan, [&] { seen.push_back("began"); });
    QObject::connect(&agent, &Agent::faultEpisodeEnded, [&] { seen.push_back("ended"); });
    for (int temperature : {45, 71, 90, 45}) {
        ScriptedBoard::values[CpuTemp] = temperature;
        agent.tick();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"read 45", "healthy", "read 71", "fault", "began", "read 90", "fault",
                                              "read 45", "healthy", "ended"}));
    EXPECT_EQ(agent.alarm().episodes(), 1);
}

TEST_F(AgentCoreTest, ChangedSettingsAreWrittenByTheNextTickOnce)
{
    Agent agent(setup());
    ASSERT_EQ(agent.start(), Agent::Start::Started);
    agent.tick();
    agent.setLimit(&SensorSnapshot::CPUTemp_Hi, 80);
    agent.setSwitch(&SensorSnapshot::CBCPUFan, true);
    EXPECT_TRUE(agent.settingsChanged());
    EXPECT_FALSE(settingsFile().contains("CPUTemp_Hi=80"));
    agent.tick();
    EXPECT_FALSE(agent.settingsChanged());
    EXPECT_TRUE(settingsFile().contains("CPUTemp_Hi=80\r\n"));
    EXPECT_TRUE(settingsFile().contains("CBCPUFan=1\r\n"));
    QFile::remove(dir.filePath(QStringLiteral("VRD.INI")));
    agent.tick();
    EXPECT_TRUE(settingsFile().isEmpty()); // nothing changed since
}

TEST_F(AgentCoreTest, FailedStartsSkipTheRestAndReleaseOnce)
{
    struct Case {
        int32_t status;
        Agent::Start result;
        const char* debugText;
    };
    for (const Case& c : {Case{512, Agent::Start::SensorNotDetected, "Can not detect the sensor"},
                          Case{1024, Agent::Start::SensorNotDetected, "Can not detect the sensor"}}) {
        SCOPED_TRACE(c.status);
        ScriptedBoard::reset();
        ScriptedBoard::status = c.status;
        debugLines.clear();
        {
            Agent agent(setup());
            ASSERT_EQ(agent.start(), c.result);
            EXPECT_EQ(agent.libraryStatus(), c.status);
            EXPECT_FALSE(agent.loggingThreadRunning());
            EXPECT_EQ(ScriptedBoard::readCalls, 0);
            agent.tick(); // the tick reads nothing from a library that did not start
            EXPECT_EQ(ScriptedBoard::readCalls, 0);
            agent.noteStartFailure(c.result);
            EXPECT_EQ(ScriptedBoard::releaseCalls, 1);
        }
        EXPECT_EQ(ScriptedBoard::releaseCalls, 1);
        ASSERT_FALSE(debugLines.empty());
        EXPECT_NE(debugLines.back().find(c.debugText), std::string::npos) << debugLines.back();
        EXPECT_FALSE(settingsFile().isEmpty()); // the shutdown saves the settings after a failure too
    }
}

} // namespace
