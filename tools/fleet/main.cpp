// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrd-fleet-sim: many simulated agents, each on the broker as a real agent is.
//
//   vrd-fleet-sim --port 1883 --channel VARDEN6 --agents 2000 --seed 7 [--duration 60] [login and TLS options]
//
// Prints "ready" once every agent listens for requests; with --print-agents, one line per agent
// before: "agent <identity> <name> <troubled sensor type or -1>". At the end of --duration it
// prints "requests <received> replies <sent>".

#include "access_options.h"
#include "board_reading.h"
#include "fleet.h"
#include "fleet_processes.h"
#include "inventory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

constexpr int kReadyPollMs = 50;
// Descriptors beside the agents' connections: the process's own files, libraries and pipes.
constexpr rlim_t kSpareDescriptors = 64;
// Three links per agent, each a socket and the link library's wake-up pair of descriptors.
constexpr int kDescriptorsPerAgent = 9;

const char kHelp[] =
    "Simulated agents answering the station's broker requests. Each agent is on the broker as a\n"
    "real agent is: three connections of its own (requests on channel + H2C and on its own topic\n"
    "channel + H2C/{identity}, subscribed; replies on channel + C2H/user, or channel + C2H without\n"
    "--user, not subscribed; the HQ token, subscribed), QoS 1 subscriptions, keep-alive 10 s, a\n"
    "reconnection attempt every second, and the replies a real agent sends. --shared-topics makes\n"
    "them agents that predate addressed topics: requests and replies on the shared topics only.\n"
    "The agents are spread over worker threads (--threads).\n"
    "Nine descriptors per agent (three sockets, each with the link library's wake-up pair): the\n"
    "open-files limit is raised to its hard limit at start, and when the agents do not fit under\n"
    "it they are spread over child processes of this program, each with a slice of the fleet.\n"
    "The broker needs three descriptors per agent.";

struct Parsed {
    FleetOptions options;
    int durationSeconds = 0;
    bool printAgents = false;
    QString boardFile; // empty: every agent on a machine of its own
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

// The options that take a number, with their bounds and where the number goes.
struct NumberOption {
    const char* name;
    const char* help;
    const char* valueName;
    const char* fallback;
    quint64 max;
    void (*store)(Parsed& parsed, quint64 value);
};

const NumberOption kNumberOptions[] = {
    {"agents", "Number of agents.", "N", "10", 1000000, [](Parsed& p, quint64 v) { p.options.agents = int(v); }},
    {"seed", "Seed of the fleet.", "S", "1", ~quint64(0), [](Parsed& p, quint64 v) { p.options.seed = v; }},
    {"troubled-percent", "Share of agents with one reading held out of limits.", "P", "10", 100,
     [](Parsed& p, quint64 v) { p.options.troubledShare = double(v) / 100.0; }},
    {"duration", "Seconds to run; 0 runs until stopped.", "seconds", "0", 365 * 86400,
     [](Parsed& p, quint64 v) { p.durationSeconds = int(v); }},
    {"threads", "Worker threads; 0: one per 2,500 agents, at most 8.", "T", "0", Fleet::kMaxThreads,
     [](Parsed& p, quint64 v) { p.options.threads = int(v); }},
};

// "first:count" within the fleet.
bool parseSlice(const QString& text, Parsed& parsed)
{
    const QStringList bounds = text.split(QLatin1Char(':'));
    quint64 first = 0;
    quint64 count = 0;
    if (bounds.size() != 2 || !parseNumber(bounds[0], quint64(parsed.options.agents), first)
        || !parseNumber(bounds[1], quint64(parsed.options.agents) - first, count))
        return false;
    parsed.options.first = int(first);
    parsed.options.count = int(count);
    return true;
}

// The command line alone; nothing when an option's value is not one.
std::optional<Parsed> parseArguments(const QCoreApplication& app)
{
    const BrokerSettings defaults = brokerDefaults(BrokerDefaults::Agent);
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(kHelp));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Broker address literal."),
                                  QStringLiteral("address"), defaults.host);
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Broker port."), QStringLiteral("port"),
                                  QString::number(defaults.port));
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("Channel (topic prefix)."),
                                     QStringLiteral("name"), defaults.channel);
    const QCommandLineOption hqToken(QStringLiteral("hq-token"), QStringLiteral("Topic of the agents' HQ link."),
                                     QStringLiteral("topic"), defaults.hqToken);
    const QCommandLineOption stamp(QStringLiteral("stamp"),
                                   QStringLiteral("Presence replies carry SimSentNs, the monotonic send time."));
    const QCommandLineOption board(QStringLiteral("board"),
                                   QStringLiteral("Every agent reads this simulated board (once, through the sensor "
                                                  "library) and reports this machine's inventory."),
                                   QStringLiteral("file"));
    const QCommandLineOption printAgents(QStringLiteral("print-agents"), QStringLiteral("List the agents at start."));
    const QCommandLineOption sharedTopics(QStringLiteral("shared-topics"),
                                          QStringLiteral("Agents without their own request topic or per-user "
                                                         "replies, and without OwnTopic in their replies."));
    QCommandLineOption slice(QStringLiteral("slice"), QStringLiteral("Run agents first to first + count - 1 only."),
                             QStringLiteral("first:count"));
    slice.setFlags(QCommandLineOption::HiddenFromHelp); // how the program starts its own children
    parser.addOptions({host, port, channel, hqToken, stamp, board, printAgents, sharedTopics, slice});
    for (const NumberOption& option : kNumberOptions)
        parser.addOption({QLatin1String(option.name), QLatin1String(option.help), QLatin1String(option.valueName),
                          QLatin1String(option.fallback)});
    addAccessOptions(parser);
    parser.process(app);

    Parsed parsed;
    BrokerSettings& broker = parsed.options.broker;
    broker = defaults;
    broker.enable = true;
    broker.host = parser.value(host);
    broker.channel = parser.value(channel);
    broker.hqToken = parser.value(hqToken);
    const std::optional<quint16> portNumber = parseBrokerPort(parser.value(port));
    if (QHostAddress(broker.host).isNull() || !portNumber)
        return std::nullopt;
    broker.port = *portNumber;
    parsed.options.stamp = parser.isSet(stamp);
    parsed.options.ownTopic = !parser.isSet(sharedTopics);
    parsed.printAgents = parser.isSet(printAgents);
    parsed.boardFile = parser.value(board);
    for (const NumberOption& option : kNumberOptions) {
        quint64 number = 0;
        if (!parseNumber(parser.value(QLatin1String(option.name)), option.max, number))
            return std::nullopt;
        option.store(parsed, number);
    }
    if (parser.isSet(slice) && !parseSlice(parser.value(slice), parsed))
        return std::nullopt;
    QString accessError;
    const std::optional<BrokerAccess> access = applyAccessOptions(parser, broker.access, accessError);
    if (!access)
        return std::nullopt;
    broker.access = *access;
    return parsed;
}

