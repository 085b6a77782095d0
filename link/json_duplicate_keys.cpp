// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "json_duplicate_keys.h"

#include <QString>

#include <algorithm>
#include <set>
#include <vector>

namespace {

// One open object or array while a payload is scanned for repeated keys.
struct Nesting {
    bool object = false;
    bool keyNext = false; // in an object: the next string is a key
    std::set<QString> keys;
};

// The character a two-character escape such as \n stands for; '"', '\\' and '/' stand for themselves.
char unescaped(char escape)
{
    switch (escape) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return escape;
    }
}

// The JSON string that starts at text[pos] (its opening quote), decoded as the reader decodes it,
// so an escaped letter and the letter itself are one key. `pos` ends after the closing quote.
QString jsonString(const QByteArray& text, int& pos)
{
    QString decoded;
    int run = ++pos;
    const auto flushRun = [&] { decoded += QString::fromUtf8(text.constData() + run, pos - run); };
    while (pos < text.size() && text[pos] != '"') {
        if (text[pos] != '\\') {
            ++pos;
            continue;
        }
        flushRun();
        const char escape = pos + 1 < text.size() ? text[pos + 1] : '\0';
        if (escape == 'u') {
            decoded += QChar(ushort(text.mid(pos + 2, 4).toUShort(nullptr, 16)));
            pos += 6;
        } else {
            decoded += QLatin1Char(unescaped(escape));
            pos += 2;
        }
        pos = std::min(pos, int(text.size()));
        run = pos;
    }
    flushRun();
    ++pos;
    return decoded;
}

} // namespace

bool jsonRepeatsAKey(const QByteArray& text)
{
    std::vector<Nesting> open;
    for (int pos = 0; pos < text.size();) {
        const char c = text[pos];
        if (c == '"') {
            const QString string = jsonString(text, pos);
            if (!open.empty() && open.back().keyNext) {
                open.back().keyNext = false;
                if (!open.back().keys.insert(string).second)
                    return true;
            }
            continue;
        }
        if (c == '{' || c == '[')
            open.push_back({c == '{', c == '{', {}});
        else if ((c == '}' || c == ']') && !open.empty())
            open.pop_back();
        else if (c == ',' && !open.empty() && open.back().object)
            open.back().keyNext = true;
        ++pos;
    }
    return false;
}
