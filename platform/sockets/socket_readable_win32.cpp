// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "socket_readable.h"

#include <winsock2.h>

bool socketHasData(int socket)
{
    WSAPOLLFD waiting{SOCKET(socket), POLLRDNORM, 0};
    return WSAPoll(&waiting, 1, 0) > 0 && (waiting.revents & POLLRDNORM);
}
