// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// How every probe path treats the hardware, read from the driver trace (GAUGE64_TRACE):
// each Super I/O entered is locked again, nothing below port 0x100 is touched except the
// configuration pairs and the delay port, a monitor's bank register 0x4E and configuration
// register 0x40 are written only where a monitor was identified, and a logical device that
// is switched off, absent or without a base is refused.

#include "board_fixture.h"
#include "chips_support.h"
#include "gauge64.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace chips_test;

namespace {

struct PortAccess {
    bool write;
    unsigned port;
    unsigned value;
};

std::vector<PortAccess> portAccesses(const std::vector<std::string>& trace)
{
    std::vector<PortAccess> accesses;
    for (const std::string& line : trace) {
        char direction[4] = "";
        unsigned port = 0;
        unsigned value = 0;
        if (std::sscanf(line.c_str(), "%3s %x %x", direction, &port, &value) != 3)
            continue;
        const std::string verb = direction;
        if (verb == "in" || verb == "out")
            accesses.push_back({verb == "out", port, value});
    }
    return accesses;
}

constexpr unsigned kConfigPorts[] = {0x2E, 0x4E};

bool isConfigPort(unsigned port)
{
    return port == 0x2E || port == 0x4E;
}

// Two unlock keys in a row enter configuration mode, 0xAA leaves it. Lists every entry
// made while already inside and every port still inside at the end.
std::vector<std::string> configModeFaults(const std::vector<PortAccess>& accesses, int* entries)
{
    std::vector<std::string> faults;
    std::map<unsigned, bool> inside;
    std::map<unsigned, bool> lastWasKey;
    for (const PortAccess& a : accesses) {
        if (!a.write || !isConfigPort(a.port))
            continue;
        const bool key = a.value == 0x87;
        if (key && lastWasKey[a.port]) {
            if (inside[a.port])
                faults.push_back("entered twice at " + std::to_string(a.port));
            inside[a.port] = true;
            ++*entries;
            lastWasKey[a.port] = false;
            continue;
        }
        lastWasKey[a.port] = key;
        if (a.value == 0xAA)
            inside[a.port] = false;
    }
    for (unsigned port : kConfigPorts)
        if (inside[port])
            faults.push_back("left in configuration mode at " + std::to_string(port));
    return faults;
}

// Below 0x100 only the configuration pairs and the delay port 0xEB are the library's.
std::vector<std::string> lowPortFaults(const std::vector<PortAccess>& accesses)
{
    const std::set<unsigned> allowed = {0x2E, 0x2F, 0x4E, 0x4F, 0xEB};
    std::vector<std::string> faults;
    for (const PortAccess& a : accesses)
        if (a.port < 0x100 && !allowed.count(a.port))
            faults.push_back((a.write ? "out " : "in ") + std::to_string(a.port));
    return faults;
}

// A monitor at index port P counts as identified once register 0x4F read back a byte of
// the Winbond vendor ID there, or once a logical device gave P as its base + 5. Every write
// of register 0x4E or 0x40 before that is listed.
std::vector<std::string> unidentifiedWrites(const std::vector<PortAccess>& accesses)
{
    std::vector<std::string> faults;
    std::map<unsigned, unsigned> index; // last value written to each port, as an index
    std::set<unsigned> identified;
    std::map<unsigned, unsigned> baseBytes; // configuration port -> base high byte read
    for (const PortAccess& a : accesses) {
        const unsigned indexPort = a.port - 1;
        const auto selected = index.find(indexPort);
        if (isConfigPort(indexPort) && selected != index.end() && !a.write) {
            if (selected->second == 0x60)
                baseBytes[indexPort] = a.value;
            else if (selected->second == 0x61)
                identified.insert(((baseBytes[indexPort] << 8 | a.value) & 0xFFF8) + 5);
        } else if (a.port >= 0x100 && selected != index.end()) {
            const unsigned reg = selected->second;
            if (!a.write && reg == 0x4F && (a.value == 0x5C || a.value == 0xA3))
                identified.insert(indexPort);
            if (a.write && (reg == 0x4E || reg == 0x40) && !identified.count(indexPort)) {
                char fault[64];
                std::snprintf(fault, sizeof fault, "register 0x%X written at 0x%X", reg, indexPort);
                faults.push_back(fault);
            }
        }
        if (a.write)
            index[a.port] = a.value;
    }
    return faults;
}

struct ProbePath {
    std::string what;
    std::string board;
    int32_t status;
};

void PrintTo(const ProbePath& p, std::ostream* out)
{
    *out << p.what;
}

// A Winbond-like monitor at `port` with no vendor ID (register 0x4F reads 0xFF) or with
// another maker's, chip ID 0x21 in bank 0.
std::string strangerAt(const char* port, const char* vendor)
{
    return std::string(R"({"monitors":[{"port":")") + port + R"(","banking":"partial")" + vendor +
           R"(,"registers":{"0":{"0x58":"0x21","0x40":"0x08"}}}]})";
}

std::vector<ProbePath> probePaths()
{
    std::vector<ProbePath> paths;
    const QDir boards(VRD_SOURCE_DIR "/boards");
    for (const QString& file : boards.entryList({"*.json"}, QDir::Files, QDir::Name)) {
        if (file == "no-driver.json")
            continue;
        const std::string name = file.toStdString();
        paths.push_back({name, BoardEdit::exampleBoard(name).json(), -1});
    }
    const std::vector<ProbePath> declines = {
        {"F81866 declined for its missing device 0x11",
         BoardEdit::exampleBoard("fintek-f81866.json").superIoDevice(0x4E, 0x11, 0x30, 0xFF).json(), GAUGE64_NO_CHIP},
        {"F71889 without a monitor answering",
         BoardEdit::exampleBoard("fintek-f71889.json").firstMonitor({{0, 0x5D, 0x00}}).json(), GAUGE64_NO_CHIP},
        {"F81866 with its monitor powered down",
         BoardEdit::exampleBoard("fintek-f81866.json").firstMonitor({{0, 0x01, 0x07}}).json(), GAUGE64_NO_CHIP},
        {"W83627HF whose logical device 0x0B names no monitor",
         BoardEdit::exampleBoard("winbond-w83627hf-290.json").superIoDevice(0x2E, 0x0B, 0x61, 0xA0).json(),
         GAUGE64_NO_CHIP},
        {"W83627DHG monitor behind a Super I/O that is not 0xAx",
         BoardEdit::exampleBoard("winbond-w83627dhg.json").superIoGlobal(0x2E, 0x20, 0x52).json(), GAUGE64_FOUND},
        {"unknown chip ID 0xC451",
         BoardEdit::exampleBoard("chipid-c452.json").superIoGlobal(0x2E, 0x21, 0x51).json(), GAUGE64_NO_CHIP},
        {"0x1061 without a monitor",
         BoardEdit::exampleBoard("chipid-c452.json")
             .superIoGlobal(0x2E, 0x20, 0x10)
             .superIoGlobal(0x2E, 0x21, 0x61)
             .superIoDevice(0x2E, 0x0B, 0x30, 0xFF)
             .json(),
         GAUGE64_NO_CHIP},
        {"a stranger without vendor ID at 0x295", strangerAt("0x295", ""), GAUGE64_NO_CHIP},
        {"another maker's monitor at 0x295", strangerAt("0x295", R"(,"vendor_id":"0x1234")"), GAUGE64_NO_CHIP},
        {"a stranger at 0x2C5", strangerAt("0x2C5", ""), GAUGE64_NO_CHIP},
    };
    paths.insert(paths.end(), declines.begin(), declines.end());
    return paths;
}

class ProbeAccess : public testing::TestWithParam<ProbePath> {};

TEST_P(ProbeAccess, LocksEverySuperIoAndWritesOnlyToIdentifiedMonitors)
{
    const ProbePath& p = GetParam();
    BoardFixture board(p.board);
    const int32_t status = DLLInitial();
    if (p.status >= 0) {
        EXPECT_EQ(status, p.status);
    }
    const std::vector<PortAccess> accesses = portAccesses(board.trace());
    int entries = 0;
    EXPECT_EQ(configModeFaults(accesses, &entries), std::vector<std::string>{});
    EXPECT_GT(entries, 0); // the Super I/O probes ran
    EXPECT_EQ(lowPortFaults(accesses), std::vector<std::string>{});
    EXPECT_EQ(unidentifiedWrites(accesses), std::vector<std::string>{});
}

std::string pathName(const testing::TestParamInfo<ProbePath>& info)
{
    std::string name;
    for (const char c : info.param.what)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(AllPaths, ProbeAccess, testing::ValuesIn(probePaths()), pathName);

// The trace checks themselves: each catches the fault it is there for.
TEST(ProbeAccessChecks, SeeTheFaultsTheyLookFor)
{
    int entries = 0;
    const std::vector<PortAccess> leftOpen = {{true, 0x2E, 0x87}, {true, 0x2E, 0x87}, {true, 0x2E, 0x20}};
    EXPECT_EQ(configModeFaults(leftOpen, &entries).size(), 1u);
    EXPECT_EQ(entries, 1);
    const std::vector<PortAccess> dma = {{true, 0x05, 0x4E}, {false, 0x06, 0x00}, {false, 0xEB, 0xFF}};
    EXPECT_EQ(lowPortFaults(dma).size(), 2u);
    const std::vector<PortAccess> blindWrite = {{true, 0x295, 0x4E}, {true, 0x296, 0x00}};
    EXPECT_EQ(unidentifiedWrites(blindWrite).size(), 1u);
    const std::vector<PortAccess> afterVendor = {{true, 0x295, 0x4F}, {false, 0x296, 0x5C},
                                                 {true, 0x295, 0x4E}, {true, 0x296, 0x80}};
    EXPECT_TRUE(unidentifiedWrites(afterVendor).empty());
    const std::vector<PortAccess> afterBase = {{true, 0x2E, 0x60}, {false, 0x2F, 0x02}, {true, 0x2E, 0x61},
                                               {false, 0x2F, 0x90}, {true, 0x295, 0x4E}, {true, 0x296, 0x03}};
    EXPECT_TRUE(unidentifiedWrites(afterBase).empty());
}

struct RefusedDevice {
    const char* what;
    BoardEdit board;
};

// A monitor device switched off (register 0x30 bit 0 clear), absent (0x30 reads 0xFF) or
// whose base puts the index/data pair below 0x100 is not used: f71882fg_find refuses a
// device that is not activated or has base 0, nct6775_find and w83627hf_find a base of 0.
// Nothing is then written at the would-be pair (base 0 would give ports 5 and 6, the DMA
// controller's).
TEST(LogicalDevice, SwitchedOffAbsentOrWithoutBaseIsRefused)
{
    const auto withDevice = [](const char* file, int cfg, int device, std::vector<std::pair<int, int>> regs) {
        BoardEdit edit = BoardEdit::exampleBoard(file);
        for (const auto& [reg, value] : regs)
            edit.superIoDevice(cfg, device, reg, value);
        return edit;
    };
    const RefusedDevice cases[] = {
        {"J switched off", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x30, 0x00}})},
        {"J enable byte 0xFE", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x30, 0xFE}})},
        {"J base 0", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x60, 0x00}, {0x61, 0x00}})},
        {"J base 0x90", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x60, 0x00}, {0x61, 0x90}})},
        {"K switched off", withDevice("chipid-d282.json", 0x2E, 0x0B, {{0x30, 0x00}})},
        {"K base 0", withDevice("chipid-d282.json", 0x2E, 0x0B, {{0x60, 0x00}, {0x61, 0x07}})},
        {"0x1061 device absent", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x30, 0xFF}})
                                     .superIoGlobal(0x2E, 0x20, 0x10)
                                     .superIoGlobal(0x2E, 0x21, 0x61)},
        {"0x1061 switched off", withDevice("chipid-c452.json", 0x2E, 0x0B, {{0x30, 0x00}})
                                    .superIoGlobal(0x2E, 0x20, 0x10)
                                    .superIoGlobal(0x2E, 0x21, 0x61)},
        {"F81866 switched off", withDevice("fintek-f81866.json", 0x4E, 0x04, {{0x30, 0x00}})},
        {"W83627HF switched off", withDevice("winbond-w83627hf-290.json", 0x2E, 0x0B, {{0x30, 0x00}})},
        {"W83627THF base 0", withDevice("winbond-w83627thf-295.json", 0x2E, 0x0B, {{0x60, 0x00}, {0x61, 0x00}})},
        {"F81865 base 0", withDevice("fintek-f81865.json", 0x2E, 0x04, {{0x60, 0x00}, {0x61, 0x00}})},
        {"F81966 switched off", withDevice("fintek-f81966-without-device-11.json", 0x4E, 0x04, {{0x30, 0x00}})},
    };
    for (const RefusedDevice& c : cases) {
        BoardFixture board(c.board.json());
        EXPECT_EQ(DLLInitial(), GAUGE64_NO_CHIP) << c.what;
        EXPECT_EQ(Vcore(), 0) << c.what;
        EXPECT_EQ(lowPortFaults(portAccesses(board.trace())), std::vector<std::string>{}) << c.what;
    }
}

// The same chip with its device switched on is taken: the refusal is the device's state.
TEST(LogicalDevice, SwitchedOnWithABaseIsTaken)
{
    for (const char* file : {"chipid-c452.json", "chipid-d282.json"}) {
        BoardFixture board(BoardEdit::exampleBoard(file).superIoDevice(0x2E, 0x0B, 0x30, 0x01).json());
        EXPECT_EQ(DLLInitial(), GAUGE64_FOUND) << file;
        EXPECT_EQ(Vcore(), 1200) << file;
    }
    BoardFixture board(BoardEdit::exampleBoard("chipid-c452.json")
                           .superIoGlobal(0x2E, 0x20, 0x10)
                           .superIoGlobal(0x2E, 0x21, 0x61)
                           .json());
    EXPECT_EQ(DLLInitial(), GAUGE64_FOUND); // 0x1061 with a monitor switched on
}

} // namespace
