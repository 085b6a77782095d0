// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Settings and board files that cannot be read or hold garbage: the agent runs on its defaults
// or ends with a clear error, never crashes, and a later save keeps every line of a damaged
// settings file (a user can still see what was there and mend it; the agent's own keys follow).

#include "storage_agent.h"
#include "storage_figure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

using namespace storagetest;

namespace {

enum class Damage { Directory, RandomBytes, Zeros, HugeLine, Truncated };

QByteArray randomBytes(int size)
{
    std::mt19937 random(20261210); // fixed: a failure can be replayed
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = char(random() & 0xFF);
    return bytes;
}

QByteArray hotBoardText()
{
    return readFile(kHotBoard);
}

// The agent's settings as it writes them, for the truncated case.
const QByteArray kCompleteSettings = "[General]\r\nCBCPUTemp=1\r\nCBSYSTemp=1\r\nCPUTemp_Hi=65\r\nSYSTemp_Hi=70\r\n"
                                     "Vcore_Hi=3600\r\nVcore_Lo=500\r\n[DEBUG]\r\nDEBUG=0\r\n[CLOUD]\r\nENABLE=0\r\n";

// Lays the damaged file at `path`.
bool damage(const QString& path, Damage kind, const QByteArray& sound)
{
    switch (kind) {
    case Damage::Directory:
        return QDir().mkpath(path);
    case Damage::RandomBytes:
        return writeFile(path, randomBytes(64 * 1024));
    case Damage::Zeros:
        return writeFile(path, QByteArray(4096, '\0'));
    case Damage::HugeLine:
        // 5 MiB on one line before sound content: past the board file's size limit, and a line
        // the settings reader must step over to the keys that follow.
        return writeFile(path, QByteArray(5 * 1024 * 1024, 'x') + "\n" + sound);
    case Damage::Truncated:
        return writeFile(path, sound.left(sound.size() * 3 / 5));
    }
    return false;
}

const char* damageName(Damage kind)
{
    static const char* const names[] = {"a directory", "random bytes", "binary zeros", "a 5 MiB line", "truncated"};
    return names[int(kind)];
}

struct Case {
    bool settings; // the settings file is damaged, else the board file
    Damage kind;
    const char* expectedText; // on standard error
};

const Case kCases[] = {
    {true, Damage::Directory, "settings file VRD.INI cannot be read; the defaults are used"},
    {true, Damage::RandomBytes, nullptr},
    {true, Damage::Zeros, nullptr},
    {true, Damage::HugeLine, nullptr},
    {true, Damage::Truncated, nullptr},
    {false, Damage::Directory, "cannot be read (file to open is a directory)"},
    {false, Damage::RandomBytes, "not valid JSON"},
    {false, Damage::Zeros, "not valid JSON"},
    {false, Damage::HugeLine, "is larger than 4 MiB"},
    {false, Damage::Truncated, "not valid JSON"},
};

// The lines of a file as the settings reader splits them (LF ends a line, a CR before it goes).
QList<QByteArray> settingsLines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

// True when every line of `before` is still in `after`, in its order.
bool keepsEveryLine(const QByteArray& before, const QByteArray& after)
{
    const QList<QByteArray> kept = settingsLines(after);
    int at = 0;
    for (const QByteArray& line : settingsLines(before)) {
        while (at < kept.size() && kept[at] != line)
            ++at;
        if (at == kept.size())
            return false;
        ++at;
    }
    return true;
}

struct DamagedRun {
    const Case* row;
    QTemporaryDir dir;
    std::unique_ptr<StorageAgent> agent;
    QByteArray damaged;
};

std::string caseName(const Case& row)
{
    return std::string(row.settings ? "settings file " : "board file ") + damageName(row.kind);
}

const char* expectedOutcome(const Case& row)
{
    if (!row.settings)
        return "clear error, clean exit";
    return row.kind == Damage::Directory ? "ran on defaults, said so, left the directory alone"
                                         : "ran on what it could read, save kept every line and added the keys";
}

} // namespace

TEST(StorageBadFiles, DamagedSettingsAndBoardFilesGiveDefaultsOrAClearError)
{
    std::vector<std::unique_ptr<DamagedRun>> runs;
    for (const Case& row : kCases) {
        auto run = std::make_unique<DamagedRun>();
        run->row = &row;
        ASSERT_TRUE(run->dir.isValid());
        const QString board = run->dir.filePath(QStringLiteral("board.json"));
        run->agent = std::make_unique<StorageAgent>(run->dir.path(), row.settings ? kQuietBoard : board);
        const QString damaged = row.settings ? run->agent->file(kSettingsName) : board;
        ASSERT_TRUE(row.settings || writeFile(run->agent->file(kSettingsName), settingsText({})));
        ASSERT_TRUE(damage(damaged, row.kind, row.settings ? kCompleteSettings : hotBoardText())) << caseName(row);
        run->damaged = readFile(damaged);
        ASSERT_TRUE(run->agent->launch());
        runs.push_back(std::move(run));
    }

    int asExpected = 0;
    for (const auto& run : runs) {
        const Case& row = *run->row;
        StorageAgent& agent = *run->agent;
        SCOPED_TRACE(caseName(row));
        bool ok = false;
        if (row.settings) {
            // Runs on what it could read, and saves at shutdown.
            const bool started = agent.waitUntilStarted();
            EXPECT_TRUE(started) << agent.errors().toStdString();
            const bool stopped = agent.terminate();
            EXPECT_TRUE(stopped) << agent.errors().toStdString();
            const QString path = agent.file(kSettingsName);
            bool fileOk = false;
            if (row.kind == Damage::Directory) {
                fileOk = QFileInfo(path).isDir();
            } else {
                // The limit the agent took: the file's own where it survived, else the default.
                const QByteArray limit = run->damaged.contains("CPUTemp_Hi=65\r\n") ? "65" : "70";
                const QByteArray saved = readFile(path);
                fileOk = keepsEveryLine(run->damaged, saved) && saved.contains("\r\nCPUTemp_Hi=" + limit + "\r\n")
                    && saved.contains("\r\n-12V_Lo=10500\r\n");
            }
            EXPECT_TRUE(fileOk) << "the save lost lines of the damaged file or wrote no keys";
            const bool textOk = !row.expectedText || agent.errors().contains(row.expectedText);
            EXPECT_TRUE(textOk) << agent.errors().toStdString();
            ok = started && stopped && fileOk && textOk;
        } else {
            // Ends by itself, saying what is wrong with the board file.
            const bool ended = agent.waitForExit(30000);
            EXPECT_TRUE(ended);
            const bool clean = agent.exitedCleanly();
            EXPECT_TRUE(clean) << agent.errors().toStdString();
            const QByteArray errors = agent.errors();
            const bool textOk = errors.contains("gauge64: board file ") && errors.contains(row.expectedText)
                && errors.contains("Can't detect the sensor");
            EXPECT_TRUE(textOk) << errors.toStdString();
            ok = ended && clean && textOk;
        }
        reportFigure("outcome, " + caseName(row), ok ? expectedOutcome(row) : "NOT AS EXPECTED");
        asExpected += ok ? 1 : 0;
    }
    reportFigure("cases run", int(runs.size()));
    reportFigure("cases as expected", asExpected);
}
