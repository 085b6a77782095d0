// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Agents' texts (names, processor, OS, fault texts) are printed on a terminal, and any program on
// the broker can answer in an agent's name: control characters in them must not move the
// cursor, change the window title, clear the screen or hide lines, and direction marks must not
// reorder what is shown (a right-to-left override shows "exe.txt" for "txt.exe").

#include <QByteArray>
#include <QString>

// The text with every C0 control, DEL and C1 control written as a visible escape ("\x1b",
// "\x7f", "\x9b"), and every bidirectional or invisible format character (msg::isDirectionFormat)
// as "\u202e"; every other character as it is.
QString terminalText(const QString& text);

// Compact or indented JSON as the Qt writer makes it, with DEL, the C1 controls (which JSON may
// carry raw, and some terminals obey) and the direction marks written as \u escapes. The document
// means the same.
QByteArray terminalJson(const QByteArray& json);
