// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "thread_shutdown.h"

#include <QDebug>
#include <QThread>

namespace {

constexpr int kPollMs = 50;
constexpr int kMaxPolls = 41;

} // namespace

bool finishStoppedThread(QThread& thread)
{
    for (int poll = 0; poll < kMaxPolls && thread.isRunning(); ++poll)
        QThread::msleep(kPollMs);
    if (!thread.isRunning())
        return true;
    qDebug() << "finishStoppedThread" << __LINE__ << "worker still in a statement; waiting for it to end";
    thread.wait();
    return false;
}
