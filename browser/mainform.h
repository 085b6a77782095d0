// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's main window. It sends requests on the broker on a one-second timer, keeps the
// registry of clients in "Client.sqlite", shows which clients answer, and shows the readings,
// inventory and fault history of the one selected. Everything runs on the GUI thread but the
// reply link, which reads and screens on a thread of its own (ReplyReader) and hands the window
// what it accepts in batches.

#include "broker_settings.h"
#include "client_list.h"
#include "history_tab.h"
#include "payload_log.h"
#include "reply_intake.h"
#include "reply_reader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QIcon>
#include <QJsonObject>
#include <QMainWindow>
#include <QModelIndex>
#include <QSet>
#include <QStandardItemModel>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

namespace Ui {
class Mainform;
}

class ClientRegistry;
class FleetMonitor;
class MqttTransmit;
class QLabel;
class QLineEdit;
class RegistryWriter;

class Mainform : public QMainWindow {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // Reads "VRD.INI" in `directory`, the program's own directory unless main() or a test points
    // elsewhere, and keeps "Client.sqlite" in `dataDirectory` (the same directory when empty).
    explicit Mainform(const QString& directory = QCoreApplication::applicationDirPath(),
                      const QString& dataDirectory = QString(), QWidget* parent = nullptr);
    ~Mainform() override;

    // Reply handlers, called by the dispatch with the parsed message object. A reply that reaches
    // them has passed the reader's screening (ReplyIntake); tests call them directly.
    void handleCurrentSensors(const QJsonObject& message); // "SrvCall" 1
    void handleInventory(const QJsonObject& message);      // 4
    void handlePresence(const QJsonObject& message);       // 2
    void handleFaultHistory(const QJsonObject& message);   // 3 and 5
    void handleHistory(const QJsonObject& message);        // 16

    // Seams for tests and measuring tools.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    QTimer* tickTimer() { return m_timer.get(); }
    MqttTransmit* requestLink() const { return m_requestLink.get(); }
    ReplyReader& replyReader() { return *m_replyReader; }
    // The kinds of request sent so far; a test that publishes a reply without its request notes it.
    AskedKinds& askedKinds() { return m_asked; }
    const BrokerSettings& settings() const { return m_settings; }
    ClientList& clientList() { return *m_clients; }
    FleetMonitor& fleet() { return *m_fleet; }
    ClientFilter& clientFilter() { return *m_clientFilter; }
    QLineEdit* clientFilterEdit() const;
    QLabel* clientCountLabel() const;
    RegistryWriter& registryWriter() { return *m_registryWriter; }
    QStandardItemModel* historyModel() { return m_history.get(); }
    HistoryTab& historyTab() { return *m_historyTab; }
    QUuid selectedClient() const { return m_selectedClient; }
    // The topic a request to this client goes on: its own once it said it reads one.
    QString requestTopicFor(const QUuid& addressee) const;
    QIcon onlineIcon() const { return m_onlineIcon; }
    QIcon offlineIcon() const { return m_offlineIcon; }

signals:
    // The window has handled a batch of replies from the reader.
    void repliesHandled(int replies);

public slots:
    void slot_repliesArrived(quint64 generation, const ReplyReader::Batch& batch);
    void slot_TimerEvent();
    void slot_btnClientRefreshClicked(bool checked = false);
    void slot_btnClientResetClicked(bool checked = false);
    void slot_btnHistoryInquiryClicked(bool checked = false);
    void slot_tvClientClicked(const QModelIndex& index);
    void on_actionAbout_this_triggered();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void readSettings(const QString& iniPath);
    void createRequestLink();
    void createReplyReader();
    void handleReply(const ReplyReader::Reply& reply, const QDateTime& now, qint64 nowMs);
    void noteClaim(const QUuid& identity, const QString& account, const QString& tiedAccount);
    void noteNewIdentitiesRefused(const QString& account, quint64 refused);
    void createModels();
    void createClientFilterBar();
    void showClientCounts();
    void openRegistry();
    void fillClientList();
    void createFleetMonitor();
    void clearClientLabels();
    void clearValueLabels();
    void showInventory(const QString& cpu, const QString& os, const QString& model, const QString& serial);
    void resetHistory();
    void appendHistoryRow(const QString& time, const QString& condition);
    void sendRequest(int code, const QUuid& addressee);
    void publishRequest(int code, const QUuid& addressee, const QByteArray& request);
    void learnTopic(const QUuid& sender, const QJsonObject& reply);
    void refreshStatus();
    void fitClientColumns();
    void holdClientListPaint();

    std::unique_ptr<Ui::Mainform> ui;
    QString m_registryPath;
    std::unique_ptr<ClientRegistry> m_registry;
    std::unique_ptr<RegistryWriter> m_registryWriter;
    BrokerSettings m_settings;
    QHostAddress m_brokerAddress;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<MqttTransmit> m_requestLink;
    AskedKinds m_asked; // before the reader, which reads it until it ends
    std::unique_ptr<ReplyReader> m_replyReader;
    PayloadLog m_payloadLog;
    QDateTime m_seenAt; // arrival of the presence reply being handled; invalid: now
    // Clients whose latest presence or inventory reply said they read their own request topic.
    QSet<QUuid> m_ownTopics;
    QIcon m_onlineIcon;
    QIcon m_offlineIcon;
    std::unique_ptr<ClientList> m_clients;
    std::unique_ptr<ClientFilter> m_clientFilter;
    std::unique_ptr<QStandardItemModel> m_history;
    std::unique_ptr<FleetMonitor> m_fleet;
    std::unique_ptr<HistoryTab> m_historyTab;

    Clock m_clock;
    QUuid m_selectedClient;
    QUuid m_lastClicked;
    int m_sensorPollCountdown = 0;
    int m_presenceCountdown = 0;
    int m_statusRefreshCountdown = 0;
};
