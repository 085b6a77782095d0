// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "terminal_text.h"

#include "messages.h"

namespace {

constexpr char16_t kDelete = 0x7f;
constexpr char16_t kLastC0 = 0x1f;
constexpr char16_t kFirstC1 = 0x80;
constexpr char16_t kLastC1 = 0x9f;

bool isControl(char16_t c)
{
    return c <= kLastC0 || c == kDelete || (c >= kFirstC1 && c <= kLastC1);
}

QString unicodeEscape(QChar c)
{
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

} // namespace

QString terminalText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (msg::isDirectionFormat(c))
            shown += unicodeEscape(c);
        else
            shown += c;
    }
    return shown;
}

QByteArray terminalJson(const QByteArray& json)
{
    // The writer escapes the C0 controls itself; these characters it leaves raw, and they only
    // occur inside strings, where the escape means the same character.
    const QString text = QString::fromUtf8(json);
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == kDelete || (code >= kFirstC1 && code <= kLastC1) || msg::isDirectionFormat(c))
            shown += unicodeEscape(c);
        else
            shown += c;
    }
    return shown.toUtf8();
}
