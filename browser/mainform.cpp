// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"
#include "history_messages.h"
#include "ui_Mainform.h"

#include "client_registry.h"
#include "countdown.h"
#include "fleet_monitor.h"
#include "messages.h"
#include "mqtt_transmit.h"
#include "reading_display.h"
#include "registry_writer.h"
#include "remote_text.h"
#include "sensor_snapshot.h"

#include <QDebug>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QStatusBar>

#include <algorithm>
#include <iterator>

namespace {

constexpr char kSettingsFile[] = "/VRD.INI";
constexpr char kRegistryFile[] = "/Client.sqlite";
constexpr char kOnlineIcon[] = ":/Mainform/icons/power_G.png";
constexpr char kOfflineIcon[] = ":/Mainform/icons/power_R.png";

constexpr int kTickMs = 1000;
constexpr int kStatusMessageMs = 5000;

// Countdown values set when a step fires, in ticks.
constexpr int kSensorPollTicks = 4;
constexpr int kPresenceTicks = 1;
constexpr int kStatusRefreshTicks = 1;

// While a Client Refresh brings in hundreds of new clients, the list is painted at most this
// often: every appended row lays the whole view out and paints it again, which costs far more
// than handling the reply.
constexpr int kListPaintHoldMs = 100;

constexpr int kHistoryTimeColumnWidth = 200;
constexpr char kHistoryTimeFormat[] = "yyyy/MM/dd hh:mm:ss";

// The latest second QDateTime represents; a "DT" beyond it shows no time.
constexpr quint64 kLastShownSecond = 253402300799ull; // 9999-12-31 23:59:59 UTC

struct ReplyRoute {
    int code;
    void (Mainform::*handler)(const QJsonObject&);
};

// Looked up in this order; the first entry with the code handles the message.
constexpr ReplyRoute kReplyRoutes[] = {
    {msg::KindCurrentSensors, &Mainform::handleCurrentSensors},
    {msg::KindHistory, &Mainform::handleHistory},
    {msg::KindInventory, &Mainform::handleInventory},
    {msg::KindProcessorLoad, &Mainform::handlePresence},
    {msg::KindLastFaults, &Mainform::handleFaultHistory},
    {msg::KindTodaysFaults, &Mainform::handleFaultHistory},
};

// The history combo box's items in order; any other index asks for the last faults.
constexpr int kHistoryCodes[] = {msg::KindLastFaults, msg::KindTodaysFaults};

// Value label of each sensor, in the order the labels are filled, and the caption hidden with
// it for the rails that a board may not wire.
struct ReadingLabels {
    int type; // SensorType
    QLabel* Ui::Mainform::*value;
    QLabel* Ui::Mainform::*caption; // null: always shown
};

constexpr ReadingLabels kReadingLabels[] = {
    {SensorCpuTemp, &Ui::Mainform::labCPUTemp, nullptr},
    {SensorSysTemp, &Ui::Mainform::labSysTemp, nullptr},
    {SensorCpuFan, &Ui::Mainform::labCPUFan, nullptr},
    {SensorSysFan, &Ui::Mainform::labSysFan, nullptr},
    {SensorVcore, &Ui::Mainform::labVcore, nullptr},
    {SensorVio, &Ui::Mainform::labVio, nullptr},
    {SensorP5V, &Ui::Mainform::labP5V, &Ui::Mainform::label_21},
    {SensorP12V, &Ui::Mainform::labP12V, &Ui::Mainform::label_23},
    {SensorN5V, &Ui::Mainform::labN5V, &Ui::Mainform::label_26},
    {SensorN12V, &Ui::Mainform::labN12V, &Ui::Mainform::label_27},
};

constexpr QLabel* Ui::Mainform::*kClientInfoLabels[] = {
    &Ui::Mainform::labCPUName,
    &Ui::Mainform::labOperatingSystem,
    &Ui::Mainform::labSystemModel,
    &Ui::Mainform::labSystemSerial,
};

void debugLine(const char* function, int line, const QString& text)
{
    qDebug().noquote() << function << line << text;
}

QString faultTimeText(quint64 utcSeconds)
{
    if (utcSeconds > kLastShownSecond)
        return QString();
    return QDateTime::fromSecsSinceEpoch(qint64(utcSeconds), Qt::LocalTime).toString(QLatin1String(kHistoryTimeFormat));
}

} // namespace

// Outside any namespace: the macro declares the resource's initialiser at global scope.
static void initResources()
{
    Q_INIT_RESOURCE(browser);
}

