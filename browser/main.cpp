// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "event_loop_watch.h"
#include "file_places.h"
#include "mainform.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const FilePlaces places =
        filePlaces(QStringLiteral("VrdBrowser"), QCoreApplication::applicationDirPath(), currentPlaceInputs());
    if (!createPlaces(places))
        qWarning("VrdBrowser: cannot create %s or %s", qPrintable(places.settingsDirectory),
                 qPrintable(places.dataDirectory));
    // Constructing the window compiles the resources in, the icon among them.
    Mainform window(places.settingsDirectory, places.dataDirectory);
    app.setWindowIcon(QIcon(QStringLiteral(":/Mainform/icons/varden_browser.png")));
    window.show();
    EventLoopWatch watch; // from here on: start-up may take its time
    return app.exec();
}
