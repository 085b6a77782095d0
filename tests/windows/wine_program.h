// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The Windows programs of build-win64/bin run from the Linux side under wine64, for the tests that
// need both systems at once: Linux agents and tools beside Windows ones on one broker, a display
// for the station, the installer. The Windows build's ctest gives the places:
//   VRD_WIN_BIN   the Windows programs' folder
//   VRD_WINE64    the wine64 loader
//   WINEPREFIX    the Wine prefix of the Windows tests (Wine's null display driver)

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUuid>

namespace wine {

QString windowsBin();
QString prefix();
// A Linux path as a Windows program under Wine sees it: the root is drive Z:.
QString windowsPath(const QString& linuxPath);
// The environment of a Windows program in `prefix`: Wine quiet, no toolkit platform forced.
QProcessEnvironment environment(const QString& prefix = wine::prefix());
// Starts `program` (a path) under wine64; waitForStarted is the caller's.
void start(QProcess& process, const QString& program, const QStringList& arguments,
           const QProcessEnvironment& env = environment());
// Runs it to its end; false when it did not end within timeoutMs (it is then killed).
bool run(const QString& program, const QStringList& arguments, int timeoutMs, int* exitCode = nullptr,
         QByteArray* output = nullptr, const QProcessEnvironment& env = environment());

// The host identity an agent stored in its database (null while there is none).
QUuid storedIdentity(const QString& databasePath);

// VrdClient.exe in a working directory of its own, on a copy of an example board, its VRD.INI
// pointing at a broker. One per Wine prefix at a time: the single-instance mutex is the session's.
class Agent {
public:
    Agent(const QString& board, quint16 brokerPort, const QString& channel, const QByteArray& moreCloudLines = {});
    ~Agent(); // ends it through --quit (message 0x0401)

    bool start();
    // Asks it to end with "VrdClient.exe --quit"; true once it has ended with status 0.
    bool stop();

    // The host identity stored by the agent (null until its database exists).
    QUuid identity() const;
    QString databasePath() const;
    QString output(); // its standard error: the debug log's mirror
    QString directory() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_output;
};

} // namespace wine
