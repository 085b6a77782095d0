// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's registry of clients, "Client.sqlite": one row per client that ever answered an
// inventory request, and the account each is tied to (client_accounts.h). This is the window's
// read side (the list at start, the details of a clicked client, the ties at start);
// RegistryWriter writes on a thread of its own. Every value is bound as a
// parameter, so any text, quotes included, is read and stored verbatim. Failures are silent.
//
// Opened under the default connection name; one registry per process at a time.

#include "messages.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QUuid>
#include <QVector>

#include <optional>

class ClientRegistry {
public:
    struct Listed {
        QString name; // COMPUTERNAME
        QString guid; // GUID as stored
        QString os;   // OSNAME
    };

    struct Details {
        QString cpu;    // CPUNAME
        QString os;     // OSNAME
        QString model;  // SYSMODEL
        QString serial; // SYSSERIL
    };

    explicit ClientRegistry(const QString& path);
    ~ClientRegistry(); // closes the database

    ClientRegistry(const ClientRegistry&) = delete;
    ClientRegistry& operator=(const ClientRegistry&) = delete;

    // Opens the file for the rest of the run, creating it and its tables where missing.
    bool open();

    // Every row, by name and then identity, so that a restarted station lists in a stable order.
    QVector<Listed> clients() const;

    // Every client of the registry with the account it is tied to; none for a client stored
    // before ties were kept.
    QHash<QUuid, std::optional<QString>> knownIdentities() const;

    // Inventory of one client, its identity compared without regard to case.
    std::optional<Details> details(const QUuid& identity) const;

private:
    QString m_path;
    QSqlDatabase m_db;
};
