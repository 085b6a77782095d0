// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "event_loop_watch.h"
#include "file_places.h"
#include "mainform.h"
#include "single_instance.h"
#include "termination_signals.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[])
{
    // Held until the process ends, so a new client cannot start while this one still shuts down.
    SingleInstanceLock instance(QStringLiteral("DD4B0E7C-A259-48DA-859F-47233CBE2557"));
    if (!instance.tryAcquire())
        return -1;

    QApplication app(argc, argv);
    // The window is hidden most of the time; only the client's own quit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    TerminationSignals termination;
    const FilePlaces places = filePlaces(QStringLiteral("VrdClient"), QString(), currentPlaceInputs());
    if (!createPlaces(places))
        qWarning("VrdClient: cannot create %s or %s", qPrintable(places.settingsDirectory),
                 qPrintable(places.dataDirectory));
    MainformSetup setup;
    setup.settingsPath = places.settingsFile(kSettingsFileName);
    setup.dataDirectory = places.dataDirectory;
    Mainform window(setup);
    QObject::connect(&termination, &TerminationSignals::received, &window, &Mainform::slot_QuitRequested);
    termination.listen();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    EventLoopWatch watch; // from here on: start-up may take its time
    return app.exec();
}