Mainform::Mainform(const QString& directory, const QString& dataDirectory, QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::Mainform)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    initResources();
    ui->setupUi(this);
    m_registryPath = (dataDirectory.isEmpty() ? directory : dataDirectory) + QLatin1String(kRegistryFile);
    m_onlineIcon = QIcon(QPixmap(QLatin1String(kOnlineIcon)));
    m_offlineIcon = QIcon(QPixmap(QLatin1String(kOfflineIcon)));
    readSettings(directory + QLatin1String(kSettingsFile));
    openRegistry();
    createRequestLink();
    // As soon as the registry is open: the reader starts with its clients and their ties, and
    // subscribes while the window is built.
    createReplyReader();
    createModels();
    m_historyTab = std::make_unique<HistoryTab>(ui->verticalLayout_9, ui->gbHistoryInquiry,
                                                [this](const QUuid& addressee, const QByteArray& request) {
                                                    publishRequest(msg::KindHistory, addressee, request);
                                                });
    createClientFilterBar();
    fillClientList();
    createFleetMonitor();
    clearClientLabels();
    clearValueLabels();

    m_timer = std::make_unique<QTimer>();
    connect(m_timer.get(), &QTimer::timeout, this, &Mainform::slot_TimerEvent);
    m_timer->start(kTickMs);
}

Mainform::~Mainform() = default;

void Mainform::readSettings(const QString& iniPath)
{
    // The station's keys have no defaults: a missing key reads as empty text, the port as 0.
    bool readError = false;
    m_settings = readBrokerSettingsFile(iniPath, BrokerDefaults::None, &readError);
    if (readError) {
        debugLine("Mainform::Mainform", __LINE__, QStringLiteral("Can't find INI"));
        statusBar()->showMessage(QStringLiteral("Can't find INI"), kStatusMessageMs);
    }
    m_brokerAddress = QHostAddress(m_settings.host);
}

void Mainform::createRequestLink()
{
    m_requestLink = std::make_unique<MqttTransmit>(m_brokerAddress, m_settings.port,
                                                   msg::requestTopic(m_settings.channel),
                                                   MqttTransmit::ReconnectPolicy::Browser);
    // Publish only: its own requests coming back would be read by nobody.
    m_requestLink->setSubscribing(false);
    m_requestLink->setAccess(m_settings.access);
    m_requestLink->connectToHost();
}

// Its batches reach the window through the event loop, once the constructor is done.
void Mainform::createReplyReader()
{
    m_replyReader = std::make_unique<ReplyReader>(ReplyReader::Setup{
        m_brokerAddress, m_settings.port, m_settings.channel, m_settings.access, m_registry->knownIdentities(),
        m_registryPath, &m_asked});
    connect(m_replyReader.get(), &ReplyReader::repliesArrived, this, &Mainform::slot_repliesArrived);
    connect(m_replyReader.get(), &ReplyReader::identityClaimed, this, &Mainform::noteClaim);
    connect(m_replyReader.get(), &ReplyReader::newIdentitiesRefused, this, &Mainform::noteNewIdentitiesRefused);
}

void Mainform::createModels()
{
    m_clients = std::make_unique<ClientList>(m_onlineIcon, m_offlineIcon);
    m_clientFilter = std::make_unique<ClientFilter>(m_clients.get());
    ui->tvClient->setModel(m_clientFilter.get());
    // Every row is one line high: the view need not measure thousands of rows to lay them out.
    ui->tvClient->setUniformRowHeights(true);
    m_history = std::make_unique<QStandardItemModel>(0, 2);
    ui->tvHistoryInquiry->setModel(m_history.get());
    resetHistory();
}

// Above the client list (Mainform.ui): a filter that narrows it as the operator types (name,
// identity or operating system) and the count of clients online and known.
void Mainform::createClientFilterBar()
{
    connect(ui->leClientFilter, &QLineEdit::textChanged, m_clientFilter.get(), &ClientFilter::setText);
    connect(m_clients.get(), &ClientList::countsChanged, this, &Mainform::showClientCounts);
    showClientCounts();
}

QLineEdit* Mainform::clientFilterEdit() const
{
    return ui->leClientFilter;
}

QLabel* Mainform::clientCountLabel() const
{
    return ui->labClientCount;
}

void Mainform::showClientCounts()
{
    ui->labClientCount->setText(QStringLiteral("%1 online / %2 known").arg(m_clients->onlineCount()).arg(m_clients->rowCount()));
}

