// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The driver situations, the byte helpers and their waits, through the library code and a
// simulated board.

#include "board_fixture.h"
#include "driver.h"
#include "gauge64.h"
#include "os_api.h"
#include "requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>

namespace {

// Monitors at ports no chip probe visits, so the probes leave them untouched.
const char* kMonitorBoard = R"({
  "monitors": [ { "port": "0x3A5", "banking": "partial", "busy_reads": 0,
                  "registers": { "0": { "0x4E": 0, "0x52": "0x11" }, "1": { "0x52": "0x22" } } },
                { "port": "0x3C5", "busy_reads": -1 } ] })";

using Lines = std::vector<std::string>;

// The trace without the probes' port traffic: device, service manager and beep.
Lines driverLines(const BoardFixture& board)
{
    Lines lines;
    for (const std::string& line : board.trace())
        if (line.rfind("in ", 0) != 0 && line.rfind("out ", 0) != 0 && line.rfind("indexed ", 0) != 0 &&
            line.rfind("sleep ", 0) != 0)
            lines.push_back(line);
    return lines;
}

struct DriverCase {
    const char* name;
    const char* driver;
    int32_t status;
    Lines openTrace;  // every trace line of DLLInitial
    Lines closeTrace; // every trace line of DLLRelease
};

void PrintTo(const DriverCase& c, std::ostream* out)
{
    *out << c.name;
}

class DriverSituation : public testing::TestWithParam<DriverCase> {};

TEST_P(DriverSituation, OpensInstallsAndRemovesAsTheServiceRequires)
{
    const DriverCase& c = GetParam();
    BoardFixture board(std::string(R"({"driver":)") + c.driver + "}");
    EXPECT_EQ(DLLInitial(), c.status);
    EXPECT_EQ(driverLines(board), c.openTrace);
    board.clearTrace();
    EXPECT_EQ(DLLRelease(), 1);
    EXPECT_EQ(driverLines(board), c.closeTrace);
}

const DriverCase kDriverCases[] = {
    {"OpensAtOnce", R"({"service":"running"})", 512, {"open \\\\.\\PIOX64_1K share=0x0 ok"}, {"close"}},
    {"ServiceAbsent", R"({"service":"absent"})", 512,
     {"open \\\\.\\PIOX64_1K share=0x0 fail", "scm-open ok",
      "scm-create PIOX64 SYSTEM32\\DRIVERS\\PIOX64_1K.SYS ok", "scm-start PIOX64 ok",
      "open \\\\.\\PIOX64_1K share=0x3 ok"},
     {"close", "scm-open ok", "scm-open-service PIOX64 ok", "scm-stop PIOX64 ok", "scm-delete PIOX64 ok"}},
    {"ServiceStopped", R"({"service":"stopped"})", 512,
     {"open \\\\.\\PIOX64_1K share=0x0 fail", "scm-open ok",
      "scm-create PIOX64 SYSTEM32\\DRIVERS\\PIOX64_1K.SYS exists", "scm-open-service PIOX64 ok",
      "scm-start PIOX64 ok", "open \\\\.\\PIOX64_1K share=0x3 ok"},
     {"close", "scm-open ok", "scm-open-service PIOX64 ok", "scm-stop PIOX64 ok", "scm-delete PIOX64 ok"}},
    {"ThirtyTwoBitNames", R"({"wow64":false,"service":"absent"})", 512,
     {"open \\\\.\\PIOX32_1K share=0x0 fail", "scm-open ok",
      "scm-create PIOX32_1K SYSTEM32\\DRIVERS\\PIOX32_1K.SYS ok", "scm-start PIOX32_1K ok",
      "open \\\\.\\PIOX32_1K share=0x3 ok"},
     {"close", "scm-open ok", "scm-open-service PIOX32_1K ok", "scm-stop PIOX32_1K ok",
      "scm-delete PIOX32_1K ok"}},
    // Another process holds the running driver: the start fails, so the install step fails.
    {"HeldByAnotherProcess", R"({"held":true})", 1024,
     {"open \\\\.\\PIOX64_1K share=0x0 fail", "scm-open ok",
      "scm-create PIOX64 SYSTEM32\\DRIVERS\\PIOX64_1K.SYS exists", "scm-open-service PIOX64 ok",
      "scm-start PIOX64 fail", "beep"},
     {}},
    // No manager: the install step reports 1 and the device is tried once more.
    {"NoManager", R"({"service":"absent","manager":false})", 1024,
     {"open \\\\.\\PIOX64_1K share=0x0 fail", "scm-open fail", "open \\\\.\\PIOX64_1K share=0x3 fail", "beep"},
     {}},
    {"StartRefused", R"({"service":"stopped","start":false})", 1024,
     {"open \\\\.\\PIOX64_1K share=0x0 fail", "scm-open ok",
      "scm-create PIOX64 SYSTEM32\\DRIVERS\\PIOX64_1K.SYS exists", "scm-open-service PIOX64 ok",
      "scm-start PIOX64 fail", "beep"},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Driver, DriverSituation, testing::ValuesIn(kDriverCases),
                         [](const auto& info) { return std::string(info.param.name); });

using ReadingExport = int32_t (*)();
const std::array<ReadingExport, 13> kReadings = {Vcore, Vio,    P5V,     P12V,   N12V,    N5V,  Fan1,
                                                  Fan2,  SysTemp, CpuTemp, P5VAmp, P12VAmp, PVbat};

TEST(Interface, FailureStatusesLeaveEveryReadingZero)
{
    for (const char* json : {R"({"driver":{"service":"absent","manager":false}})", "{}"}) {
        BoardFixture board(json);
        const int32_t status = DLLInitial();
        EXPECT_GE(status, 256) << json;
        for (ReadingExport reading : kReadings)
            EXPECT_EQ(reading(), 0) << json;
    }
}

TEST(Interface, ReadingsAndReleaseAreSafeOutsideAnInitialisation)
{
    for (ReadingExport reading : kReadings)
        EXPECT_EQ(reading(), 0);
    EXPECT_EQ(DLLRelease(), 1);
    EXPECT_EQ(DLLRelease(), 1);
    std::array<uint8_t, 4> buffer = {1, 2, 3, 4};
    EXPECT_EQ(PMemRead(0xF0000, buffer.data(), 4), 0);
    EXPECT_EQ(buffer, (std::array<uint8_t, 4>{1, 2, 3, 4}));
}

TEST(Interface, SecondInitialisationClosesTheFirstDriver)
{
    BoardFixture board(R"({"driver":{"service":"absent"}})");
    EXPECT_EQ(DLLInitial(), 512);
    board.clearTrace();
    EXPECT_EQ(DLLInitial(), 512);
    const Lines lines = board.trace();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "close"); // before any probe of the second initialisation
    EXPECT_EQ(lines[1], "scm-open ok"); // the service this library installed is removed first
    EXPECT_EQ(board.traced("open \\\\.\\PIOX64_1K").size(), 2u);
}

