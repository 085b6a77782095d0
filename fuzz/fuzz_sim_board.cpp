// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Board files: SimBoard::fromJson on the input, then the reads a sensor probe makes through the
// parsed board (configuration sequences, register walks, bank switches, memory reads), so the
// parsed data is used. A rejected file must come with an error line.

#include "sim_board.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Ports named in the input, read as the board file spells them; unreadable ones are skipped.
std::vector<uint16_t> portsOf(const QJsonObject& root, const char* list)
{
    std::vector<uint16_t> ports;
    for (const QJsonValue& entry : root.value(QLatin1String(list)).toArray()) {
        const QJsonValue port = entry.toObject().value(QLatin1String("port"));
        bool ok = port.isDouble();
        long long value = port.isDouble() ? port.toInt() : port.toString().trimmed().toLongLong(&ok, 0);
        if (ok && value >= 0 && value < 0xFFFF)
            ports.push_back(uint16_t(value));
    }
    return ports;
}

void walkSuperIo(portio::SimBoard& board, uint16_t port)
{
    for (uint8_t entry : {0x87, 0x87, 0x55, 0x01}) // both chip families' entry keys
        board.out(port, entry);
    for (uint8_t reg : {0x20, 0x21, 0x23, 0x24, 0x26, 0x2E}) {
        board.out(port, reg);
        board.in(uint16_t(port + 1));
    }
    for (uint8_t device = 0; device < 0x10; ++device) {
        board.out(port, 0x07);
        board.out(uint16_t(port + 1), device);
        for (uint8_t reg : {0x30, 0x60, 0x61, 0x70, 0xF0, 0xFF}) {
            board.out(port, reg);
            board.in(uint16_t(port + 1));
        }
    }
    board.out(port, 0xAA);
}

void walkMonitor(portio::SimBoard& board, uint16_t port)
{
    for (uint8_t bank : {0x00, 0x01, 0x80, 0x07}) {
        board.out(port, 0x4E);
        board.out(uint16_t(port + 1), bank);
        for (int reg = 0; reg < 256; reg += 7) {
            board.out(port, uint8_t(reg));
            board.in(uint16_t(port + 1));
        }
        board.out(port, 0x4F);
        board.in(uint16_t(port + 1));
    }
    board.in(port);
}

void readMemory(const portio::SimBoard& board, const QJsonObject& root)
{
    for (const QJsonValue& entry : root.value(QLatin1String("memory")).toArray()) {
        const QJsonValue address = entry.toObject().value(QLatin1String("address"));
        bool ok = address.isDouble();
        const qint64 start = address.isDouble() ? qint64(address.toDouble()) : address.toString().toLongLong(&ok, 0);
        if (!ok || start < 0 || start > 0xFFFFFFFFLL)
            continue;
        uint8_t buffer[64];
        board.readMemory(uint32_t(start), buffer, sizeof buffer); // also past the range's end
        board.readMemory(uint32_t(start > 16 ? start - 16 : 0), buffer, sizeof buffer);
    }
    uint8_t high[16];
    board.readMemory(0xFFFFFFF8u, high, sizeof high); // wraps past the top of the address space
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string json(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::optional<portio::SimBoard> board = portio::SimBoard::fromJson(json, &error);
    if (!board) {
        if (error.empty() || error.find('\n') != std::string::npos) {
            std::fprintf(stderr, "a rejected board file without one error line\n");
            std::abort();
        }
        return 0;
    }
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    for (uint16_t port : portsOf(root, "superio"))
        walkSuperIo(*board, port);
    for (uint16_t port : portsOf(root, "monitors"))
        walkMonitor(*board, port);
    for (uint16_t port : {0x2E, 0x4E, 0x290, 0x295, 0xA00})
        board->in(port);
    readMemory(*board, root);

    std::optional<portio::SimBoard> fresh = portio::SimBoard::fromJson(json, &error);
    if (!fresh)
        std::abort(); // the same text parsed once already
    board->takeValuesFrom(std::move(*fresh));
    for (uint16_t port : portsOf(root, "monitors"))
        walkMonitor(*board, port);
    return 0;
}