void Mainform::openRegistry()
{
    if (!QFileInfo::exists(m_registryPath))
        debugLine("Mainform::Mainform", __LINE__, QStringLiteral("creating the sysinfo.sqlite file."));
    m_registry = std::make_unique<ClientRegistry>(m_registryPath);
    m_registry->open();
    m_registryWriter = std::make_unique<RegistryWriter>(m_registryPath);
}

void Mainform::fillClientList()
{
    QVector<ClientList::NewClient> listed;
    for (const ClientRegistry::Listed& client : m_registry->clients())
        listed.append({client.name, msg::parseUuid(client.guid), client.os});
    m_clients->appendClients(listed, ClientList::Shown::Offline);
    if (!listed.isEmpty())
        fitClientColumns();
}

void Mainform::createFleetMonitor()
{
    m_fleet = std::make_unique<FleetMonitor>(FleetMonitor::Setup{
        m_registryPath, m_clients.get(), [this](const QUuid& client) { sendRequest(msg::KindCurrentSensors, client); },
        [this] { return m_clock(); }, this});
    // Sorting starts off (registry order); a click on a header sorts by that column.
    ui->tvClient->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ui->tvClient->setSortingEnabled(true);
}

void Mainform::clearClientLabels()
{
    for (QLabel* Ui::Mainform::*label : kClientInfoLabels)
        (ui.get()->*label)->clear();
}

void Mainform::clearValueLabels()
{
    for (const ReadingLabels& labels : kReadingLabels)
        (ui.get()->*labels.value)->clear();
}

void Mainform::showInventory(const QString& cpu, const QString& os, const QString& model, const QString& serial)
{
    // The labels are plain text (Mainform.ui): a client's "<b>" is shown, not obeyed.
    ui->labCPUName->setText(oneLineText(cpu));
    ui->labOperatingSystem->setText(oneLineText(os));
    ui->labSystemModel->setText(oneLineText(model));
    ui->labSystemSerial->setText(oneLineText(serial));
}

void Mainform::resetHistory()
{
    m_history->clear();
    m_history->setColumnCount(2);
    m_history->setHorizontalHeaderLabels({QStringLiteral("DateTime"), QStringLiteral("Condition")});
    ui->tvHistoryInquiry->setColumnWidth(0, kHistoryTimeColumnWidth);
    // Before the window is first laid out the view is narrower than the time column.
    ui->tvHistoryInquiry->setColumnWidth(1, std::max(0, ui->tvHistoryInquiry->width() - kHistoryTimeColumnWidth));
}

void Mainform::appendHistoryRow(const QString& time, const QString& condition)
{
    m_history->appendRow({new QStandardItem(time), new QStandardItem(oneLineText(condition))});
}

void Mainform::sendRequest(int code, const QUuid& addressee)
{
    publishRequest(code, addressee, msg::buildRequest(code, addressee));
}

void Mainform::publishRequest(int code, const QUuid& addressee, const QByteArray& request)
{
    // Noted first: the answer may be read on the reader's thread before the publish returns.
    m_asked.noteAsked(code, monotonicMs());
    m_requestLink->PublishPayload(request, requestTopicFor(addressee));
}

QString Mainform::requestTopicFor(const QUuid& addressee) const
{
    // Broadcasts and clients of the shared topic only: every client reads the shared topic.
    if (!m_ownTopics.contains(addressee))
        return m_requestLink->topic();
    return msg::agentRequestTopic(m_settings.channel, addressee);
}

// Each presence and inventory reply tells anew: an agent replaced by one that reads only the
// shared topic is asked there from its next reply on.
void Mainform::learnTopic(const QUuid& sender, const QJsonObject& reply)
{
    if (sender.isNull() || sender == msg::broadcastUuid())
        return;
    if (msg::announcesOwnTopic(reply))
        m_ownTopics.insert(sender);
    else
        m_ownTopics.remove(sender);
}

void Mainform::holdClientListPaint()
{
    if (!ui->tvClient->updatesEnabled())
        return;
    ui->tvClient->setUpdatesEnabled(false);
    QTimer::singleShot(kListPaintHoldMs, this, [this] { ui->tvClient->setUpdatesEnabled(true); });
}

void Mainform::fitClientColumns()
{
    ui->tvClient->header()->resizeSections(QHeaderView::ResizeToContents);
}

void Mainform::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_clients && m_clients->rowCount() > 0)
        fitClientColumns();
}

