// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Super I/O configuration access: a configuration port and its data port (+1), plain port
// accesses without waiting. Shared by every family that finds its chip through it.

#include <cstdint>
#include <optional>

namespace gauge::chips::superio {

// The configuration ports boards wire the Super I/O to, in the order the probes try them.
constexpr uint32_t kConfigPorts[] = {0x4E, 0x2E};

constexpr uint8_t kChipIdHigh = 0x20;
constexpr uint8_t kChipIdLow = 0x21;

// Two writes of 0x87 unlock the configuration registers.
void enterConfig(uint32_t cfg);
// 0xAA locks them again.
void leaveConfig(uint32_t cfg);
uint8_t readConfig(uint32_t cfg, uint8_t reg);
void writeConfig(uint32_t cfg, uint8_t reg, uint8_t value);
// Register 0x07 selects the logical device that registers 0x30 and up belong to.
void selectLogicalDevice(uint32_t cfg, uint8_t device);
// Registers 0x20:0x21 as one number.
uint16_t chipId(uint32_t cfg);

// Configuration mode for the life of the object: entered at construction and left on
// every path out of the scope. A Super I/O left unlocked takes any stray write to its
// ports as a configuration change.
class ConfigSession {
public:
    explicit ConfigSession(uint32_t cfg);
    ~ConfigSession();
    ConfigSession(const ConfigSession&) = delete;
    ConfigSession& operator=(const ConfigSession&) = delete;

private:
    uint32_t cfg_;
};

// The hardware monitor's address port from a logical device's base registers 0x60/0x61:
// the base without its three low bits, and the index/data pair at base + 5 and + 6
// (f71882fg_find, nct6775_find and w83627hf_find align it with ~7).
// Nothing when the device is switched off (register 0x30 bit 0 clear), absent (0x30 reads
// 0xFF) or has no usable base (the pair would fall below 0x100, among the mainboard's
// fixed devices: DMA, interrupt controllers, timer), as the kernel's f71882fg_find and
// nct6775_find refuse a disabled device or a base of 0.
std::optional<uint32_t> monitorAddrPort(uint32_t cfg, uint8_t device);

} // namespace gauge::chips::superio
