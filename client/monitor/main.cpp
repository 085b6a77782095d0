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

#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] =
    "Usage: VrdClient [Qt options]\n"
    "The Varden agent in the notification area: reads this PC's hardware monitor once a second,\n"
    "alarms when a switched-on reading leaves its limits, logs the readings every ten seconds and\n"
    "answers the station on the MQTT broker named in VRD.INI. The window is hidden at start; the\n"
    "tray icon opens it. One agent runs per login session. On a machine without a desktop, run\n"
    "vrd-agent instead.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this text and exit.\n"
    "  -v, --version  Show the version and exit.\n"
    "  --quit         End the agent running in this login session and exit.\n"
    "Qt's standard options (such as -platform offscreen) are passed on to Qt.\n";

// Only the program's own options are looked at (--quit below); everything else is Qt's, as it always was.
bool answeredOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (!std::strcmp(argv[i], "-v") || !std::strcmp(argv[i], "--version")) {
            std::printf("VrdClient %s\n", VRD_VERSION);
            return true;
        }
    }
    return false;
}

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
    if (answeredOption(argc, argv))
        return 0;
    // Held until the process ends, so a new client cannot start while this one still shuts down.
    SingleInstanceLock instance(kAgentInstanceName);
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
    AgentSetup setup;
    setup.settingsPath = places.settingsFile(kSettingsFileName);
    setup.dataDirectory = places.dataDirectory;
    Mainform window(setup);
    QObject::connect(&termination, &TerminationSignals::received, &window, &Mainform::slot_QuitRequested);
    termination.listen();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    EventLoopWatch watch; // from here on: start-up may take its time
    return app.exec();
}
