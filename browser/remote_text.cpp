// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "remote_text.h"

#include "messages.h"

namespace {

constexpr char16_t kLineSeparator = 0x2028;
constexpr char16_t kParagraphSeparator = 0x2029;

bool breaksOrControls(QChar c)
{
    return c.category() == QChar::Other_Control || c.unicode() == kLineSeparator ||
           c.unicode() == kParagraphSeparator;
}

} // namespace

QString oneLineText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (breaksOrControls(c))
            shown += QLatin1Char(' ');
        else if (msg::isDirectionFormat(c))
            shown += QStringLiteral("[U+%1]").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}
