// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The repeated-key check every received payload passes before Qt's JSON reader sees it.

#include <QByteArray>

// True when some object in `text` holds one key twice, keys compared as the reader decodes them.
// Qt's JSON reader loses the memory of an object or array that a later equal key replaces,
// about four times the payload's size for a payload of nothing else, so repeated keys would let
// any sender on the broker grow either program without bound. No message of this protocol
// repeats a key within an object. Text that is not JSON passes: the reader rejects it.
bool jsonRepeatsAKey(const QByteArray& text);
