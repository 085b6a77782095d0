// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "terminal_text.h"

namespace {

constexpr char16_t kDelete = 0x7f;
constexpr char16_t kLastC0 = 0x1f;
constexpr char16_t kFirstC1 = 0x80;
constexpr char16_t kLastC1 = 0x9f;

// UTF-8 writes U+0080 to U+009F as 0xC2 followed by the code point's own byte.
constexpr unsigned char kC1Lead = 0xc2;

bool isControl(char16_t c)
{
    return c <= kLastC0 || c == kDelete || (c >= kFirstC1 && c <= kLastC1);
}

} // namespace

QString terminalText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QByteArray terminalJson(const QByteArray& json)
{
    QByteArray shown;
    shown.reserve(json.size());
    for (int i = 0; i < json.size(); ++i) {
        const auto byte = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (byte == kDelete) {
            shown += "\\u007f";
        } else if (byte == kC1Lead && next >= kFirstC1 && next <= kLastC1) {
            shown += "\\u00" + QByteArray::number(next, 16);
            ++i;
        } else {
            shown += char(byte);
        }
    }
    return shown;
}
