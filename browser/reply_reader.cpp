// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "reply_reader.h"

#include "client_accounts.h"
#include "messages.h"
#include "mqtt_transmit.h"

#include <QSet>
#include <QSqlDatabase>
#include <QTimer>

#include <memory>

namespace {

constexpr qint64 kHourMs = 3600 * 1000;

// Reports at most once an hour per key, and for at most ReplyReader::kReportsPerHour keys an hour,
// however many distinct accounts a broker lets senders make up.
class HourlyReports {
public:
    bool due(const QString& key, qint64 nowMs)
    {
        if (nowMs - m_hourStartMs >= kHourMs) {
            m_hourStartMs = nowMs;
            m_reported.clear();
        }
        if (m_reported.size() >= ReplyReader::kReportsPerHour || m_reported.contains(key))
            return false;
        m_reported.insert(key);
        return true;
    }

private:
    qint64 m_hourStartMs = -kHourMs;
    QSet<QString> m_reported;
};

} // namespace

// Everything of the reader that lives on its thread.
class ReplyReaderWorker : public QObject {
public:
    ReplyReaderWorker(ReplyReader* reader, ReplyReader::Setup setup)
        : m_reader(reader)
        , m_setup(std::move(setup))
        , m_intake(m_setup.channel, *m_setup.asked, ReplyIntake::Policy{})
    {
        for (auto it = m_setup.known.cbegin(); it != m_setup.known.cend(); ++it)
            m_intake.ties().know(it.key(), it.value());
        m_setup.known.clear();
    }

    void start()
    {
        m_link = std::make_unique<MqttTransmit>(m_setup.host, m_setup.port, msg::replyTopic(m_setup.channel),
                                                MqttTransmit::ReconnectPolicy::Browser);
        // The shared reply topic and the per-user ones of agents that log in.
        m_link->addSubscription(msg::anyUserReplyTopic(m_setup.channel));
        m_link->setAccess(m_setup.access);
        QObject::connect(m_link.get(), &MqttTransmit::SignalMqttReceived, this,
                         [this](const MqttMessage& message) { take(message); });
        QObject::connect(m_link.get(), &MqttTransmit::SignalSubscribed, this,
                         [this](bool subscribed) { m_reader->m_subscribed.store(subscribed); });
        m_batchTimer.setSingleShot(true);
        m_batchTimer.setInterval(ReplyReader::kBatchMs);
        QObject::connect(&m_batchTimer, &QTimer::timeout, this, [this] { handOn(); });
        m_releaseTimer.setInterval(ReplyReader::kReleaseCheckMs);
        QObject::connect(&m_releaseTimer, &QTimer::timeout, this, [this] { checkReleases(); });
        m_releaseTimer.start();
        m_link->connectToHost();
    }

