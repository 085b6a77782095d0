// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "process_figures.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace vrdtest {

qint64 residentKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(QString::fromLatin1(file.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

LoopLateness::LoopLateness(int intervalMs)
    : m_intervalMs(intervalMs)
{
    m_clock.start();
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const qint64 now = m_clock.elapsed();
        m_worstMs = std::max(m_worstMs, now - m_lastMs - m_intervalMs);
        m_lastMs = now;
    });
    m_timer.start(intervalMs);
}

} // namespace vrdtest
