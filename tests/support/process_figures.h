// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Figures of a process that tests bound and print: its resident memory, and how late the test
// thread's event loop ran while something went on.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace vrdtest {

// VmRSS of /proc/<pid>/status in KiB; -1 when unreadable.
qint64 residentKiB(qint64 pid);

// The calling thread's event loop watched by a timer due every intervalMs, from construction
// on: the most any firing came late is the longest the loop stood still, to within the interval.
class LoopLateness {
public:
    explicit LoopLateness(int intervalMs);

    qint64 worstMs() const { return m_worstMs; }

private:
    const int m_intervalMs;
    QElapsedTimer m_clock;
    qint64 m_lastMs = 0;
    qint64 m_worstMs = 0;
    QTimer m_timer;
};

} // namespace vrdtest
