// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's History tab: the reading history of the selected client as a chart. It asks the
// client with a kind-16 request and waits a few seconds for the reply; a client that does not
// answer (one that predates the request, or cannot read its database) is said to keep no
// history. The client's limits come from its latest current-sensors reply.
//
// Everything runs on the GUI thread; the window routes kind-16 replies to handleReply.

#include "history_view.h"
#include "messages.h"

#include <QObject>
#include <QTimer>
#include <QUuid>

#include <functional>

class QBoxLayout;
class QTabWidget;

class HistoryTab : public QObject {
    Q_OBJECT

public:
    // The request and the client it is for, so that it goes on that client's topic.
    using Publish = std::function<void(const QUuid& addressee, const QByteArray& request)>;

    static constexpr int kReplyWaitMs = 5000;

    // Puts a tab widget where `faults` sits in `column`: the tab "Faults" holds `faults` (a group
    // box there loses its heading and frame), the tab "History" the chart. Requests leave through
    // `publish`.
    HistoryTab(QBoxLayout* column, QWidget* faults, Publish publish, QObject* parent = nullptr);

    // The client whose history is shown; a new one clears the chart and, when the tab is shown,
    // asks it at once.
    void selectClient(const QUuid& client);
    // Limits of the selected client, drawn with its history.
    void noteSensorReport(const msg::SensorReport& report);
    // A kind-16 reply: shown when it comes from the selected client and answers the last request.
    void handleReply(const QJsonObject& message);

    void setReplyWaitMs(int milliseconds) { m_wait.setInterval(milliseconds); }
    QTabWidget* tabs() const { return m_tabs; }
    HistoryView* view() const { return m_view; }

private:
    void ask(const HistoryQuery& query);
    void noAnswer();
    bool historyShown() const;

    Publish m_publish;
    QTabWidget* m_tabs = nullptr;
    HistoryView* m_view = nullptr;
    QTimer m_wait;
    QUuid m_client;
    msg::SensorReport m_limits;
    HistoryQuery m_pending;
    bool m_waiting = false;
};
