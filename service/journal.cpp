// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "journal.h"

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <cstdio>

namespace journal {

namespace {

std::atomic<bool> g_debugShown{false};

Priority priorityOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Debug;
    case QtInfoMsg:
        return Info;
    case QtWarningMsg:
        return Warning;
    case QtCriticalMsg:
    case QtFatalMsg:
        break;
    }
    return Error;
}

void handleMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    write(priorityOf(type), text);
}

} // namespace

void write(Priority priority, const QString& text)
{
    if (priority == Debug && !g_debugShown)
        return;
    QByteArray lines;
    const QByteArray prefix = '<' + QByteArray::number(int(priority)) + '>';
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString trimmed = line;
        if (trimmed.endsWith(QLatin1Char('\r')))
            trimmed.chop(1);
        lines += prefix + trimmed.toUtf8() + '\n';
    }
    // One call per event, so that lines of several threads never mix.
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    std::fflush(stderr);
}

void installMessageHandler()
{
    qInstallMessageHandler(handleMessage);
}

void showDebug(bool shown)
{
    g_debugShown = shown;
}

void debugLogLine(const std::string& line)
{
    write(Debug, QString::fromStdString(line));
}

} // namespace journal
