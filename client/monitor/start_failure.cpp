// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "start_failure.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace {

bool displayAvailable()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

void showStartFailure()
{
    const QString text = QStringLiteral("<h3>Varden Client Monitor</h3>");
    const QString info = QStringLiteral("Can't detect the sensor. Please contact with vendor.");
    if (!displayAvailable()) {
        std::fprintf(stderr, "%s\n%s\n", qUtf8Printable(text), qUtf8Printable(info));
        return;
    }
    QMessageBox box;
    box.setText(text);
    box.setInformativeText(info);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}
