// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Every board file of boards/ through the reading tool, as a user runs it: the status it
// prints must be the one the board is made for, and a found chip must give live readings.

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <map>

namespace {

const std::map<std::string, int> kBoardStatus = {
    {"no-driver.json", 1024},
    {"no-chip.json", 512},
    {"fintek-f81866.json", 16},
    {"fintek-f81865.json", 16},
    {"fintek-f71889.json", 16},
    {"fintek-f81966-without-device-11.json", 16},
    {"winbond-w83627dhg.json", 16},
    {"winbond-w83627uhg.json", 16},
    {"winbond-w83781d-295.json", 4},
    {"winbond-w83627hf-290.json", 16},
    {"winbond-w83627hf-290-hot.json", 16},
    {"winbond-w83627thf-295.json", 16},
    {"winbond-w83627thf-295-vrm9.json", 16},
    {"winbond-w83687thf-a30.json", 16},
    {"winbond-w83627ehf.json", 16},
    {"winbond-w83667hg-b.json", 16},
    {"chipid-c452.json", 16},
    {"chipid-d282.json", 16},
};

QJsonObject readBoard(const QString& boardPath)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("GAUGE64_BOARD", boardPath);
    environment.remove("GAUGE64_TRACE");
    tool.setProcessEnvironment(environment);
    tool.start(VRD_BIN_DIR "/gauge64-read", {"--json"});
    if (!tool.waitForFinished(20000))
        return {};
    return QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
}

TEST(ExampleBoards, ReadingToolPrintsTheStatusEachBoardIsMadeFor)
{
    const QDir boards(VRD_SOURCE_DIR "/boards");
    const QStringList files = boards.entryList({"*.json"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        const auto expected = kBoardStatus.find(file.toStdString());
        ASSERT_NE(expected, kBoardStatus.end()) << file.toStdString() << " has no expected status here";
        const QJsonObject printed = readBoard(boards.filePath(file));
        ASSERT_TRUE(printed.contains("status")) << file.toStdString();
        EXPECT_EQ(printed.value("status").toInt(), expected->second) << file.toStdString();
        if (expected->second < 256) {
            EXPECT_GT(printed.value("Vcore").toInt(), 0) << file.toStdString();
            EXPECT_GT(printed.value("Fan1").toInt(), 0) << file.toStdString();
        }
    }
}

// The demo's alarm needs one board above 70 degrees, and the client's rail removal one
// board without the negative rails.
TEST(ExampleBoards, OneRunsHotAndOneLacksTheNegativeRails)
{
    const QJsonObject hot = readBoard(VRD_SOURCE_DIR "/boards/winbond-w83627hf-290-hot.json");
    EXPECT_GT(hot.value("CpuTemp").toInt(), 70);
    const QJsonObject noNegativeRails = readBoard(VRD_SOURCE_DIR "/boards/winbond-w83627thf-295.json");
    EXPECT_EQ(noNegativeRails.value("status").toInt(), 16);
    EXPECT_EQ(noNegativeRails.value("N12V").toInt(), 0);
    EXPECT_EQ(noNegativeRails.value("N5V").toInt(), 0);
}

} // namespace
