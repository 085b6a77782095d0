// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl: the station's requests for scripts and terminals.
//
//   vrdctl [--host H] [--port P] [--channel C] [--timeout MS] [--json] [login and TLS options] list
//   vrdctl ... sensors ID
//   vrdctl ... faults ID [--today]
//   vrdctl ... check ID      exit 0 all within limits, 2 a switched-on reading out of limits, 3 no answer
//   vrdctl ... history ID --type T [--hours H] [--points N] [--summary]
//   vrdctl [--db FILE] [--since WHEN] [--json] events    the station's fleet events
//   vrdctl [--db FILE] release ID                          forget the account an agent is tied to
//
// The commands are rows of commands.cpp, each done in a file of its own.

#include "client_accounts.h"
#include "command.h"
#include "fleet_query.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QTextStream>

#include <cstdio>

namespace {

int usage(const QCommandLineParser& parser)
{
    std::fputs(qPrintable(parser.helpText()), stderr);
    return ExitUnknown;
}

// The station's ties, when vrdctl can read its registry: the default one only when it exists; one
// named on the command line must open. A registry of a station from before ties were kept has none.
std::optional<QHash<QUuid, QString>> stationTies(const Options& options)
{
    const bool exists = QFileInfo(options.database).isFile();
    if (!exists && !options.databaseGiven)
        return QHash<QUuid, QString>();
    std::optional<QHash<QUuid, QString>> ties;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("vrdctl_ties"));
        db.setDatabaseName(options.database);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (exists && db.open())
            ties = client_accounts::read(db).value_or(QHash<QUuid, QString>());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("vrdctl_ties"));
    return ties;
}

int runOnBroker(const Command& command, const Options& options, QTextStream& out)
{
    if (QHostAddress(options.broker.host).isNull()) {
        std::fprintf(stderr, "vrdctl: %s is not an IP address\n", qUtf8Printable(options.broker.host));
        return ExitUnknown;
    }
    const std::optional<QHash<QUuid, QString>> ties = stationTies(options);
    if (!ties) {
        std::fprintf(stderr, "vrdctl: cannot read %s\n", qUtf8Printable(options.database));
        return ExitUnknown;
    }
    FleetQuery query(options.broker, *ties);
    if (!query.connect(options.timeoutMs)) {
        std::fprintf(stderr, "vrdctl: cannot reach the broker at %s:%u\n", qUtf8Printable(options.broker.host),
                     options.broker.port);
        return ExitUnknown;
    }
    CommandContext context{options, &query, out};
    return command.run(context);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Asks the agents on a broker channel.\n") + commandsHelp()
        + QStringLiteral("An agent is asked on its own topic first, then, after half of --timeout (at most a\n"
                         "second) without an answer, on the channel's shared topic. Replies the station would\n"
                         "refuse are refused: retained ones, unasked ones, and those on another account's\n"
                         "topic than the agent's (its ties are read from --db).\n"
                         "Defaults come from VRD.INI in the working directory when present; else, when vrdctl\n"
                         "runs from the directory it was installed to, from the station's\n"
                         "$XDG_CONFIG_HOME/varden/VrdBrowser/VRD.INI."));
    parser.addHelpOption();
    addOptions(parser);
    parser.addPositionalArgument("command", "list, sensors, faults, check, history, events or release");
    parser.addPositionalArgument("ID", "agent identity, with or without braces");
    parser.process(app);

    QString error;
    std::optional<Options> options = readOptions(parser, error);
    if (!options) {
        std::fprintf(stderr, "vrdctl: %s\n", qUtf8Printable(error));
        return ExitUnknown;
    }
    const QStringList args = parser.positionalArguments();
    const Command* command = args.isEmpty() ? nullptr : findCommand(args.first());
    if (!command || args.size() != (command->namesAgent ? 2 : 1))
        return usage(parser);
    if (command->namesAgent) {
        options->target = msg::parseUuid(args[1]);
        if (options->target.isNull())
            return usage(parser);
    }
    QTextStream out(stdout);
    if (command->asksAgents)
        return runOnBroker(*command, *options, out);
    CommandContext context{*options, nullptr, out};
    return command->run(context);
}
