// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The request of another process to end the client. On Windows it is window message 0x0401; here
// it is SIGTERM, SIGINT or SIGHUP. The handler only writes to a socket pair; the event loop reads
// it and emits received(), so everything else runs on the main thread.

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
