// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The three requests of the port-I/O driver and their little-endian buffer layouts. The
// library fills them; every stand-in for the driver (simulated board, /dev/port, trace)
// decodes them from here.

#include <cstdint>
#include <cstring>

namespace portio {

constexpr uint32_t kPortAccess = 0xF1F82404;
constexpr uint32_t kMemoryRead = 0xF1F82408;
constexpr uint32_t kIndexedRead = 0xF1F82414;

constexpr uint32_t kPortAccessLength = 14;
constexpr uint32_t kMemoryReadLength = 1034;
constexpr uint32_t kIndexedReadLength = 24;

constexpr uint32_t kMemoryReadMax = 1024;

// PortAccess: port, width (always 1), direction, value to write, value read.
namespace port_access {
constexpr uint32_t kPort = 0;
constexpr uint32_t kWidth = 4;
constexpr uint32_t kDirection = 5;
constexpr uint32_t kWriteValue = 6;
constexpr uint32_t kReadValue = 10;
constexpr uint8_t kRead = 1;
constexpr uint8_t kWrite = 2;
} // namespace port_access

// MemoryRead: physical address, 0, 1 (read), byte count, the bytes.
namespace memory_read {
constexpr uint32_t kAddress = 0;
constexpr uint32_t kZero = 4;
constexpr uint32_t kRead = 5;
constexpr uint32_t kCount = 6;
constexpr uint32_t kData = 10;
} // namespace memory_read

// IndexedRead: index port, data port, the fixed bytes 01 01 03 00, register, result.
namespace indexed_read {
constexpr uint32_t kIndexPort = 0;
constexpr uint32_t kDataPort = 4;
constexpr uint32_t kFixed = 8;
constexpr uint8_t kFixedBytes[4] = {0x01, 0x01, 0x03, 0x00};
constexpr uint32_t kRegister = 12;
constexpr uint32_t kResult = 20;
} // namespace indexed_read

inline void put32(uint8_t* buffer, uint32_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        buffer[offset + i] = uint8_t(value >> (8 * i));
}

inline uint32_t get32(const uint8_t* buffer, uint32_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | buffer[offset + i];
    return value;
}

} // namespace portio