// With --board: the board's readings through the agent core's reading source, and this machine's
// inventory, for every agent. False when the board gives no readings.
bool readMachine(Parsed& parsed)
{
    if (parsed.boardFile.isEmpty())
        return true;
    parsed.options.boardSnapshot = readBoard(parsed.boardFile);
    if (!parsed.options.boardSnapshot)
        return false;
    const Inventory machine = gatherInventory();
    parsed.options.machineInventory = msg::Inventory{machine.sysUser, machine.procName, machine.osCaption,
                                                     machine.sysModel, machine.sysSerial, QString()};
    return true;
}

void printAgents(const Fleet& fleet)
{
    QTextStream out(stdout);
    for (const SimulatedMachine& machine : fleet.machines())
        out << "agent " << msg::uuidText(machine.identity) << ' ' << machine.inventory.comp << ' '
            << machine.troubledType << '\n';
}

// Raises the soft open-files limit to the hard one; the agents one process can then hold.
int agentsPerProcess()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur <= kSpareDescriptors)
        return 0;
    return int(std::min<rlim_t>((limit.rlim_cur - kSpareDescriptors) / kDescriptorsPerAgent, 1000000));
}

void printCounts(quint64 requests, quint64 replies)
{
    std::printf("requests %llu replies %llu\n", static_cast<unsigned long long>(requests),
                static_cast<unsigned long long>(replies));
}

// Runs the event loop until --duration is over (or a signal ends it), saying "ready" once
// isReady() holds.
int runUntilDone(QCoreApplication& app, const Parsed& parsed, const std::function<bool()>& isReady)
{
    QTimer readyPoll;
    QObject::connect(&readyPoll, &QTimer::timeout, [&] {
        if (!isReady())
            return;
        readyPoll.stop();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    readyPoll.start(kReadyPollMs);
    if (parsed.durationSeconds > 0)
        QTimer::singleShot(parsed.durationSeconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}

// Too many agents for one process: children run slices of the fleet.
int runChildren(QCoreApplication& app, const Parsed& parsed, int perProcess)
{
    if (parsed.printAgents)
        printAgents(Fleet(parsed.options));
    FleetProcesses children(app.arguments().mid(1), parsed.options.agents, perProcess);
    children.start();
    const int status = runUntilDone(app, parsed, [&children] { return children.isReady(); });
    quint64 requests = 0;
    quint64 replies = 0;
    children.finish(requests, replies);
    printCounts(requests, replies);
    return status;
}


} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::optional<Parsed> parsed = parseArguments(app);
    if (!parsed) {
        std::fprintf(stderr, "vrd-fleet-sim: invalid option value (see --help)\n");
        return 2;
    }
    if (!readMachine(*parsed)) {
        std::fprintf(stderr, "vrd-fleet-sim: the sensor library reads no chip on %s\n",
                     qUtf8Printable(parsed->boardFile));
        return 2;
    }
    const int perProcess = agentsPerProcess();
    const bool child = parsed->options.count >= 0;
    const int here = child ? parsed->options.count : parsed->options.agents;
    if (perProcess < 1 || (child && here > perProcess)) {
        std::fprintf(stderr, "vrd-fleet-sim: the open-files limit leaves no room for %d agents\n", here);
        return 2;
    }
    const BrokerSettings& broker = parsed->options.broker;
    const QString notice =
        parsed->options.ownTopic ? msg::userTopicNotice(broker.channel, broker.access.user) : QString();
    if (!child && !notice.isEmpty())
        std::fprintf(stderr, "vrd-fleet-sim: %s\n", qUtf8Printable(notice));
    if (child)
        endWithParent();
    else if (here > perProcess)
        return runChildren(app, *parsed, perProcess);
    Fleet fleet(parsed->options);
    if (parsed->printAgents)
        printAgents(fleet);
    fleet.start();
    const int status = runUntilDone(app, *parsed, [&fleet] { return fleet.isReady(); });
    printCounts(fleet.requestsSeen(), fleet.repliesSent());
    return status;
}
