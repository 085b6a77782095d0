// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Ending the holder of the lock, the same on both systems once asked: poll until it lets go.

#include "single_instance.h"

#include <QElapsedTimer>
#include <QThread>

SingleInstanceLock::HolderEnd SingleInstanceLock::endHolder(int timeoutMs)
{
    if (!held())
        return HolderEnd::NoneRunning;
    if (!askHolderToEnd())
        return held() ? HolderEnd::StillRunning : HolderEnd::Ended;
    QElapsedTimer elapsed;
    elapsed.start();
    while (held()) {
        if (elapsed.elapsed() > timeoutMs)
            return HolderEnd::StillRunning;
        QThread::msleep(50);
    }
    return HolderEnd::Ended;
}
