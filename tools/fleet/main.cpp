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
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

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
    const QCommandLineOption sharedTopics(QStringLiteral("shared-topics"),
                                          QStringLiteral("Agents without their own request topic or per-user "
                                                         "replies, and without OwnTopic in their replies."));
    QCommandLineOption slice(QStringLiteral("slice"), QStringLiteral("Run agents first to first + count - 1 only."),
                             QStringLiteral("first:count"));
    slice.setFlags(QCommandLineOption::HiddenFromHelp); // how the program starts its own children
    parser.addOptions({host, port, channel, agents, seed, troubled, duration, stamp, hqToken, threads, board, printAgents,
                       sharedTopics, slice});
    addAccessOptions(parser);
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
    link.ownTopic = !parser.isSet(sharedTopics);
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
    if (parser.isSet(slice)) {
        const QStringList bounds = parser.value(slice).split(QLatin1Char(':'));
        quint64 first = 0;
        quint64 count = 0;
        if (bounds.size() != 2 || !parseNumber(bounds[0], quint64(parsed.options.agents), first)
            || !parseNumber(bounds[1], quint64(parsed.options.agents) - first, count))
            return std::nullopt;
        parsed.options.first = int(first);
        parsed.options.count = int(count);
    }
    QString accessError;
    const std::optional<BrokerAccess> access = applyAccessOptions(parser, BrokerAccess(), accessError);
    if (!access)
        return std::nullopt;
    parsed.options.link.access = *access;
    return parsed;
}

void printAgents(const Fleet& fleet)
{
    QTextStream out(stdout);
    for (const Agent& agent : fleet.agents())
        out << "agent " << msg::uuidText(agent.identity) << ' ' << agent.inventory.comp << ' ' << agent.troubledType
            << '\n';
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
    return limit.rlim_cur > kSpareDescriptors ? int(std::min<rlim_t>((limit.rlim_cur - kSpareDescriptors) / kDescriptorsPerAgent, 1000000)) : 0;
}

void printCounts(quint64 requests, quint64 replies)
{
    std::printf("requests %llu replies %llu\n", static_cast<unsigned long long>(requests),
                static_cast<unsigned long long>(replies));
}

void sayReady()
{
    std::printf("ready\n");
    std::fflush(stdout);
}

// Too many agents for one process: children run slices of the fleet.
int runChildren(QCoreApplication& app, const Parsed& parsed, int perProcess)
{
    if (parsed.printAgents)
        printAgents(Fleet(parsed.options));
    FleetProcesses children(app.arguments().mid(1), parsed.options.agents, perProcess);
    children.start();
    QTimer readyPoll;
    QObject::connect(&readyPoll, &QTimer::timeout, [&] {
        if (!children.isReady())
            return;
        readyPoll.stop();
        sayReady();
    });
    readyPoll.start(kReadyPollMs);
    if (parsed.durationSeconds > 0)
        QTimer::singleShot(parsed.durationSeconds * 1000, &app, &QCoreApplication::quit);
    const int status = app.exec();
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
    const std::optional<Parsed> parsed = parseArguments(app);
    if (!parsed) {
        std::fprintf(stderr, "vrd-fleet-sim: invalid option value (see --help)\n");
        return 2;
    }
    const int perProcess = agentsPerProcess();
    const bool child = parsed->options.count >= 0;
    const int here = child ? parsed->options.count : parsed->options.agents;
    if (perProcess < 1 || (child && here > perProcess)) {
        std::fprintf(stderr, "vrd-fleet-sim: the open-files limit leaves no room for %d agents\n", here);
        return 2;
    }
    const LinkSettings& link = parsed->options.link;
    const QString notice = link.ownTopic ? msg::userTopicNotice(link.channel, link.access.user) : QString();
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

    QTimer readyPoll;
    QObject::connect(&readyPoll, &QTimer::timeout, [&] {
        if (!fleet.isReady())
            return;
        readyPoll.stop();
        sayReady();
    });
    readyPoll.start(kReadyPollMs);
    if (parsed->durationSeconds > 0)
        QTimer::singleShot(parsed->durationSeconds * 1000, &app, &QCoreApplication::quit);
    const int status = app.exec();
    printCounts(fleet.requestsSeen(), fleet.repliesSent());
    return status;
}
