// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The one pass over a received payload before Qt's JSON reader sees it. Anyone on the broker can
// publish, so a payload is judged on its bytes first: too large, nested deeper than any message of
// the protocol, or holding one key twice within an object, and it is dropped unread.
//
// Nesting: every JSON reader recurses or allocates per level, and the deepest message of the
// protocol, the history reply {"History":[{"Points":[[...]]}]}, has five levels.
// Repeated keys: Qt's JSON reader loses the memory of an object or array that a later equal key
// replaces, about four times the payload's size for a payload of nothing else, so they would let
// any sender grow a program without bound. No message of this protocol repeats a key.

#include <QByteArray>

namespace msg {

// Payloads above this size are dropped unread: no message of this protocol comes near it.
constexpr int kMaxPayloadBytes = 64 * 1024;

// Room for three more levels than the deepest message.
constexpr int kMaxNesting = 8;

enum class Screened { Fine, TooLarge, TooDeep, RepeatedKey };

// Keys are compared as the reader decodes them, so an escaped letter and the letter itself are
// one key. Text that is not JSON passes when none of the above holds: the reader rejects it.
Screened screenPayload(const QByteArray& payload);

} // namespace msg