    // On the reader's thread, before it ends: everything it opened is closed there.
    void stop()
    {
        m_batchTimer.stop();
        m_releaseTimer.stop();
        m_link.reset();
        if (m_registry.isValid()) {
            const QString name = m_registry.connectionName();
            m_registry.close();
            m_registry = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
    }

    void noteKnown(const QUuid& identity)
    {
        if (!m_intake.ties().knows(identity))
            m_intake.ties().know(identity, std::nullopt);
    }

    void releaseAll(quint64 generation)
    {
        m_generation = generation;
        m_batch.clear();
        m_intake.ties().releaseAll();
    }

    void setAccountCheck(bool on) { m_intake.setAccountCheck(on); }

private:
    void take(const MqttMessage& message)
    {
        const qint64 nowMs = monotonicMs();
        ReplyIntake::Taken taken = m_intake.take(message, nowMs);
        ++m_reader->m_counts[size_t(taken.verdict)];
        switch (taken.verdict) {
        case ReplyIntake::Verdict::Accepted:
            accept(std::move(taken), nowMs);
            return;
        case ReplyIntake::Verdict::Claimed:
            m_refusedClaims.insert(taken.sender);
            if (m_reports.due(QStringLiteral("claim ") + taken.account, nowMs))
                emit m_reader->identityClaimed(taken.sender, taken.account, taken.tiedAccount);
            return;
        case ReplyIntake::Verdict::OverLimit:
            if (m_reports.due(QStringLiteral("limit ") + taken.account, nowMs))
                emit m_reader->newIdentitiesRefused(taken.account, m_intake.ties().overLimit(taken.account));
            return;
        default:
            return;
        }
    }

    void accept(ReplyIntake::Taken taken, qint64 nowMs)
    {
        if (m_reader->m_waiting.load() + m_batch.size() >= ReplyReader::kMaxRepliesWaiting) {
            ++m_reader->m_droppedBehind;
            return;
        }
        m_batch.append({std::move(taken.envelope), taken.sender, taken.account, taken.tiedNow, nowMs});
        if (!m_batchTimer.isActive())
            m_batchTimer.start();
    }

    void handOn()
    {
        if (m_batch.isEmpty())
            return;
        ReplyReader::Batch batch;
        batch.swap(m_batch);
        m_reader->m_waiting += batch.size();
        emit m_reader->repliesArrived(m_generation, batch);
    }

    // An operator may have removed a tie (`vrdctl release`) so that another account may speak for
    // the client. Looked up only for clients whose claims were refused, and only for ties older
    // than one check: a tie made moments ago may not be written yet.
    void checkReleases()
    {
        if (m_refusedClaims.isEmpty() || m_setup.registryPath.isEmpty())
            return;
        const QSet<QUuid> refused = std::exchange(m_refusedClaims, {});
        if (!m_registry.isValid()) {
            m_registry = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                   QStringLiteral("reply-reader-%1").arg(quintptr(this), 0, 16));
            m_registry.setDatabaseName(m_setup.registryPath);
            m_registry.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1000"));
        }
        if (!m_registry.isOpen() && !m_registry.open())
            return;
        const std::optional<QHash<QUuid, QString>> stored = client_accounts::read(m_registry);
        if (!stored)
            return;
        const qint64 nowMs = monotonicMs();
        for (const QUuid& identity : refused) {
            const qint64 tiedAt = m_intake.ties().tiedAtMs(identity);
            const bool settled = tiedAt < 0 || nowMs - tiedAt >= ReplyReader::kReleaseCheckMs;
            if (settled && !stored->contains(identity))
                m_intake.ties().release(identity);
        }
    }

    ReplyReader* const m_reader;
    ReplyReader::Setup m_setup;
    ReplyIntake m_intake;
    std::unique_ptr<MqttTransmit> m_link;
    QTimer m_batchTimer{this};
    QTimer m_releaseTimer{this};
    ReplyReader::Batch m_batch;
    quint64 m_generation = 0;
    HourlyReports m_reports;
    QSet<QUuid> m_refusedClaims; // since the last release check
    QSqlDatabase m_registry;     // opened at the first check that needs it
};

ReplyReader::ReplyReader(Setup setup, QObject* parent)
    : QObject(parent)
    , m_channel(setup.channel)
{
    qRegisterMetaType<ReplyReader::Batch>("ReplyReader::Batch");
    m_thread.setObjectName(QStringLiteral("reply reader"));
    m_worker = new ReplyReaderWorker(this, std::move(setup));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->start(); }, Qt::QueuedConnection);
}

ReplyReader::~ReplyReader()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->stop(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

QString ReplyReader::topic() const
{
    return msg::replyTopic(m_channel);
}

QStringList ReplyReader::subscriptions() const
{
    return {msg::replyTopic(m_channel), msg::anyUserReplyTopic(m_channel)};
}

void ReplyReader::batchHandled(int replies)
{
    m_waiting -= replies;
}

void ReplyReader::noteKnown(const QUuid& identity)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, identity] { worker->noteKnown(identity); },
                              Qt::QueuedConnection);
}

void ReplyReader::releaseAll()
{
    const quint64 generation = ++m_generation;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, generation] { worker->releaseAll(generation); },
                              Qt::QueuedConnection);
}

quint64 ReplyReader::refused() const
{
    quint64 total = 0;
    for (int verdict = 0; verdict < ReplyIntake::kVerdicts; ++verdict)
        if (ReplyIntake::Verdict(verdict) != ReplyIntake::Verdict::Accepted)
            total += m_counts[size_t(verdict)].load();
    return total;
}

void ReplyReader::setAccountCheck(bool on)
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, on] { worker->setAccountCheck(on); },
                              Qt::QueuedConnection);
}
