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

#include <cstring>

namespace {

// How long "--quit" waits for the running client's normal shutdown (its logging thread may take
// two seconds, its settings are saved).
constexpr int kQuitWaitMs = 20000;

// "--quit": ends the client running in this session through its quit request instead of starting
// (for installers and scripts); 0 once none runs, 1 when it still runs after the wait.
bool quitRequested(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quit") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    // Held until the process ends, so a new client cannot start while this one still shuts down.
    SingleInstanceLock instance(QStringLiteral("DD4B0E7C-A259-48DA-859F-47233CBE2557"));
    if (quitRequested(argc, argv))
        return instance.endHolder(kQuitWaitMs) == SingleInstanceLock::HolderEnd::StillRunning ? 1 : 0;
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