// ---- Timer ----------------------------------------------------------------------------------

void Mainform::slot_TimerEvent()
{
    if (countdownDue(m_sensorPollCountdown) && !m_selectedClient.isNull()) {
        m_sensorPollCountdown = kSensorPollTicks;
        sendRequest(msg::KindCurrentSensors, m_selectedClient);
        m_fleet->noteAsked(m_selectedClient);
    }
    if (countdownDue(m_presenceCountdown)) {
        m_presenceCountdown = kPresenceTicks;
        sendRequest(msg::KindProcessorLoad, msg::broadcastUuid());
    }
    if (countdownDue(m_statusRefreshCountdown)) {
        m_statusRefreshCountdown = kStatusRefreshTicks;
        refreshStatus();
    }
}

void Mainform::refreshStatus()
{
    m_clients->refreshStatus(m_clock());
    m_fleet->afterStatusRefresh();
}

// ---- Replies ------------------------------------------------------------------------------

void Mainform::slot_repliesArrived(quint64 generation, const ReplyReader::Batch& batch)
{
    // A batch read before a Client Reset speaks for ties that no longer hold.
    if (generation == m_replyReader->generation()) {
        const QDateTime now = m_clock();
        const qint64 nowMs = monotonicMs();
        for (const ReplyReader::Reply& reply : batch)
            handleReply(reply, now, nowMs);
    }
    m_replyReader->batchHandled(batch.size());
    emit repliesHandled(batch.size());
}

void Mainform::handleReply(const ReplyReader::Reply& reply, const QDateTime& now, qint64 nowMs)
{
    if (reply.tiedNow)
        m_registryWriter->storeTie(reply.sender, reply.account, now.toSecsSinceEpoch());
    const auto route = std::find_if(std::begin(kReplyRoutes), std::end(kReplyRoutes),
                                    [&](const ReplyRoute& r) { return r.code == reply.envelope.code; });
    if (route == std::end(kReplyRoutes))
        return;
    // Presence counts from when the reply arrived, however long the window took to get to it.
    m_seenAt = now.addMSecs(-std::max<qint64>(0, nowMs - reply.arrivedMs));
    (this->*route->handler)(reply.envelope.object);
    m_seenAt = QDateTime();
}

void Mainform::noteClaim(const QUuid& identity, const QString& account, const QString& tiedAccount)
{
    const auto named = [](const QString& name) {
        return name.isEmpty() ? QStringLiteral("the shared reply topic")
                              : QStringLiteral("account \"%1\"").arg(oneLineText(name));
    };
    debugLine("Mainform::noteClaim", __LINE__,
              QStringLiteral("identity claimed by another account: %1 claimed %2, which is tied to %3 (told once an "
                             "hour)")
                  .arg(named(account), msg::uuidText(identity), named(tiedAccount)));
    m_fleet->recordClaim(identity, account);
}

void Mainform::noteNewIdentitiesRefused(const QString& account, quint64 refused)
{
    debugLine("Mainform::noteNewIdentitiesRefused", __LINE__,
              QStringLiteral("account \"%1\" sent more than %2 new identities in a minute: %3 refused so far (told "
                             "once an hour)")
                  .arg(oneLineText(account))
                  .arg(AccountTies::kNewIdentitiesPerMinute)
                  .arg(refused));
}

void Mainform::handlePresence(const QJsonObject& message)
{
    const std::optional<QUuid> sender = msg::addressOf(message);
    if (!sender)
        return;
    m_presenceCountdown = kPresenceTicks;
    learnTopic(*sender, message);
    const int row = m_clients->rowOf(*sender);
    if (row >= 0)
        m_clients->markSeen(row, m_seenAt.isValid() ? m_seenAt : m_clock());
}

void Mainform::handleCurrentSensors(const QJsonObject& message)
{
    const std::optional<QUuid> sender = msg::addressOf(message);
    if (!sender || *sender == msg::broadcastUuid())
        return;
    const msg::SensorReport report = msg::parseSensorReply(message);
    m_fleet->onSensorReply(*sender, report);
    if (m_selectedClient.isNull() || *sender != m_selectedClient)
        return;
    m_sensorPollCountdown = kSensorPollTicks;
    m_historyTab->noteSensorReport(report);
    for (const ReadingLabels& labels : kReadingLabels) {
        const msg::SensorFigures& figures = report.byType[size_t(labels.type)];
        QLabel* value = ui.get()->*labels.value;
        if (labels.caption) {
            const bool shown = railShown(figures);
            value->setVisible(shown);
            (ui.get()->*labels.caption)->setVisible(shown);
            if (!shown)
                continue;
        }
        value->setText(readingText(labels.type, figures.reading, outOfLimits(labels.type, figures)));
    }
}

