// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One real VrdClient in its own working directory and login session, on a copy of an example
// board that the test may change while the agent runs.

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

class AgentProcess {
public:
    AgentProcess(const QString& board, quint16 brokerPort, const QString& channel);
    ~AgentProcess(); // ends the agent through its normal shutdown

    // Runs the agent on a captured hwmon machine (tests/gauge/fixtures/hwmon/<machine>) in a
    // private namespace instead of on the board; call before start().
    void useHwmonMachine(const QString& machine) { m_hwmonMachine = machine; }

    // More lines of section CLOUD (USER, PASSWORD); call before start().
    void addCloudLines(const QByteArray& lines);

    bool start();
    void stop();
    // Ends it at once (SIGKILL), as a crash or a pulled plug would.
    void kill();

    // Sets one monitor register of the board copy; the agent sees it within a second.
    void setBoardRegister(const QString& bank, const QString& reg, int value);

    // The host identity stored by the agent (empty until its database exists).
    QUuid identity() const;

    // Rows of SENSOR_TBL with ERR 1 and the given type code.
    int faultRows(int typeId) const;

    // Everything the agent wrote to standard output and error so far.
    QString output();

    QString directory() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_boardPath;
    QString m_hwmonMachine;
    QJsonObject m_board;
    QProcess m_process;
    QString m_output;
};
