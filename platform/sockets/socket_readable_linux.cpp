// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "socket_readable.h"

#include <poll.h>

bool socketHasData(int socket)
{
    pollfd waiting{socket, POLLIN, 0};
    return ::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN);
}
