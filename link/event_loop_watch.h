// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Watches the owning thread's event loop: a timer due every kIntervalMs, and a warning on
// standard error (category "vrd.eventloop") whenever it fires more than kThresholdMs late,
// stating how late: a lower bound of the stall. Every slot of the window, the tick and the
// broker links runs on that loop, so a late timer is a stall the user sees. Silent while the
// loop keeps up.
//
//     Mainform window;
//     EventLoopWatch watch; // after start-up, which is allowed to take its time
//     return app.exec();

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class EventLoopWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 100;
    static constexpr int kThresholdMs = 100;

    explicit EventLoopWatch(QObject* parent = nullptr);

private:
    void onTimeout();

    QTimer m_timer{this};
    QElapsedTimer m_sinceLast;
};
