// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Storage fault tests: the real VrdClient in a working directory the test chooses (a small tmpfs,
// a directory it damages on purpose), with its standard error kept outside that directory, and
// read-only looks into the files it leaves behind.
//
//     storagetest::StorageAgent agent(workDir);
//     writeFile(agent.file("VRD.INI"), storagetest::settingsText({}));
//     ASSERT_TRUE(agent.start()) << agent.errors();
//     storagetest::sensorRows(agent.file("sysinfo2.sqlite"));
//     agent.terminate();                          // the normal shutdown, which saves VRD.INI

#include "test_mqtt_client.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

#include <optional>

namespace storagetest {

inline const QString kBoards = QStringLiteral(VRD_SOURCE_DIR "/boards");
inline const QString kQuietBoard = kBoards + QStringLiteral("/fintek-f81866.json");
// Processor at 78 C, above the default limit of 70 C: the agent alarms and logs faults.
inline const QString kHotBoard = kBoards + QStringLiteral("/winbond-w83627hf-290-hot.json");
inline const QString kDatabaseName = QStringLiteral("sysinfo2.sqlite");
inline const QString kSettingsName = QStringLiteral("VRD.INI");
// Start-up writes this at its tray step, after the database is open and purged.
inline const QString kStartedText = QStringLiteral("no notification area");

struct Settings {
    bool linkOn = false;
    quint16 port = 1883;
    QString channel = QStringLiteral("VARDEN6");
    QByteArray general; // extra lines of section General, each ending in CR LF
    bool debug = false;  // keeps debug messages in DbgMainThread.sqlite
};
// A complete VRD.INI as the test lays it down.
QByteArray settingsText(const Settings& settings);

bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

class StorageAgent {
public:
    // `workDir` must exist; standard error goes to a file in a directory of the fixture's own.
    explicit StorageAgent(QString workDir, QString board = kHotBoard);
    ~StorageAgent(); // kills an agent still running

    StorageAgent(const StorageAgent&) = delete;
    StorageAgent& operator=(const StorageAgent&) = delete;

    QString file(const QString& name) const;
    const QString& workDir() const { return m_workDir; }
    void setEnvironment(const QString& name, const QString& value) { m_env.insert(name, value); }

    bool launch();
    // True once start-up has passed its tray step; false when it ended or took longer.
    bool waitUntilStarted(int timeoutMs = 30000);
    bool start() { return launch() && waitUntilStarted(); }

    // The normal shutdown (SIGTERM); true when the program exited with 0.
    bool terminate(int timeoutMs = 30000);
    // Sends SIGTERM and returns at once, for ending several agents side by side.
    void requestTermination();
    bool exitedCleanly() const;
    // SIGKILL, and waits until the process is gone.
    void kill();
    bool waitForExit(int timeoutMs);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    int exitCode() const { return m_process.exitCode(); }

    QByteArray errors() const;
    bool waitForErrorText(const QByteArray& text, int timeoutMs, int occurrences = 1) const;

private:
    QString m_workDir;
    QString m_board;
    QTemporaryDir m_own; // runtime directory and the standard error file
    QProcessEnvironment m_env;
    QProcess m_process;
    int m_startsBefore = 0; // start-up lines in the appended error file before this launch
};

// ---- The database files, read on connections of the test's own ----------------------------

// Rows of SENSOR_TBL matching `where` (SQL after WHERE, empty for all); nullopt when unreadable.
std::optional<qint64> sensorRows(const QString& path, const QString& where = QString());
// Highest ID of SENSOR_TBL (0 for an empty table); nullopt when unreadable.
std::optional<qint64> lastSensorId(const QString& path);
// The result of PRAGMA integrity_check ("ok" for a sound file), or the error text.
QString integrityCheck(const QString& path);
// True when a rollback journal beside `path` still holds a transaction (its header is written):
// the writer died between its first change and its commit.
bool hasHotJournal(const QString& path);

// HOST_GUID of the agent's database; null while it has none.
QUuid storedIdentity(const QString& path);

// ---- The station's side -------------------------------------------------------------------

// Sends one request at a time and times its reply.
class ReplyClock {
public:
    ReplyClock(quint16 port, const QString& channel);
    bool isReady() const { return m_ready; }

    // Sends the request of `kind` addressed to `host` and waits for the reply of that kind:
    // milliseconds from sending to arrival, or nullopt when none came within timeoutMs.
    std::optional<int> ask(int kind, const QUuid& host, int timeoutMs, QJsonObject* reply = nullptr);
    // Asks kind 2 every 200 ms until the agent answers (its links are up), at most timeoutMs.
    bool awaitAnswer(const QUuid& host, int timeoutMs);

private:
    QString m_channel;
    vrdtest::TestMqttClient m_mqtt;
    bool m_ready = false;
};

// ---- Time -----------------------------------------------------------------------------------

// Milliseconds since the last wall-clock second divisible by ten (0 to 9999).
int msIntoLoggingPeriod();
// Sleeps until `offsetMs` after the next wall-clock second divisible by ten.
void sleepUntilLoggingPass(int offsetMs);
// The next wall-clock second divisible by ten, in milliseconds since 1970.
qint64 nextLoggingPass();
// Sleeps until the wall clock reads `msSinceEpoch`; returns at once when that has passed.
void sleepUntil(qint64 msSinceEpoch);

} // namespace storagetest
