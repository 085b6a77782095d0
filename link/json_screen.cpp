// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "json_screen.h"

#include <QString>

#include <set>
#include <vector>

namespace msg {

namespace {

// One open object or array.
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

// Skips the string that opens at text[pos]; `pos` ends after its closing quote (or at the end).
void skipString(const QByteArray& text, int& pos)
{
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] == '\\')
            ++pos; // the escaped character cannot end the string
        else if (text[pos] == '"')
            break;
    }
    ++pos;
}

// The string that opens at text[pos], decoded as the reader decodes it; `pos` as for skipString.
QString decodeString(const QByteArray& text, int& pos)
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

Screened screenPayload(const QByteArray& payload)
{
    if (payload.size() > kMaxPayloadBytes)
        return Screened::TooLarge;
    std::vector<Nesting> open;
    for (int pos = 0; pos < payload.size();) {
        const char c = payload[pos];
        if (c == '"') {
            // Only keys are decoded; values are passed over.
            if (open.empty() || !open.back().keyNext) {
                skipString(payload, pos);
                continue;
            }
            open.back().keyNext = false;
            if (!open.back().keys.insert(decodeString(payload, pos)).second)
                return Screened::RepeatedKey;
            continue;
        }
        if (c == '{' || c == '[') {
            if (int(open.size()) >= kMaxNesting)
                return Screened::TooDeep;
            open.push_back({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !open.empty()) {
            open.pop_back();
        } else if (c == ',' && !open.empty() && open.back().object) {
            open.back().keyNext = true;
        }
        ++pos;
    }
    return Screened::Fine;
}

} // namespace msg
