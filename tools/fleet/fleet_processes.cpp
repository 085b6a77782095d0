// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "fleet_processes.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kFinishMs = 30000;

} // namespace

FleetProcesses::FleetProcesses(const QStringList& arguments, int agents, int perProcess)
    : m_arguments(arguments)
    , m_agents(agents)
    , m_perProcess(perProcess)
{
}

FleetProcesses::~FleetProcesses()
{
    for (Child& child : m_children) {
        child.process->terminate();
        if (!child.process->waitForFinished(5000))
            child.process->kill();
        child.process->waitForFinished(2000);
    }
}

void FleetProcesses::start()
{
    for (int first = 0; first < m_agents; first += m_perProcess) {
        Child child;
        child.process = std::make_unique<QProcess>();
        child.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const int count = std::min(m_perProcess, m_agents - first);
        child.process->start(QCoreApplication::applicationFilePath(),
                             m_arguments + QStringList{QStringLiteral("--slice"), QStringLiteral("%1:%2").arg(first).arg(count)});
        m_children.push_back(std::move(child));
    }
}

bool FleetProcesses::isReady()
{
    bool ready = !m_children.empty();
    for (Child& child : m_children) {
        child.output += child.process->readAllStandardOutput();
        ready = ready && child.output.contains("ready");
    }
    return ready;
}

void FleetProcesses::finish(quint64& requests, quint64& replies)
{
    const QRegularExpression counts(QStringLiteral("requests (\\d+) replies (\\d+)"));
    for (Child& child : m_children) {
        child.process->waitForFinished(kFinishMs);
        child.output += child.process->readAllStandardOutput();
        const QRegularExpressionMatch match = counts.match(QString::fromUtf8(child.output));
        requests += match.captured(1).toULongLong();
        replies += match.captured(2).toULongLong();
    }
}

void endWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}
