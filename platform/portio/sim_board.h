// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A simulated board: Super I/O chips with configuration mode and logical devices, banked
// hardware monitors behind index/data port pairs, physical memory and the driver service.
// It is the test bench for the sensor library, so it follows the hardware's rules rather
// than the library's expectations.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace portio {

enum class ServiceState { Absent, Stopped, Running };

struct SimDriver {
    bool wow64 = true;
    ServiceState service = ServiceState::Running;
    bool managerAvailable = true;
    bool startSucceeds = true;
    bool held = false; // another process holds the device
};

struct SimSuperIo {
    uint16_t port = 0;
    std::array<uint8_t, 0x30> global{};               // 0x00 to 0x2F
    std::map<uint8_t, std::array<uint8_t, 0xD0>> ldn; // 0x30 to 0xFF per logical device
    bool configMode = false;
    bool lastWriteWas87 = false;
    uint8_t index = 0;
};

enum class Banking { None, Partial, Full };

struct SimMonitor {
    uint16_t port = 0;
    Banking banking = Banking::None;
    std::optional<uint16_t> vendorId;
    long busyReads = 0; // -1: always busy
    std::array<std::array<uint8_t, 256>, 8> banked{};
    std::array<uint8_t, 256> shared{};
    uint8_t bankRegister = 0xFF;
    uint8_t index = 0;
    long addressReads = 0;
};

struct SimMemory {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

class SimBoard {
public:
    // Parses a board file (board_file.cpp); on failure returns nothing and sets *error to one
    // clear line.
    static std::optional<SimBoard> fromFile(const std::string& path, std::string* error);
    static std::optional<SimBoard> fromJson(const std::string& json, std::string* error);

    uint8_t in(uint16_t port);
    void out(uint16_t port, uint8_t value);
    void readMemory(uint32_t address, uint8_t* destination, uint32_t count) const;

    SimDriver& driver() { return driver_; }

    // Takes the values of `fresh` but keeps the simulator's own state: configuration mode,
    // selected index and logical device, busy counts and each monitor's bank register.
    void takeValuesFrom(SimBoard fresh);

private:
    SimSuperIo* superIoAt(uint16_t port, bool* dataPort);
    SimMonitor* monitorAt(uint16_t port, bool* dataPort);

    SimDriver driver_;
    std::vector<SimSuperIo> superIos_;
    std::vector<SimMonitor> monitors_;
    std::vector<SimMemory> memory_;

    friend class BoardParser;
};

// Register file access of one monitor, shared by the simulator and its tests.
uint8_t monitorRead(const SimMonitor& monitor, uint8_t reg);
void monitorWrite(SimMonitor& monitor, uint8_t reg, uint8_t value);
// A register of `bank` as a board file lists it; a banked monitor's bank register is its bank
// selection, whichever bank lists it.
void monitorPreset(SimMonitor& monitor, int bank, uint8_t reg, uint8_t value);

} // namespace portio
