// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "remote_text.h"

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
    QString shown = text;
    for (QChar& c : shown) {
        if (breaksOrControls(c))
            c = QLatin1Char(' ');
    }
    return shown;
}
