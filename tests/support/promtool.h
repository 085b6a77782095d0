// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The real promtool on a metrics text.

#include <QByteArray>
#include <QString>

namespace vrdtest {

struct PromtoolResult {
    int exitCode;
    QString output;
};

// `promtool check metrics` reads the exposition from standard input and prints every problem,
// lint findings included; a clean file gives exit 0 and no output.
PromtoolResult promtoolCheck(const QByteArray& text);

// The promtool program the build found.
QString promtoolProgram();

} // namespace vrdtest
