// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl release ID: the station forgets which account speaks for an agent, so that the next
// reply of any account ties it again: what an operator does after moving an agent to another
// account (or to one of its own). A running station sees it within seconds of the next reply it
// refuses for that agent.

#include "client_accounts.h"
#include "command.h"
#include "terminal_text.h"

#include <QFileInfo>
#include <QSqlDatabase>

#include <cstdio>

namespace {

constexpr char kConnection[] = "vrdctl_release";
// The station may be writing the registry at the moment.
constexpr char kOptions[] = "QSQLITE_BUSY_TIMEOUT=5000";

int release(QSqlDatabase& db, const Options& options, QTextStream& out)
{
    const QString agent = msg::uuidText(options.target);
    const std::optional<QHash<QUuid, QString>> ties = client_accounts::read(db);
    if (!ties) {
        std::fprintf(stderr, "vrdctl: %s holds no account ties\n", qUtf8Printable(options.database));
        return ExitFailed;
    }
    const auto tie = ties->constFind(options.target);
    if (tie == ties->cend() || !client_accounts::remove(db, options.target)) {
        std::fprintf(stderr, "vrdctl: %s is not tied to an account in %s\n", qUtf8Printable(agent),
                     qUtf8Printable(options.database));
        return ExitFailed;
    }
    const QString account =
        tie->isEmpty() ? QStringLiteral("the shared reply topic") : QStringLiteral("account ") + *tie;
    out << "released " << agent << " from " << terminalText(account)
        << ": the next reply of any account ties it again\n";
    return ExitOk;
}

} // namespace

int runRelease(CommandContext& context)
{
    const Options& options = context.options;
    if (!QFileInfo(options.database).isFile()) {
        std::fprintf(stderr, "vrdctl: cannot read %s\n", qUtf8Printable(options.database));
        return ExitFailed;
    }
    int exit = ExitFailed;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kConnection));
        db.setDatabaseName(options.database);
        db.setConnectOptions(QLatin1String(kOptions));
        if (db.open())
            exit = release(db, options, context.out);
        else
            std::fprintf(stderr, "vrdctl: cannot open %s\n", qUtf8Printable(options.database));
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(kConnection));
    return exit;
}
