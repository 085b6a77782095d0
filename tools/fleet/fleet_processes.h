// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A fleet larger than one process's descriptors allow, spread over child processes of this
// program: each runs a slice of the same fleet (same seed, so the same agents) and says
// "ready"; the parent says "ready" once all have, and adds up their counters at the end.
// A child ends with its parent (the kernel sends it SIGTERM when the parent dies).

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <memory>
#include <vector>

class FleetProcesses {
public:
    // arguments: the program's own arguments, to which each child's --slice is added.
    FleetProcesses(const QStringList& arguments, int agents, int perProcess);
    ~FleetProcesses();

    void start();
    bool isReady();
    // Waits for the children to end (after their --duration) and sums "requests N replies M".
    void finish(quint64& requests, quint64& replies);

private:
    struct Child {
        std::unique_ptr<QProcess> process;
        QByteArray output;
    };

    QStringList m_arguments;
    int m_agents;
    int m_perProcess;
    std::vector<Child> m_children;
};

// In a child: the kernel ends it when its parent dies.
void endWithParent();
