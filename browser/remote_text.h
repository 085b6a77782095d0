// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Texts that come from the broker or the registry (names, inventory, fault texts) are shown as
// plain characters on one line: any program on the broker can send them, and neither markup, line
// breaks nor direction marks in them may change the window. Widgets showing them use plain text
// format too.

#include <QString>

// The text with every control character (line breaks and tabs among them, and the Unicode line
// and paragraph separators) replaced by a space, and every bidirectional or invisible format
// character (msg::isDirectionFormat) by a visible mark such as "[U+202E]": a right-to-left
// override would otherwise show "exe.txt" for "txt.exe". Every other character unchanged.
QString oneLineText(const QString& text);