void Mainform::handleHistory(const QJsonObject& message)
{
    m_historyTab->handleReply(message);
}

void Mainform::handleInventory(const QJsonObject& message)
{
    const std::optional<QUuid> sender = msg::inventorySender(message);
    if (!sender)
        return;
    const msg::Inventory inventory = msg::parseInventoryReply(message);
    m_registryWriter->store(inventory);
    learnTopic(*sender, message);
    const int row = m_clients->rowOf(*sender);
    if (row >= 0) {
        m_clients->setOs(row, inventory.os);
    } else {
        holdClientListPaint();
        m_clients->appendClient({inventory.comp, *sender, inventory.os}, ClientList::Shown::Nothing);
        m_replyReader->noteKnown(*sender);
    }
    if (*sender == m_selectedClient)
        showInventory(inventory.cpu, inventory.os, inventory.sysModel, inventory.sysSerial);
    if (m_clients->rowCount() == 1)
        fitClientColumns();
}

void Mainform::handleFaultHistory(const QJsonObject& message)
{
    if (m_payloadLog.due(QStringLiteral("fault history"), monotonicMs()))
        debugLine("Mainform::handleFaultHistory", __LINE__,
                  payloadExcerpt(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    const std::optional<QUuid> sender = msg::addressOf(message);
    if (!sender || m_selectedClient.isNull() || *sender != m_selectedClient)
        return;
    const QVector<msg::FaultEntry> faults = msg::parseFaultReply(message);
    resetHistory();
    if (faults.isEmpty()) {
        appendHistoryRow(QStringLiteral("N/A"), QStringLiteral("No fault found"));
        return;
    }
    for (const msg::FaultEntry& fault : faults)
        appendHistoryRow(faultTimeText(fault.utcSeconds), fault.text);
}

// ---- User actions -------------------------------------------------------------------------

void Mainform::slot_tvClientClicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    // A click on the view gives a row of the filter; callers may also name a row of the list.
    const QModelIndex viewIndex = index.model() == m_clients.get() ? m_clientFilter->mapFromSource(index) : index;
    const QModelIndex nameIndex = index.sibling(index.row(), 0);
    ui->tvClient->clearSelection();
    ui->tvClient->selectionModel()->select(viewIndex.sibling(viewIndex.row(), 0), QItemSelectionModel::Select);
    const QUuid clicked = nameIndex.data(ClientList::IdentityRole).toUuid();
    m_sensorPollCountdown = 0;
    if (clicked == m_lastClicked)
        return;
    resetHistory();
    m_lastClicked = clicked;
    m_selectedClient = clicked;
    m_fleet->setSelected(clicked);
    m_historyTab->selectClient(clicked);
    clearValueLabels();
    clearClientLabels();
    m_sensorPollCountdown = 1;
    // The inventory may still be on its way to the file; a click waits at most for one batch.
    m_registryWriter->waitWritten();
    if (const std::optional<ClientRegistry::Details> details = m_registry->details(clicked))
        showInventory(details->cpu, details->os, details->model, details->serial);
}

void Mainform::slot_btnClientRefreshClicked(bool)
{
    resetHistory();
    m_presenceCountdown = kPresenceTicks;
    sendRequest(msg::KindInventory, msg::broadcastUuid());
}

void Mainform::slot_btnClientResetClicked(bool)
{
    m_registryWriter->removeAll();
    m_replyReader->releaseAll();
    m_clients->clear();
    slot_btnClientRefreshClicked(false);
}

void Mainform::slot_btnHistoryInquiryClicked(bool)
{
    const int index = ui->cbHistoryInquiry->currentIndex();
    const int code = (index >= 0 && index < int(std::size(kHistoryCodes))) ? kHistoryCodes[index]
                                                                              : msg::KindLastFaults;
    if (m_selectedClient.isNull())
        return;
    sendRequest(code, m_selectedClient);
}

void Mainform::on_actionAbout_this_triggered()
{
    QMessageBox::about(this, tr("About me"),
                       tr("<h2>Varden Browser 1.2</h2>"
                          "<p>The VrdClient program is required on every watched machine.</p>"
                          "<p>It helps you to monitor the system health through internet.</p>"));
}
