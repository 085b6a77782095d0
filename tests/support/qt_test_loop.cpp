// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "qt_test_loop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace vrdtest {

void ensureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "vrd_test";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick; // wakes the loop so the condition is looked at even when nothing else happens
    tick.start(5);
    while (!condition()) {
        if (elapsed.elapsed() >= timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace vrdtest
