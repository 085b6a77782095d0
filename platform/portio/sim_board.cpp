// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The simulated board's ports and memory: Super I/O configuration mode and logical devices, banked
// monitor register files, and the values a reloaded board file brings in.

#include "sim_board.h"

#include <utility>

namespace portio {

namespace {

constexpr uint8_t kBankRegister = 0x4E;
constexpr uint8_t kVendorRegister = 0x4F;
constexpr uint8_t kLdnSelect = 0x07;

bool isBanked(const SimMonitor& monitor, uint8_t reg)
{
    switch (monitor.banking) {
    case Banking::None:
        return false;
    case Banking::Partial:
        return reg >= 0x50 && reg <= 0x5F;
    case Banking::Full:
        return reg != kBankRegister;
    }
    return false;
}

uint8_t& cell(SimMonitor& monitor, uint8_t reg, int bank)
{
    return isBanked(monitor, reg) ? monitor.banked[bank][reg] : monitor.shared[reg];
}

int currentBank(const SimMonitor& monitor)
{
    return monitor.banking == Banking::None ? 0 : (monitor.bankRegister & 0x07);
}

} // namespace

SimSuperIo* SimBoard::superIoAt(uint16_t port, bool* dataPort)
{
    for (SimSuperIo& chip : superIos_) {
        if (port == chip.port || port == chip.port + 1) {
            *dataPort = port != chip.port;
            return &chip;
        }
    }
    return nullptr;
}

SimMonitor* SimBoard::monitorAt(uint16_t port, bool* dataPort)
{
    for (SimMonitor& chip : monitors_) {
        if (port == chip.port || port == chip.port + 1) {
            *dataPort = port != chip.port;
            return &chip;
        }
    }
    return nullptr;
}

uint8_t monitorRead(const SimMonitor& monitor, uint8_t reg)
{
    if (reg == kBankRegister && monitor.banking != Banking::None)
        return monitor.bankRegister;
    if (reg == kVendorRegister && monitor.vendorId) {
        const uint8_t selector = monitor.banking == Banking::None ? monitor.shared[kBankRegister]
                                                                  : monitor.bankRegister;
        return (selector & 0x80) ? uint8_t(*monitor.vendorId >> 8) : uint8_t(*monitor.vendorId);
    }
    const int bank = currentBank(monitor);
    return isBanked(monitor, reg) ? monitor.banked[bank][reg] : monitor.shared[reg];
}

void monitorPreset(SimMonitor& monitor, int bank, uint8_t reg, uint8_t value)
{
    if (reg == kBankRegister && monitor.banking != Banking::None)
        monitor.bankRegister = value;
    else
        cell(monitor, reg, bank) = value;
}

void monitorWrite(SimMonitor& monitor, uint8_t reg, uint8_t value)
{
    if (reg == kBankRegister && monitor.banking != Banking::None) {
        monitor.bankRegister = value;
        return;
    }
    cell(monitor, reg, currentBank(monitor)) = value;
}

namespace {

uint8_t superIoRead(const SimSuperIo& chip, uint8_t reg)
{
    if (reg < 0x30)
        return chip.global[reg];
    const auto device = chip.ldn.find(chip.global[kLdnSelect]);
    return device == chip.ldn.end() ? 0xFF : device->second[reg - 0x30];
}

void superIoWrite(SimSuperIo& chip, uint8_t reg, uint8_t value)
{
    if (reg < 0x30) {
        chip.global[reg] = value;
        return;
    }
    auto [device, created] = chip.ldn.try_emplace(chip.global[kLdnSelect]);
    if (created)
        device->second.fill(0xFF);
    device->second[reg - 0x30] = value;
}

// Two writes of 0x87 in a row enter configuration mode; 0xAA leaves it; inside it a write
// selects the register index.
void superIoConfigWrite(SimSuperIo& chip, uint8_t value)
{
    if (!chip.configMode) {
        chip.configMode = value == 0x87 && chip.lastWriteWas87;
        chip.lastWriteWas87 = value == 0x87 && !chip.configMode;
        return;
    }
    if (value == 0xAA) {
        chip.configMode = false;
        chip.lastWriteWas87 = false;
        return;
    }
    chip.index = value;
}

} // namespace

uint8_t SimBoard::in(uint16_t port)
{
    bool data = false;
    if (SimSuperIo* chip = superIoAt(port, &data)) {
        if (!data)
            return chip->index;
        return chip->configMode ? superIoRead(*chip, chip->index) : 0xFF;
    }
    if (SimMonitor* chip = monitorAt(port, &data)) {
        if (data)
            return monitorRead(*chip, chip->index);
        const bool busy = chip->busyReads < 0 || chip->addressReads < chip->busyReads;
        ++chip->addressReads;
        return uint8_t((chip->index & 0x7F) | (busy ? 0x80 : 0x00));
    }
    return 0xFF;
}

void SimBoard::out(uint16_t port, uint8_t value)
{
    bool data = false;
    if (SimSuperIo* chip = superIoAt(port, &data)) {
        if (!data)
            superIoConfigWrite(*chip, value);
        else if (chip->configMode)
            superIoWrite(*chip, chip->index, value);
        return;
    }
    if (SimMonitor* chip = monitorAt(port, &data)) {
        if (data)
            monitorWrite(*chip, chip->index, value);
        else
            chip->index = value;
    }
}

void SimBoard::readMemory(uint32_t address, uint8_t* destination, uint32_t count) const
{
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(address) + i;
        destination[i] = 0xFF;
        for (const SimMemory& range : memory_) {
            if (at >= range.address && at < range.address + range.bytes.size()) {
                destination[i] = range.bytes[at - range.address];
                break;
            }
        }
    }
}

void SimBoard::takeValuesFrom(SimBoard fresh)
{
    for (SimSuperIo& chip : fresh.superIos_) {
        bool data = false;
        if (const SimSuperIo* old = superIoAt(chip.port, &data); old && !data) {
            chip.configMode = old->configMode;
            chip.lastWriteWas87 = old->lastWriteWas87;
            chip.index = old->index;
            chip.global[kLdnSelect] = old->global[kLdnSelect];
        }
    }
    for (SimMonitor& chip : fresh.monitors_) {
        bool data = false;
        if (const SimMonitor* old = monitorAt(chip.port, &data); old && !data) {
            chip.index = old->index;
            chip.addressReads = old->addressReads;
            chip.bankRegister = old->bankRegister;
        }
    }
    fresh.driver_ = driver_;
    *this = std::move(fresh);
}

} // namespace portio
