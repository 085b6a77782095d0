// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "agent_answer.h"

#include "fleet_query.h"
#include "terminal_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString accountText(const QString& account)
{
    return account.isEmpty() ? QStringLiteral("the shared reply topic") : QStringLiteral("account ") + account;
}

} // namespace

AgentAnswer askTarget(CommandContext& context, int code, const QByteArray& request)
{
    const Options& options = context.options;
    const FleetQuery::Answer answer = context.query->askAgent(options.target, code, request, options.timeoutMs);
    const QString agent = msg::uuidText(options.target);
    if (!answer.reply)
        return {std::nullopt, QStringLiteral("no answer from %1 within %2 ms").arg(agent).arg(options.timeoutMs)};
    if (!answer.rivals.isEmpty()) {
        QStringList accounts{accountText(answer.account)};
        for (const QString& rival : answer.rivals)
            accounts << accountText(rival);
        return {std::nullopt,
                terminalText(QStringLiteral("%1 was answered for on %2: without the station's registry (--db) "
                                            "vrdctl cannot tell which is its own")
                                 .arg(agent, accounts.join(QStringLiteral(" and "))))};
    }
    return {answer.reply, QString()};
}

QString limitsText(const SensorTypeRow& type, const msg::SensorFigures& f)
{
    switch (type.rule) {
    case LimitRule::Window:
        return valueText(type.unit, f.low) + QStringLiteral(" .. ") + valueText(type.unit, f.high);
    case LimitRule::Ceiling:
        return QStringLiteral("<= ") + valueText(type.unit, f.high);
    case LimitRule::Floor:
        return QStringLiteral(">= ") + valueText(type.unit, f.low);
    case LimitRule::Never:
        break;
    }
    return QString();
}

void printJson(QTextStream& out, const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    out << terminalJson(document.toJson(QJsonDocument::Indented));
}
