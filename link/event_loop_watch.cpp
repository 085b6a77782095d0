// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "event_loop_watch.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcEventLoop, "vrd.eventloop", QtWarningMsg)

EventLoopWatch::EventLoopWatch(QObject* parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopWatch::onTimeout);
    m_timer.start();
    m_sinceLast.start();
}

void EventLoopWatch::onTimeout()
{
    const qint64 lateMs = m_sinceLast.restart() - kIntervalMs;
    if (lateMs > kThresholdMs)
        qCWarning(lcEventLoop, "event loop stalled: timer fired %lld ms late", static_cast<long long>(lateMs));
}
