// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What the commands that ask one agent share: the answer, or why there is none to use.

#include "command.h"
#include "messages.h"
#include "sensor_types.h"

#include <QJsonValue>

#include <optional>

struct AgentAnswer {
    std::optional<msg::Envelope> reply;
    QString problem; // without a reply: "no answer from {...} within 3000 ms", or why it cannot be trusted
};

// Asks the agent of the options with `request` (kind `code`). A reply that another account gave
// as well, for an agent the registry does not tie, is no answer.
AgentAnswer askTarget(CommandContext& context, int code, const QByteArray& request);

// "1.100 .. 1.500", "<= 70", ">= 1000": the limits of a reading in its unit.
QString limitsText(const SensorTypeRow& type, const msg::SensorFigures& figures);

// Indented JSON with the terminal's escapes (terminal_text.h).
void printJson(QTextStream& out, const QJsonValue& value);
