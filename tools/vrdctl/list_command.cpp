// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// vrdctl list: every agent that answers the broadcast requests, with its inventory and load.

#include "agent_answer.h"
#include "command.h"
#include "fleet_query.h"
#include "terminal_text.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <cstdio>
#include <iterator>

namespace {

constexpr int kListWaitMs = 1500;

// Columns padded to their widths. The agents' texts are joined, never used as a format, where a
// "%2" in a name would pull the next column into it.
QString listRow(const QStringList& cells)
{
    static constexpr int kWidths[] = {38, 20, 40, 30};
    QString row;
    for (int i = 0; i < cells.size(); ++i)
        row += i < int(std::size(kWidths)) ? cells[i].leftJustified(kWidths[i]) + QStringLiteral("  ") : cells[i];
    return row + QLatin1Char('\n');
}

} // namespace

int runList(CommandContext& context)
{
    FleetQuery& query = *context.query;
    query.send(msg::KindInventory, msg::broadcastUuid());
    query.send(msg::KindProcessorLoad, msg::broadcastUuid());
    const auto replies = query.collect(
        [](const msg::Envelope& e) { return e.code == msg::KindInventory || e.code == msg::KindProcessorLoad; },
        [](const QVector<msg::Envelope>&) { return false; }, kListWaitMs);

    struct Agent {
        msg::Inventory inventory;
        int load = -1;
    };
    QMap<QString, Agent> agents;
    for (const msg::Envelope& reply : replies) {
        const std::optional<QUuid> from = msg::addressOf(reply.object);
        if (!from || from->isNull())
            continue;
        Agent& agent = agents[msg::uuidText(*from)];
        if (reply.code == msg::KindInventory)
            agent.inventory = msg::parseInventoryReply(reply.object);
        else
            agent.load = msg::parseLoadReply(reply.object);
    }
    if (context.options.json) {
        QJsonArray rows;
        for (auto it = agents.cbegin(); it != agents.cend(); ++it)
            rows.append(QJsonObject{{"uuid", it.key()}, {"name", it->inventory.comp}, {"cpu", it->inventory.cpu},
                                    {"os", it->inventory.os}, {"model", it->inventory.sysModel},
                                    {"serial", it->inventory.sysSerial},
                                    {"load", it->load < 0 ? QJsonValue() : QJsonValue(it->load)}});
        printJson(context.out, rows);
        return ExitOk;
    }
    context.out << listRow({"IDENTITY", "NAME", "PROCESSOR", "OS", "LOAD"});
    for (auto it = agents.cbegin(); it != agents.cend(); ++it)
        context.out << listRow({it.key(), terminalText(it->inventory.comp), terminalText(it->inventory.cpu),
                                terminalText(it->inventory.os),
                                it->load < 0 ? QStringLiteral("-") : QStringLiteral("%1%").arg(it->load)});
    if (agents.isEmpty())
        std::fprintf(stderr, "vrdctl: no agent answered within %d ms\n", kListWaitMs);
    return ExitOk;
}
