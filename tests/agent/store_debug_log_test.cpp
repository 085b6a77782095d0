// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "debug_log.h"
#include "store_test_support.h"

#include <QDateTime>
#include <QFileInfo>

using storetest::query;
using storetest::Row;

namespace {

class DebugLogTest : public storetest::TempFiles {
protected:
    DebugLog::Sink collect()
    {
        return [this](const std::string& line) { lines.push_back(line); };
    }
    std::string path() const { return file(DebugLog::kFileName).toStdString(); }
    std::vector<Row> rows() const
    {
        return query(file(DebugLog::kFileName),
                     "SELECT TYPE_ID, FILENAME, LINE, HINT FROM DBGMSG_TBL ORDER BY rowid;");
    }

    std::vector<std::string> lines;
};

TEST_F(DebugLogTest, InactiveLogOnlyWritesTheDebuggerLine)
{
    {
        DebugLog log(collect());
        EXPECT_FALSE(log.isActive());
        log.Write("Mainform::Mainform", 228, DebugLog::Info, "deleting old data");
    }
    EXPECT_EQ(std::vector<std::string>{"[Mainform::Mainform,line_228] +---> deleting old data\r\n"}, lines);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(DebugLogTest, DebuggerLineGoesToStandardError)
{
    testing::internal::CaptureStderr();
    DebugLog::forSwitch(false)->Write("Mainform::Mainform", 7, DebugLog::Failure, "Can not detect the sensor");
    EXPECT_EQ("[Mainform::Mainform,line_7] +---> Can not detect the sensor\r\n",
              testing::internal::GetCapturedStderr());
}

TEST_F(DebugLogTest, ActiveLogKeepsStartingMessagesAndEnding)
{
    {
        DebugLog log(path(), collect());
        ASSERT_TRUE(log.isActive());
        log.Write("Mainform::Mainform", 228, DebugLog::Info, "deleting old data");
        log.Write("Mainform::Mainform", 301, DebugLog::Failure, "illegal host uuid. createing the new one");
    }
    EXPECT_EQ("CREATE TABLE DBGMSG_TBL(DATE_TIME DATETIME,TYPE_ID INT,FILENAME TEXT, LINE INT, HINT TEXT)",
              storetest::scalar(file(DebugLog::kFileName), "SELECT sql FROM sqlite_master WHERE name = 'DBGMSG_TBL';"));
    const std::vector<Row> expected = {
        {"0", "<null>", "<null>", "Starting"},
        {"1", "Mainform::Mainform", "228", "deleting old data"},
        {"2", "Mainform::Mainform", "301", "illegal host uuid. createing the new one"},
        {"3", "<null>", "<null>", "Ending"},
    };
    EXPECT_EQ(expected, rows());
    EXPECT_EQ(2u, lines.size());

    // Local time, zero-padded, as SQLite's DATETIME gives it.
    for (const Row& row : query(file(DebugLog::kFileName), "SELECT DATE_TIME FROM DBGMSG_TBL;"))
        EXPECT_TRUE(QDateTime::fromString(QString::fromStdString(row[0]), "yyyy-MM-dd HH:mm:ss").isValid()) << row[0];
}

TEST_F(DebugLogTest, SecondRunAppendsToTheSameFile)
{
    { DebugLog(path(), collect()).Write("Mainform::Mainform", 1, DebugLog::Info, "first run"); }
    { DebugLog log(path(), collect()); }
    const std::vector<Row> all = rows();
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ("first run", all[1][3]);
    EXPECT_EQ((Row{"0", "<null>", "<null>", "Starting"}), all[3]);
    EXPECT_EQ("Ending", all[4][3]);
}

TEST_F(DebugLogTest, TextIsStoredVerbatimWhateverItHolds)
{
    const std::string update = "UPDATE DMI_TBL SET SYS_USER = \"BENCH-07\\o'brien\" WHERE ID = 1;";
    const std::string longText(5000, 'x');
    {
        DebugLog log(path(), collect());
        log.Write("Mainform::DMIChecker", 90, DebugLog::Info, update);
        log.Write("Mainform::DMIChecker", 91, DebugLog::Info, longText);
        log.Write("", 92, DebugLog::Info, "");
    }
    const std::vector<Row> all = rows();
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ(update, all[1][3]);
    EXPECT_EQ(longText, all[2][3]);
    EXPECT_EQ((Row{"1", "", "92", ""}), all[3]);
    EXPECT_EQ("[Mainform::DMIChecker,line_90] +---> " + update + "\r\n", lines[0]);
    EXPECT_EQ("[Mainform::DMIChecker,line_91] +---> " + longText + "\r\n", lines[1]);
}

TEST_F(DebugLogTest, UnusableFileLeavesTheLogInactive)
{
    const std::string missingDir = file("no-such-dir").toStdString() + "/" + DebugLog::kFileName;
    DebugLog log(missingDir, collect());
    EXPECT_FALSE(log.isActive());
    log.Write("Mainform::Mainform", 5, DebugLog::Info, "still reported");
    EXPECT_EQ(1u, lines.size());

    // An existing file that is no database of this log: opened, but its first row fails.
    {
        sqlite3* other = nullptr;
        sqlite3_open(file("other.sqlite").toUtf8().constData(), &other);
        sqlite3_exec(other, "CREATE TABLE T(A INT);", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    DebugLog foreign(file("other.sqlite").toStdString(), collect());
    EXPECT_FALSE(foreign.isActive());
}

TEST_F(DebugLogTest, SwitchChoosesTheForm)
{
    EXPECT_FALSE(DebugLog::forSwitch(false, dir.path().toStdString())->isActive());
    EXPECT_FALSE(QFileInfo::exists(file(DebugLog::kFileName)));
    EXPECT_TRUE(DebugLog::forSwitch(true, dir.path().toStdString())->isActive());
    EXPECT_TRUE(QFileInfo::exists(file(DebugLog::kFileName)));
}

} // namespace
