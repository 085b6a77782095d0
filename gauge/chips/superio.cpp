// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "superio.h"

#include "driver.h"

namespace gauge::chips::superio {

namespace {

constexpr uint8_t kUnlockKey = 0x87;
constexpr uint8_t kLockKey = 0xAA;
constexpr uint8_t kLogicalDeviceSelect = 0x07;
constexpr uint8_t kDeviceEnable = 0x30;
constexpr uint8_t kDeviceActive = 0x01;
constexpr uint8_t kDeviceAbsent = 0xFF;
constexpr uint8_t kBaseHigh = 0x60;
constexpr uint8_t kBaseLow = 0x61;
constexpr uint32_t kBaseAlignment = 0xFFF8; // bits 2:0 address ports inside the 8-port block
constexpr uint32_t kAddrPortOffset = 5;
constexpr uint32_t kLowestMonitorPort = 0x100;

} // namespace

void enterConfig(uint32_t cfg)
{
    PortOut(cfg, kUnlockKey);
    PortOut(cfg, kUnlockKey);
}

void leaveConfig(uint32_t cfg)
{
    PortOut(cfg, kLockKey);
}

uint8_t readConfig(uint32_t cfg, uint8_t reg)
{
    PortOut(cfg, reg);
    return PortIn(cfg + 1);
}

void writeConfig(uint32_t cfg, uint8_t reg, uint8_t value)
{
    PortOut(cfg, reg);
    PortOut(cfg + 1, value);
}

void selectLogicalDevice(uint32_t cfg, uint8_t device)
{
    writeConfig(cfg, kLogicalDeviceSelect, device);
}

uint16_t chipId(uint32_t cfg)
{
    const uint16_t high = readConfig(cfg, kChipIdHigh);
    const uint16_t low = readConfig(cfg, kChipIdLow);
    return uint16_t(high << 8 | low);
}

ConfigSession::ConfigSession(uint32_t cfg) : cfg_(cfg)
{
    enterConfig(cfg_);
}

ConfigSession::~ConfigSession()
{
    leaveConfig(cfg_);
}

std::optional<uint32_t> monitorAddrPort(uint32_t cfg, uint8_t device)
{
    selectLogicalDevice(cfg, device);
    const uint8_t enable = readConfig(cfg, kDeviceEnable);
    if (enable == kDeviceAbsent || !(enable & kDeviceActive))
        return std::nullopt;
    const uint32_t high = readConfig(cfg, kBaseHigh);
    const uint32_t low = readConfig(cfg, kBaseLow);
    const uint32_t addrPort = ((high * 256 + low) & kBaseAlignment) + kAddrPortOffset;
    if (addrPort < kLowestMonitorPort)
        return std::nullopt;
    return addrPort;
}

} // namespace gauge::chips::superio