TEST(Interface, MissingOrMalformedBoardFileFailsTheOpen)
{
    for (const char* json : {"{ not json", R"({"superio":[{"port":"0x2E","global":{"0x40":1}}]})",
                             R"({"monitors":[{"port":"0x295","banking":"sideways"}]})"}) {
        BoardFixture board(json);
        testing::internal::CaptureStderr();
        EXPECT_EQ(DLLInitial(), 1024) << json;
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_NE(error.find(board.boardPath()), std::string::npos) << error;
        EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    }
}

struct MemoryCase {
    uint32_t length;
    int32_t result;
    std::size_t copied;
};

TEST(PMemRead, CopiesAtMostOneKibibyte)
{
    BoardFixture board(R"({"memory":[{"address":"0xF0000","hex":"5F534D5F"}]})");
    ASSERT_EQ(DLLInitial(), 512);
    for (const MemoryCase& c : {MemoryCase{0, 1, 0}, MemoryCase{4, 1, 4}, MemoryCase{5000, 1, 1024}}) {
        std::vector<uint8_t> buffer(5000, 0xAB);
        EXPECT_EQ(PMemRead(0xF0000, buffer.data(), c.length), c.result);
        const auto untouched = std::find_if(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xAB; });
        EXPECT_EQ(std::size_t(untouched - buffer.begin()), c.copied) << c.length;
        if (c.copied >= 4) {
            EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4),
                      (std::vector<uint8_t>{0x5F, 0x53, 0x4D, 0x5F}));
        }
        if (c.copied > 4) {
            EXPECT_EQ(buffer[4], 0xFF); // unlisted memory
        }
    }
    EXPECT_EQ(board.traced("memory 0xf0000 1024").size(), 1u);
    DLLRelease();
    std::vector<uint8_t> buffer(16, 0xAB);
    EXPECT_EQ(PMemRead(0xF0000, buffer.data(), 16), 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xAB));
}

// A driver that answers every memory request with the largest byte count, whatever was asked.
class OverstatingDriver final : public portio::OsApi {
public:
    explicit OverstatingDriver(std::unique_ptr<portio::OsApi> inner) : inner_(std::move(inner)) {}
    bool isWow64() override { return inner_->isWow64(); }
    portio::Handle openDevice(const char* path, uint32_t share) override { return inner_->openDevice(path, share); }
    bool deviceIoControl(portio::Handle device, uint32_t code, uint8_t* buffer, uint32_t length) override
    {
        const bool done = inner_->deviceIoControl(device, code, buffer, length);
        if (code == portio::kMemoryRead)
            portio::put32(buffer, portio::memory_read::kCount, portio::kMemoryReadMax);
        return done;
    }
    void closeDevice(portio::Handle device) override { inner_->closeDevice(device); }
    portio::Handle scmOpen() override { return inner_->scmOpen(); }
    portio::Handle scmCreateService(portio::Handle m, const char* n, const char* b, uint32_t* e) override
    {
        return inner_->scmCreateService(m, n, b, e);
    }
    portio::Handle scmOpenService(portio::Handle m, const char* n) override { return inner_->scmOpenService(m, n); }
    bool scmStartService(portio::Handle s) override { return inner_->scmStartService(s); }
    bool scmStopService(portio::Handle s) override { return inner_->scmStopService(s); }
    bool scmDeleteService(portio::Handle s) override { return inner_->scmDeleteService(s); }
    void scmClose(portio::Handle h) override { inner_->scmClose(h); }
    void sleepMs(uint32_t ms) override { inner_->sleepMs(ms); }
    void beep() override { inner_->beep(); }

private:
    std::unique_ptr<portio::OsApi> inner_;
};

