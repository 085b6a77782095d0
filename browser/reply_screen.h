// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The first look at a payload from the reply topic, before any parsing work: anyone on the
// broker can publish there, and the station must keep up with a flood. A payload too large or
// nested deeper than any reply of the protocol is dropped after one pass over its bytes.

#include <QByteArray>

namespace reply_screen {

// The deepest reply is {"Err50":[{...}]}: three levels. Margin for a future reply.
constexpr int kMaxNesting = 8;

// Whether the payload is within msg::kMaxPayloadBytes and kMaxNesting; text that is not JSON
// passes (the parser rejects it).
bool worthParsing(const QByteArray& payload);

} // namespace reply_screen
