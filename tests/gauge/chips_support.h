// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Chip tests start from an example board of boards/ (or from JSON) and change a few
// registers; the library then runs on the result through the simulated board.

#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace chips_test {

// One monitor register as the board file holds it.
struct Reg {
    int bank;
    int reg;
    int value;
};

class BoardEdit {
public:
    // A board file of boards/.
    static BoardEdit exampleBoard(const std::string& fileName);
    static BoardEdit fromJson(const std::string& json);

    // Registers of the monitor at `port` (created if the board has none there).
    BoardEdit& monitor(int port, const std::vector<Reg>& regs);
    // The vendor ID register 0x4F and the banking of the monitor at `port`.
    BoardEdit& monitorIdentity(int port, int vendorId, const char* banking);
    // Registers of the board's first monitor.
    BoardEdit& firstMonitor(const std::vector<Reg>& regs);
    // Global (below 0x30) or logical-device registers of the Super I/O at `port`.
    BoardEdit& superIoGlobal(int port, int reg, int value);
    BoardEdit& superIoDevice(int port, int device, int reg, int value);
    BoardEdit& withoutSuperIo(int port);

    std::string json() const;

private:
    QJsonObject root_;
};

// The thirteen reading exports by name, in table order.
const std::vector<std::string>& readingNames();
int32_t readExport(const std::string& name);
std::map<std::string, int32_t> readAll();

// The expected readings of a board: the named ones as given, every other one 0.
std::map<std::string, int32_t> withZeros(const std::map<std::string, int32_t>& nonZero);

// An example board as it stands: the status DLLInitial gives and the readings, every one not
// named 0.
struct BoardCase {
    const char* board;
    int32_t status;
    std::map<std::string, int32_t> readings;
};

void PrintTo(const BoardCase& c, std::ostream* out);

// Initialises the library on c.board and compares the status and every reading.
void expectBoardReadings(const BoardCase& c);

// Registers changed on an example board's first monitor and the one reading that shows them.
struct RegisterCase {
    const char* what; // also the name of the test
    const char* board;
    std::vector<Reg> regs;
    const char* reading;
    int32_t expected;
};

void PrintTo(const RegisterCase& c, std::ostream* out);
std::string caseName(const testing::TestParamInfo<RegisterCase>& info);

// Initialises the library on the changed board, expecting `status`, and compares the reading.
void expectConversion(const RegisterCase& c, int32_t status);

// The writes to the monitor at addrPort and the sleeps in a trace, in order: "bank n" for
// a write of the bank register 0x4E, "0xRR=0xVV" for any other register, "sleep n".
std::vector<std::string> monitorWrites(const std::vector<std::string>& traceLines, uint32_t addrPort);

// The registers selected at addrPort in a trace, in order, leaving out the bank register.
std::vector<int> monitorRegistersSelected(const std::vector<std::string>& traceLines, uint32_t addrPort);

// Observing the hardware state a probe left, with the library's own port helpers.
bool superIoInConfigMode(uint32_t cfg);
uint8_t monitorBankRegister(uint32_t addrPort);

} // namespace chips_test
