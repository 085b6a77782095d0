// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl's options, from its VRD.INI and its command line, checked once for every command.

#include "fleet_query.h"

#include <QString>
#include <QUuid>

#include <optional>

class QCommandLineParser;

struct Options {
    BrokerSettings broker;
    int timeoutMs = 3000;
    bool json = false;
    QUuid target; // the agent of a command that names one

    bool today = false; // faults

    // history
    std::optional<int> type; // none: every type (with summary only)
    int hours = 24;
    int points = 0; // 0: 500 buckets for lines and JSON, 60 for sparklines
    bool summary = false;

    // The station's registry: its fleet events (events), its ties (release, and every command that
    // asks agents). databaseGiven: named on the command line rather than the default.
    QString database;
    bool databaseGiven = false;
    std::optional<QString> since; // events: --since as given
};

// Adds every option of vrdctl but --help.
void addOptions(QCommandLineParser& parser);

// The options as the settings file and the command line give them; nothing, and the reason in
// `error`, for a value that cannot be used.
std::optional<Options> readOptions(const QCommandLineParser& parser, QString& error);
