// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "termination_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] written by the handler, [1] read by the event loop. One pair per process.
int g_pair[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pair[0], &byte, 1); // a full socket already holds a request
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (g_pair[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0)
        return;
    fcntl(g_pair[0], F_SETFL, fcntl(g_pair[0], F_GETFL) | O_NONBLOCK);
    fcntl(g_pair[1], F_SETFL, fcntl(g_pair[1], F_GETFL) | O_NONBLOCK);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int signalNumber : kSignals)
        std::signal(signalNumber, SIG_DFL);
}

void TerminationSignals::listen()
{
    if (m_notifier || g_pair[1] < 0)
        return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

void TerminationSignals::drain()
{
    unsigned char byte = 0;
    while (::read(g_pair[1], &byte, 1) == 1)
        emit received(byte);
}
