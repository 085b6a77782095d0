// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "link_failures.h"

#include <QCoreApplication>
#include <QSet>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_toldMutex;
QSet<QString> g_toldKinds; // under g_toldMutex

} // namespace

void tellLinkFailure(const QString& kind, const QString& detail)
{
    {
        const std::lock_guard<std::mutex> lock(g_toldMutex);
        if (g_toldKinds.contains(kind))
            return;
        g_toldKinds.insert(kind);
    }
    const QString line = detail.isEmpty() ? kind : kind + QLatin1String(": ") + detail;
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(line));
    std::fflush(stderr);
}

void forgetLinkFailures()
{
    const std::lock_guard<std::mutex> lock(g_toldMutex);
    g_toldKinds.clear();
}
