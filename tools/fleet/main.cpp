// vrd-fleet-sim: many simulated agents, each on the broker as a real agent is.
//
//   vrd-fleet-sim --port 1883 --channel VARDEN6 --agents 2000 --seed 7 [--duration 60]
//
// Prints "ready" once every agent listens for requests; with --print-agents, one line per agent
// before: "agent <identity> <name> <troubled sensor type or -1>". At the end of --duration it
// prints "requests <received> replies <sent>".

#include "board_reading.h"
#include "fleet.h"
#include "inventory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int kReadyPollMs = 50;
// Descriptors beside the agents' connections: the process's own files, libraries and pipes.
constexpr rlim_t kSpareDescriptors = 64;
constexpr int kLinksPerAgent = 3;

const char kHelp[] =
    "Simulated agents answering the station's broker requests. Each agent is on the broker as a\n"
    "real agent is: three connections of its own (requests on channel + H2C, subscribed; replies\n"
    "on channel + C2H, not subscribed; the HQ token, subscribed), QoS 1 subscriptions, keep-alive\n"
    "10 s, a reconnection attempt every second, and the replies a real agent sends. The agents are\n"
    "spread over worker threads (--threads).\n"
    "Three descriptors per agent: the open-files limit is raised to its hard limit at start, and\n"
    "--agents is refused when 3 x N does not fit under it; run several simulators (each its own\n"
    "--seed) for more. The broker needs as many descriptors as well.";

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
    parser.setApplicationDescription(QLatin1String(kHelp));
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
    const QCommandLineOption hqToken(QStringLiteral("hq-token"), QStringLiteral("Topic of the agents' HQ link."),
                                     QStringLiteral("topic"), QStringLiteral("NORDA"));
    const QCommandLineOption threads(QStringLiteral("threads"),
                                     QStringLiteral("Worker threads; 0: one per 2,500 agents, at most 8."),
                                     QStringLiteral("T"), QStringLiteral("0"));
    const QCommandLineOption board(QStringLiteral("board"),
                                   QStringLiteral("Every agent reads this simulated board (once, through the sensor "
                                                  "library) and reports this machine's inventory."),
                                   QStringLiteral("file"));
    const QCommandLineOption printAgents(QStringLiteral("print-agents"), QStringLiteral("List the agents at start."));
    parser.addOptions({host, port, channel, agents, seed, troubled, duration, stamp, hqToken, threads, board, printAgents});
    parser.process(app);

    Parsed parsed;
    quint64 number = 0;
    LinkSettings& link = parsed.options.link;
    link.host = QHostAddress(parser.value(host));
    if (link.host.isNull())
        return std::nullopt;
    if (!parseNumber(parser.value(port), 0xffff, number))
        return std::nullopt;
    link.port = quint16(number);
    link.channel = parser.value(channel);
    link.hqToken = parser.value(hqToken);
    link.stamp = parser.isSet(stamp);
    if (!parseNumber(parser.value(threads), Fleet::kMaxThreads, number))
        return std::nullopt;
    parsed.options.threads = int(number);
    if (parser.isSet(board)) {
        parsed.options.boardSnapshot = readBoard(parser.value(board));
        if (!parsed.options.boardSnapshot)
            return std::nullopt;
        const Inventory machine = gatherInventory();
        parsed.options.machineInventory = msg::Inventory{machine.sysUser, machine.procName, machine.osCaption,
                                                         machine.sysModel, machine.sysSerial, QString()};
    }
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
    parsed.printAgents = parser.isSet(printAgents);
    return parsed;
}

// Raises the soft open-files limit to the hard one; false when the agents would not fit.
bool descriptorsFor(int agents)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    return rlim_t(agents) * kLinksPerAgent + kSpareDescriptors <= limit.rlim_cur;
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
    if (!descriptorsFor(parsed->options.agents)) {
        std::fprintf(stderr, "vrd-fleet-sim: %d agents need %d descriptors, more than the open-files limit allows\n",
                     parsed->options.agents, parsed->options.agents * kLinksPerAgent);
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
