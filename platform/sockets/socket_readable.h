// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Whether a socket has bytes to read now, without waiting: poll() on Linux, WSAPoll() on Windows.

// `socket` as libmosquitto hands it out (an int on both systems).
bool socketHasData(int socket);
