// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Agents' texts (names, processor, OS, fault texts) are printed on a terminal, and any program on
// the broker can answer in an agent's name: control characters in them must not move the
// cursor, change the window title, clear the screen or hide lines.

#include <QByteArray>
#include <QString>

// The text with every C0 control, DEL and C1 control written as a visible escape ("\x1b",
// "\x7f", "\x9b"); every other character as it is.
QString terminalText(const QString& text);

// Compact or indented JSON as the Qt writer makes it, with DEL and the C1 controls (which JSON may
// carry raw, and some terminals obey) written as \u escapes. The document means the same.
QByteArray terminalJson(const QByteArray& json);
