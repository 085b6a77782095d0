// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrd-agent: the Varden agent without a window, for servers and the system service. The same
// agent as the tray program (the same VRD.INI, databases, answers, logging and metrics file), its
// events on standard error in the journal's style.

#include "agent.h"
#include "file_places.h"
#include "journal.h"
#include "sensor_paths.h"
#include "single_instance.h"
#include "termination_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <optional>

namespace {

// Exit statuses, as the help text and the manual page list them; the systemd unit does not
// restart the agent after kExitNoSensor (RestartPreventExitStatus=).
enum Exit { kExitOk = 0, kExitUsage = 64, kExitNoSensor = 69, kExitRunning = 75 };

const char kDescription[] =
    "The Varden agent without a window: reads this machine's hardware monitor once a second, logs the\n"
    "readings every ten seconds, answers the station on the MQTT broker named in VRD.INI and writes\n"
    "the metrics file when asked to, as the tray program VrdClient does, with the same files. Events\n"
    "go to standard error, one line each with a journal priority prefix (<3> error ... <7> debug;\n"
    "debug lines only with DEBUG=1 in section DEBUG). SIGTERM and SIGINT end it through the normal\n"
    "shutdown (the settings saved, the logging thread ended).\n"
    "\n"
    "Files: under systemd (STATE_DIRECTORY set) all in that directory; started from the directory it\n"
    "was installed to, VRD.INI in $XDG_CONFIG_HOME/varden/VrdClient/ and the databases in\n"
    "$XDG_DATA_HOME/varden/VrdClient/; anywhere else the working directory.\n"
    "\n"
    "Exit status: 0 stopped by a signal; 64 bad command line; 69 no usable sensor (the sensor library\n"
    "cannot be loaded or finds no hardware monitor; the lines before say what was tried and what to\n"
    "do); 75 another agent (VrdClient or vrd-agent) already runs in this login session.";

struct Options {
    QString settingsFile; // empty: VRD.INI where the files rule puts it
};

// Nothing when the program is to end at once: after --help or --version (status 0), or a bad
// command line (reported, status 64 in `status`).
std::optional<Options> parseOptions(const QCoreApplication& app, int& status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this text and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Settings file to use instead of VRD.INI in its usual place."),
                                    QStringLiteral("FILE"));
    parser.addOptions({help, version, config});
    status = kExitOk;
    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error =
            parser.errorText().isEmpty() ? QStringLiteral("no arguments are taken") : parser.errorText();
        std::fprintf(stderr, "vrd-agent: %s (see --help)\n", qUtf8Printable(error));
        status = kExitUsage;
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        std::printf("vrd-agent %s\n", VRD_VERSION);
        return std::nullopt;
    }
    Options options;
    options.settingsFile = parser.value(config);
    return options;
}

QString brokerText(const Agent& agent)
{
    const BrokerSettings& broker = agent.brokerSettings();
    if (!broker.enable)
        return QStringLiteral("broker link off ([CLOUD] ENABLE=0)");
    return QStringLiteral("broker %1 port %2, channel %3").arg(broker.host).arg(broker.port).arg(broker.channel);
}

void tellStarted(const Agent& agent, const QString& settingsFile)
{
    const QString source = agent.sourceLine().isEmpty() ? QStringLiteral("source not named") : agent.sourceLine();
    QString line = QStringLiteral("started: %1; identity %2; %3; settings %4")
                       .arg(source, agent.hostIdentity().toString(), brokerText(agent),
                            QDir::cleanPath(QDir::current().absoluteFilePath(settingsFile)));
    const QString metrics = agent.exportSettings().prometheusDir;
    if (!metrics.isEmpty())
        line += QStringLiteral("; metrics file in %1").arg(metrics);
    journal::write(journal::Info, line);
}

void tellNoSensor(const Agent& agent, Agent::Start failure)
{
    const GaugeReadings& sensors = agent.sensors();
    if (failure == Agent::Start::LibraryNotLoaded) {
        journal::write(journal::Error, QStringLiteral("no usable sensor: the sensor library cannot be loaded (%1)")
                                           .arg(sensors.loadError()));
        journal::write(journal::Info,
                       QStringLiteral("tried: %1").arg(sensors.triedFiles().join(QStringLiteral(", "))));
        journal::write(journal::Notice, QStringLiteral("to fix: install the library where the program looks for it "
                                                       "(reinstall the varden package)"));
        return;
    }
    journal::write(journal::Error, QStringLiteral("no usable sensor found"));
    const SensorAdvice advice = noSensorAdvice(searchSensorPaths(), sensors.status(), agent.sourceLine().toStdString(),
                                               VRD_INSTALLED_DOCDIR "/examples/port-access.conf");
    for (const std::string& line : advice.tried)
        journal::write(journal::Info, QStringLiteral("tried: ") + QString::fromStdString(line));
    for (const std::string& line : advice.todo)
        journal::write(journal::Notice, QStringLiteral("to fix: ") + QString::fromStdString(line));
}

// The sensors out of their limits, as the fault log words them.
QString faultyReadings(const SensorSnapshot& snapshot)
{
    QStringList texts;
    for (const int code : kSensorLoggingOrder) {
        const SensorFigures figures = figuresOf(snapshot, code);
        if (outOfLimits(code, figures))
            texts << sensorLogText(code, figures.reading);
    }
    return texts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int status = kExitOk;
    const std::optional<Options> options = parseOptions(app, status);
    if (!options)
        return status;
    journal::installMessageHandler();

    // Held until the process ends, so a new agent cannot start while this one still shuts down.
    SingleInstanceLock instance(kAgentInstanceName);
    if (!instance.tryAcquire()) {
        journal::write(journal::Error, QStringLiteral("another agent (VrdClient or vrd-agent) runs in this login "
                                                      "session and keeps the same files; not starting"));
        return kExitRunning;
    }
    TerminationSignals termination;
    const FilePlaces places = filePlaces(QStringLiteral("VrdClient"), QString(), currentPlaceInputs());
    if (!createPlaces(places))
        journal::write(journal::Warning, QStringLiteral("cannot create %1 or %2")
                                             .arg(places.settingsDirectory, places.dataDirectory));
    AgentSetup setup;
    setup.settingsPath =
        options->settingsFile.isEmpty() ? places.settingsFile(kSettingsFileName) : options->settingsFile;
    setup.dataDirectory = places.dataDirectory;
    setup.debugSink = journal::debugLogLine;
    Agent agent(setup);
    QObject::connect(&agent, &Agent::settingsLoaded, [&agent] { journal::showDebug(agent.snapshot().Debug != 0); });
    QObject::connect(&agent, &Agent::faultEpisodeBegan, [&agent] {
        journal::write(journal::Warning, QStringLiteral("alarm: fault: ") + faultyReadings(agent.snapshot()));
    });
    QObject::connect(&agent, &Agent::faultEpisodeEnded,
                     [] { journal::write(journal::Notice, QStringLiteral("alarm: healthy")); });

    const Agent::Start started = agent.start();
    if (started != Agent::Start::Started) {
        tellNoSensor(agent, started);
        agent.noteStartFailure(started);
        return kExitNoSensor;
    }
    tellStarted(agent, setup.settingsPath);
    QObject::connect(&termination, &TerminationSignals::received, &app, &QCoreApplication::quit);
    termination.listen();
    const int result = app.exec();
    journal::write(journal::Info, QStringLiteral("stopping"));
    return result;
}
