// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The simulated board follows the hardware's rules: it is the bench every chip test runs on.

#include "sim_board.h"
#include "watched_board.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using portio::SimBoard;

namespace {

SimBoard board(const std::string& json)
{
    std::string error;
    std::optional<SimBoard> parsed = SimBoard::fromJson(json, &error);
    EXPECT_TRUE(parsed) << error;
    return parsed ? std::move(*parsed) : SimBoard();
}

const char* kSuperIo = R"({"superio":[{"port":"0x2E","global":{"0x20":"0x10","0x21":"0x10"},
  "ldn":{"0x04":{"0x60":"0x02","0x61":"0x90"}}}]})";

uint8_t configRead(SimBoard& b, uint8_t reg)
{
    b.out(0x2E, reg);
    return b.in(0x2F);
}

TEST(SimSuperIo, ConfigurationModeNeedsTwoKeysInARow)
{
    SimBoard b = board(kSuperIo);
    EXPECT_EQ(configRead(b, 0x20), 0xFF); // not in configuration mode
    b.out(0x2E, 0x87);
    b.out(0x2E, 0x01);
    b.out(0x2E, 0x87);
    EXPECT_EQ(configRead(b, 0x20), 0xFF);
    b.out(0x2E, 0x87);
    b.out(0x2E, 0x87);
    EXPECT_EQ(configRead(b, 0x20), 0x10);
    EXPECT_EQ(b.in(0x2E), 0x20); // the address port reads back the index
    b.out(0x2E, 0xAA);
    EXPECT_EQ(b.in(0x2F), 0xFF);
}

TEST(SimSuperIo, LogicalDeviceRegistersFollowTheSelection)
{
    SimBoard b = board(kSuperIo);
    b.out(0x2E, 0x87);
    b.out(0x2E, 0x87);
    b.out(0x2E, 0x07);
    b.out(0x2F, 0x04);
    EXPECT_EQ(configRead(b, 0x60), 0x02);
    EXPECT_EQ(configRead(b, 0x61), 0x90);
    b.out(0x2E, 0x07);
    b.out(0x2F, 0x11);
    EXPECT_EQ(configRead(b, 0x30), 0xFF); // absent logical device
    EXPECT_EQ(configRead(b, 0x21), 0x10); // globals stay visible
}

TEST(SimMonitor, BusyReadsThenReady)
{
    SimBoard b = board(R"({"monitors":[{"port":"0x295","busy_reads":2}]})");
    b.out(0x295, 0xC5);
    EXPECT_EQ(b.in(0x295), 0x80 | 0x45);
    EXPECT_EQ(b.in(0x295), 0x80 | 0x45);
    EXPECT_EQ(b.in(0x295), 0x45);
}

struct BankCase {
    const char* banking;
    uint8_t reg;
    bool perBank;
};

TEST(SimMonitor, BankingDecidesWhichRegistersArePerBank)
{
    for (const BankCase& c : {BankCase{"none", 0x52, false}, BankCase{"partial", 0x52, true},
                              BankCase{"partial", 0x20, false}, BankCase{"full", 0x20, true}}) {
        SimBoard b = board(std::string(R"({"monitors":[{"port":"0x295","banking":")") + c.banking +
                           R"(","registers":{"0":{"0x4E":0}}}]})");
        b.out(0x295, c.reg);
        b.out(0x296, 0x11);
        b.out(0x295, 0x4E);
        b.out(0x296, 0x01);
        b.out(0x295, c.reg);
        EXPECT_EQ(b.in(0x296), c.perBank ? 0xFF : 0x11) << c.banking << " " << int(c.reg);
    }
}

TEST(SimMonitor, VendorRegisterShowsTheByteBitSevenSelects)
{
    SimBoard b = board(R"({"monitors":[{"port":"0x295","banking":"partial","vendor_id":"0x5CA3"}]})");
    b.out(0x295, 0x4E);
    b.out(0x296, 0x80);
    b.out(0x295, 0x4F);
    EXPECT_EQ(b.in(0x296), 0x5C);
    b.out(0x295, 0x4E);
    b.out(0x296, 0x00);
    b.out(0x295, 0x4F);
    EXPECT_EQ(b.in(0x296), 0xA3);
}

TEST(SimBoardFile, RejectsHostileInputWithOneReason)
{
    for (const char* json :
         {"", "[]", "{\"superio\":{}}", "{\"superio\":[{\"port\":\"0x1FFFF\"}]}",
          "{\"monitors\":[{\"port\":1,\"registers\":{\"9\":{}}}]}",
          "{\"monitors\":[{\"port\":1,\"registers\":{\"0\":{\"0x20\":256}}}]}",
          "{\"monitors\":[{\"port\":1.5}]}", "{\"memory\":[{\"address\":0,\"hex\":\"ABC\"}]}",
          "{\"memory\":[{\"address\":0,\"hex\":\"zz\"}]}", "{\"driver\":{\"wow64\":\"yes\"}}",
          "{\"memory\":[{\"address\":0.3e1822,\"hex\":\"00\"}]}" /* beyond a double */}) {
        std::string error;
        EXPECT_FALSE(SimBoard::fromJson(json, &error)) << json;
        EXPECT_FALSE(error.empty()) << json;
    }
}

// The error is one line even where the file's text it quotes holds line breaks.
TEST(SimBoardFile, ErrorQuotesControlCharactersEscaped)
{
    struct Case {
        const char* json;
        const char* quoted;
    };
    const Case cases[] = {
        {"{\"superio\":[{\"port\":\"0x2E\",\"global\":{\"0x2\\n1\":\"0x10\"}}]}", "\"0x2\\x0a1\""},
        {"{\"monitors\":[{\"port\":\"0x2\\r\\n95\"}]}", "\"0x2\\x0d\\x0a95\""},
        {"{\"monitors\":[{\"port\":\"\\u007f\\t2\"}]}", "\"\\x7f\\x092\""},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(SimBoard::fromJson(c.json, &error)) << c.json;
        EXPECT_EQ(error.find_first_of("\r\n\t\x7f"), std::string::npos) << error;
        EXPECT_NE(error.find(c.quoted), std::string::npos) << error;
    }
}

// Numbers beyond any 64-bit integer are judged as numbers, never converted first.
TEST(SimBoardFile, HugeNumbersAreOutOfRange)
{
    for (const char* json : {"{\"monitors\":[{\"port\":1e300}]}", "{\"monitors\":[{\"port\":-1e19}]}",
                             "{\"memory\":[{\"address\":9.3e18,\"hex\":\"00\"}]}"}) {
        std::string error;
        EXPECT_FALSE(SimBoard::fromJson(json, &error)) << json;
        EXPECT_NE(error.find("out of range"), std::string::npos) << json << ": " << error;
    }
}

TEST(SimBoardFile, ReloadKeepsTheSimulatorsOwnState)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("board.json").toStdString();
    const auto write = [&](int temperature) {
        std::ofstream(path, std::ios::trunc)
            << R"({"monitors":[{"port":"0x295","banking":"partial","registers":{"0":{"0x4E":0},"1":{"0x50":)"
            << temperature << "}}}]}";
    };
    write(40);
    portio::WatchedBoard watched(path);
    SimBoard* b = watched.board();
    ASSERT_TRUE(b);
    b->out(0x295, 0x4E);
    b->out(0x296, 0x01);
    b->out(0x295, 0x50);
    EXPECT_EQ(b->in(0x296), 40);

    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a distinct modification time
    write(75);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    b = watched.board();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->in(0x296), 75); // bank 1 and index 0x50 kept
}

} // namespace
