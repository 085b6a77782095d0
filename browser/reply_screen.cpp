// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "reply_screen.h"

#include "messages.h"

namespace reply_screen {

bool worthParsing(const QByteArray& payload)
{
    if (payload.size() > msg::kMaxPayloadBytes)
        return false;
    int depth = 0;
    bool inString = false;
    for (int i = 0; i < payload.size(); ++i) {
        const char c = payload[i];
        if (inString) {
            if (c == '\\')
                ++i; // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxNesting)
                return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

} // namespace reply_screen
