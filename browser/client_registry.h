#pragma once
// The station's registry of clients, "Client.sqlite": one row per client that ever answered an
// inventory request. Every value is bound as a parameter, so any text, quotes included, is
// stored verbatim. Failures are silent: a statement that fails changes nothing.
//
// Opened under the default connection name; one registry per process at a time.

#include "messages.h"

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

    // Opens the file for the rest of the run, creating it and its table where missing.
    bool open();

    // The first `limit` rows in the order the database returns them.
    QVector<Listed> clients(int limit) const;

    // Inventory of one client, its identity compared without regard to case.
    std::optional<Details> details(const QUuid& identity) const;

    // INSERT OR REPLACE of one inventory reply.
    bool store(const msg::Inventory& inventory);

    // Removes every row that has an identity.
    bool removeAll();

private:
    QString m_path;
    QSqlDatabase m_db;
};
