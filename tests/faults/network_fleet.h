// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The network fault tests' own fixtures: the real VrdBrowser as a process, and what a test
// reads of a running process from /proc (its broker sockets, open files, resident memory) or
// from its standard error (the stalls the event-loop watch reports). The broker under fault is
// vrdtest::TestBroker, which can be killed, hung and resumed.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>
#include <string>

namespace nettest {

// The real VrdBrowser, copied into a program directory of its own with a "VRD.INI" that names
// the broker, on the offscreen platform, its standard error in a file.
class BrowserProcess {
public:
    BrowserProcess(quint16 port, const QString& channel);
    ~BrowserProcess();

    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    bool start();
    bool isRunning() const;
    qint64 pid() const;
    std::string errors() const;

    // An identity its registry listed at start and no probe has used yet: the browser takes a
    // reply only from a client it knows (or one that answers its inventory request, which it
    // sends only when the operator asks).
    QUuid nextMarker();

    // Whether the browser has tied the identity to an account ("Client.sqlite"): a reply that
    // named it came in through its reply link.
    bool hasHeardFrom(const QUuid& identity) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QList<QUuid> m_markers;
};

// How long, from a fault's end, each part of the fleet took to work again; -1 for a part that
// did not within the time allowed.
struct Recovery {
    qint64 agentsMs = -1;          // every agent answered a broadcast inventory request
    qint64 stationRequestsMs = -1; // the station's next presence request reached the broker
    qint64 stationRepliesMs = -1;  // a presence reply on the reply topic reached its registry
    qint64 stationMs() const;      // both of the station's links; -1 unless both came back
};

// Probes the fleet on `channel` from a new connection of its own until the `agents` and the
// station (none when null) all work again or `since` passes timeoutMs.
Recovery awaitRecovery(quint16 port, const QString& channel, const QSet<QUuid>& agents,
                       BrowserProcess* station, const QElapsedTimer& since, int timeoutMs);

// The process whose working directory is `directory`; 0 when there is none.
qint64 processInDirectory(const QString& directory);

// Inodes of the TCP sockets of process `pid` connected to loopback port `port`.
QSet<QByteArray> socketsTo(qint64 pid, quint16 port);

// Waits until process `pid` holds exactly `count` such sockets.
bool awaitConnections(qint64 pid, quint16 port, int count, int timeoutMs = 5000);

int openFiles(qint64 pid);

// Bytes the process has read through read() and its kin, sockets included ("rchar" of
// /proc/<pid>/io); -1 when unreadable.
qint64 bytesRead(qint64 pid);

// What the event-loop watch wrote to a program's standard error.
struct Stalls {
    int count = 0;
    qint64 longestMs = 0;
    Stalls& operator+=(const Stalls& other);
};
Stalls stallsIn(const std::string& standardError);
// "none above 100 ms", or how many and the longest.
std::string stallText(const Stalls& stalls);

// A stall the tests tolerate: work that waited on the network (a connect, a hung broker) would
// hold the thread for seconds; a busy machine delays a timer by a few hundred milliseconds.
constexpr qint64 kStallAllowedMs = 1000;

// Prints "figure: <text>" and records it as the test's property `key`.
void reportFigure(const char* key, const std::string& text);

} // namespace nettest
