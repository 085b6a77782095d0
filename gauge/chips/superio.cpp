#include "superio.h"

#include "driver.h"

namespace gauge::chips::superio {

namespace {

constexpr uint8_t kUnlockKey = 0x87;
constexpr uint8_t kLockKey = 0xAA;
constexpr uint8_t kLogicalDeviceSelect = 0x07;
constexpr uint8_t kBaseHigh = 0x60;
constexpr uint8_t kBaseLow = 0x61;
constexpr uint32_t kBaseMask = 0x0FF0;
constexpr uint32_t kAddrPortOffset = 5;

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

uint32_t monitorAddrPort(uint32_t cfg, uint8_t device)
{
    selectLogicalDevice(cfg, device);
    const uint32_t high = readConfig(cfg, kBaseHigh);
    const uint32_t low = readConfig(cfg, kBaseLow);
    return ((high * 256 + low) & kBaseMask) + kAddrPortOffset;
}

} // namespace gauge::chips::superio
