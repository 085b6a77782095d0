#include "link_failures.h"

#include <QCoreApplication>
#include <QSet>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_toldMutex;
QSet<QString> g_told; // under g_toldMutex

} // namespace

void tellLinkFailure(const QString& line)
{
    {
        const std::lock_guard<std::mutex> lock(g_toldMutex);
        if (g_told.contains(line))
            return;
        g_told.insert(line);
    }
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(line));
    std::fflush(stderr);
}

void forgetLinkFailures()
{
    const std::lock_guard<std::mutex> lock(g_toldMutex);
    g_told.clear();
}