struct OsOverride {
    explicit OsOverride(std::unique_ptr<portio::OsApi> os) { portio::overrideOs(std::move(os)); }
    ~OsOverride()
    {
        DLLRelease();
        portio::overrideOs(nullptr);
    }
};

TEST(PMemRead, NeverCopiesMoreThanAskedWhateverTheDriverReports)
{
    BoardFixture board(R"({"memory":[{"address":"0xF0000","hex":"5F534D5F"}]})");
    const OsOverride overstating(std::make_unique<OverstatingDriver>(portio::makeSimBoardOs(board.boardPath().c_str())));
    ASSERT_EQ(DLLInitial(), 512);
    std::vector<uint8_t> buffer(2048, 0xAB);
    EXPECT_EQ(PMemRead(0xF0000, buffer.data(), 4), 1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4), (std::vector<uint8_t>{0x5F, 0x53, 0x4D, 0x5F}));
    EXPECT_EQ(std::count(buffer.begin() + 4, buffer.end(), 0xAB), 2044);
}

TEST(Helpers, WaitedAccessChecksBusyTwentyTimesAtMost)
{
    BoardFixture board(kMonitorBoard);
    ASSERT_EQ(DLLInitial(), 512);
    board.clearTrace();
    gauge::HwmRead(0x3C5, 0x20); // bit 7 never clears
    EXPECT_EQ(board.traced("in 0x3c5").size(), 20u);
    EXPECT_EQ(board.traced("in 0xeb").size(), 19u + 4u);
    EXPECT_EQ(board.traced("out 0x3c5 0x20").size(), 1u);
    EXPECT_EQ(board.traced("in 0x3c6").size(), 1u);
}

TEST(Helpers, WaitedReadSequence)
{
    BoardFixture board(kMonitorBoard);
    ASSERT_EQ(DLLInitial(), 512);
    board.clearTrace();
    EXPECT_EQ(gauge::HwmRead(0x3A5, 0x552), 0x11); // the bank number is not part of the index
    EXPECT_EQ(board.trace(), (Lines{"in 0x3a5 0x0", "out 0x3a5 0x52", "in 0xeb 0xff", "in 0xeb 0xff",
                                    "in 0xeb 0xff", "in 0xeb 0xff", "in 0x3a6 0x11"}));
    board.clearTrace();
    gauge::HwmWriteDirect(0x3A5, 0x4E, 0x81);
    EXPECT_EQ(board.trace(), (Lines{"out 0x3a5 0x4e", "in 0xeb 0xff", "in 0xeb 0xff", "in 0xeb 0xff",
                                    "in 0xeb 0xff", "out 0x3a6 0x81"}));
    EXPECT_EQ(gauge::HwmReadDirect(0x3A5, 0x52), 0x22); // bank 1 now selected
}

TEST(Helpers, IndexedReadSleepsFiveTimesAtMost)
{
    BoardFixture board(kMonitorBoard);
    ASSERT_EQ(DLLInitial(), 512);
    board.clearTrace();
    const auto start = std::chrono::steady_clock::now();
    gauge::HwmIndexedRead(0x3C5, 0x120);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(board.traced("in 0x3c5").size(), 5u);
    EXPECT_EQ(board.traced("sleep 10").size(), 5u);
    EXPECT_EQ(board.traced("indexed 0x3c5 0x3c6 0x20").size(), 1u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(50));

    board.clearTrace();
    EXPECT_EQ(gauge::HwmIndexedRead(0x3A5, 0x52), 0x11);
    EXPECT_EQ(board.trace(), (Lines{"in 0x3a5 0x0", "indexed 0x3a5 0x3a6 0x52 0x11"}));
}

TEST(Helpers, SendNothingWithoutAnOpenDriver)
{
    BoardFixture board(R"({"driver":{"service":"absent","manager":false}})");
    ASSERT_EQ(DLLInitial(), 1024);
    board.clearTrace();
    EXPECT_EQ(gauge::HwmRead(0x295, 0x20), 0);
    gauge::PortOut(0x2E, 0x87);
    EXPECT_EQ(gauge::HwmIndexedRead(0x295, 0x20), 0);
    EXPECT_TRUE(board.trace().empty());
}

} // namespace
