// vrd-fleet-sim: answers the agents' side of the broker protocol for many simulated agents.
//
//   vrd-fleet-sim --port 1883 --channel VARDEN6 --agents 2000 --seed 7 [--duration 60]
//
// Prints "ready" once it listens for requests; with --print-agents, one line per agent before:
// "agent <identity> <name> <troubled sensor type or -1>". At the end of --duration it prints
// "requests <received> replies <sent>".

#include "fleet.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kReadyPollMs = 50;

struct Parsed {
    FleetOptions options;
    int durationSeconds = 0;
    bool printAgents = false;
};

bool parseNumber(const QString& text, quint64 max, quint64& out)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    if (!ok || value > max)
        return false;
    out = value;
    return true;
}

std::optional<Parsed> parseArguments(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated agents answering the station's broker requests."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Broker address literal."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Broker port."), QStringLiteral("port"),
                                  QStringLiteral("1883"));
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("Channel (topic prefix)."),
                                     QStringLiteral("name"), QStringLiteral("VARDEN6"));
    const QCommandLineOption agents(QStringLiteral("agents"), QStringLiteral("Number of agents."),
                                    QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the fleet."), QStringLiteral("S"),
                                  QStringLiteral("1"));
    const QCommandLineOption troubled(QStringLiteral("troubled-percent"),
                                      QStringLiteral("Share of agents with one reading held out of limits."),
                                      QStringLiteral("P"), QStringLiteral("10"));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Seconds to run; 0 runs until stopped."),
                                      QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption stamp(QStringLiteral("stamp"),
                                   QStringLiteral("Presence replies carry SimSentNs, the monotonic send time."));
    const QCommandLineOption printAgents(QStringLiteral("print-agents"), QStringLiteral("List the agents at start."));
    parser.addOptions({host, port, channel, agents, seed, troubled, duration, stamp, printAgents});
    parser.process(app);

    Parsed parsed;
    quint64 number = 0;
    parsed.options.host = QHostAddress(parser.value(host));
    if (parsed.options.host.isNull())
        return std::nullopt;
    if (!parseNumber(parser.value(port), 0xffff, number))
        return std::nullopt;
    parsed.options.port = quint16(number);
    parsed.options.channel = parser.value(channel);
    if (!parseNumber(parser.value(agents), 1000000, number))
        return std::nullopt;
    parsed.options.agents = int(number);
    if (!parseNumber(parser.value(seed), ~quint64(0), number))
        return std::nullopt;
    parsed.options.seed = number;
    if (!parseNumber(parser.value(troubled), 100, number))
        return std::nullopt;
    parsed.options.troubledShare = double(number) / 100.0;
    if (!parseNumber(parser.value(duration), 365 * 86400, number))
        return std::nullopt;
    parsed.durationSeconds = int(number);
    parsed.options.stamp = parser.isSet(stamp);
    parsed.printAgents = parser.isSet(printAgents);
    return parsed;
}

void printAgents(const Fleet& fleet)
{
    QTextStream out(stdout);
    for (const Agent& agent : fleet.agents())
        out << "agent " << msg::uuidText(agent.identity) << ' ' << agent.inventory.comp << ' ' << agent.troubledType
            << '\n';
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<Parsed> parsed = parseArguments(app);
    if (!parsed) {
        std::fprintf(stderr, "vrd-fleet-sim: invalid option value (see --help)\n");
        return 2;
    }
    Fleet fleet(parsed->options);
    if (parsed->printAgents)
        printAgents(fleet);
    fleet.start();

    QTimer readyPoll;
    QObject::connect(&readyPoll, &QTimer::timeout, [&] {
        if (!fleet.isReady())
            return;
        readyPoll.stop();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    readyPoll.start(kReadyPollMs);
    if (parsed->durationSeconds > 0)
        QTimer::singleShot(parsed->durationSeconds * 1000, &app, &QCoreApplication::quit);
    const int status = app.exec();
    std::printf("requests %llu replies %llu\n", static_cast<unsigned long long>(fleet.requestsSeen()),
                static_cast<unsigned long long>(fleet.repliesSent()));
    return status;
}
