// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The request of another process to end the client. On Windows it is window message 0x0401
// (termination_signals_win32.cpp); on Linux it is SIGTERM, SIGINT or SIGHUP, whose handler only
// writes to a socket pair that the event loop reads. Either way received() is emitted from the
// event loop, so everything else runs on the main thread.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers at once; signals that arrive before listen() wait in the socket.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Starts delivering received() from the event loop. Call once its receiver is connected.
    void listen();

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
