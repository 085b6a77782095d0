// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's reply link, on a thread of its own. Anyone an account lets publish on a reply
// topic can send thousands of messages a second; while the window is busy (laying out a list of
// thousands, a chart) the socket must still be drained, or the broker drops what it cannot
// queue, replies of real agents among them. So this thread owns the link: it reads the socket,
// judges every message there (ReplyIntake: retained, topic and account, size, nesting, repeated
// keys, asked for, tied to its account) and hands what it accepts to the window in batches, at
// most kBatchMs apart.
//
// Threads and what they share: the link, the intake with its ties and the registry connection
// of the release check live on the reader's thread and are touched only there; the window calls
// the public functions on its own thread, and they reach the reader as queued calls. Batches
// cross by value through the queued signal repliesArrived. Counters are atomics.
//
// Bounded whatever arrives: a message is judged in one pass over its bytes; the replies handed on
// and not yet handled by the window are at most kMaxRepliesWaiting (beyond, they are dropped and
// counted); the ties grow by at most AccountTies::kNewIdentitiesPerMinute a minute per account;
// claims and refused new identities are reported at most once an hour per account, and for at
// most kReportsPerHour accounts an hour.

#include "broker_access.h"
#include "reply_intake.h"

#include <QHash>
#include <QHostAddress>
#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QUuid>
#include <QVector>

#include <array>
#include <atomic>
#include <optional>

class ReplyReaderWorker;

class ReplyReader : public QObject {
    Q_OBJECT

public:
    struct Reply {
        msg::Envelope envelope;
        QUuid sender;
        QString account;      // of the reply topic; empty for the shared one
        bool tiedNow = false; // this reply tied the sender to its account
        qint64 arrivedMs = 0; // monotonicMs() when the reader took it in
    };
    using Batch = QVector<Reply>;

    struct Setup {
        QHostAddress host;
        quint16 port = 0;
        QString channel;
        BrokerAccess access;
        // The registry's clients, each with the account it is tied to or none.
        QHash<QUuid, std::optional<QString>> known;
        // Read again, for ties an operator removed (vrdctl release), when a claim was refused.
        QString registryPath;
        const AskedKinds* asked = nullptr; // the window's; outlives the reader
    };

    static constexpr int kBatchMs = 20;
    // Two Client Refreshes of a 10,000-agent fleet.
    static constexpr int kMaxRepliesWaiting = 20000;
    // How often refused claims send the reader to the registry for released ties.
    static constexpr int kReleaseCheckMs = 10000;
    static constexpr int kReportsPerHour = 100;

    explicit ReplyReader(Setup setup, QObject* parent = nullptr); // starts the thread and connects
    ~ReplyReader() override;                                      // disconnects and ends the thread

    ReplyReader(const ReplyReader&) = delete;
    ReplyReader& operator=(const ReplyReader&) = delete;

    bool isSubscribed() const { return m_subscribed.load(); }
    QString topic() const;
    QStringList subscriptions() const;

    // The window is done with `replies` of the replies handed on.
    void batchHandled(int replies);

    // A client the window lists without the reader having seen its inventory (a test's): known,
    // untied, so that its next reply ties it.
    void noteKnown(const QUuid& identity);

    // Client Reset: every tie is forgotten. Batches handed on before carry an older generation()
    // and are to be dropped unread.
    void releaseAll();
    quint64 generation() const { return m_generation; }

    // Messages judged so far, by verdict; and accepted ones dropped because the window was behind.
    quint64 count(ReplyIntake::Verdict verdict) const { return m_counts[size_t(verdict)].load(); }
    quint64 refused() const;
    quint64 droppedBehind() const { return m_droppedBehind.load(); }

    // Only for the test that shows what the account check keeps out.
    void setAccountCheck(bool on);

signals:
    void repliesArrived(quint64 generation, const ReplyReader::Batch& batch);
    // A reply on `account`'s topic claimed a client tied to `tiedAccount`.
    void identityClaimed(const QUuid& identity, const QString& account, const QString& tiedAccount);
    // `account` has sent `refused` new identities beyond its share so far.
    void newIdentitiesRefused(const QString& account, quint64 refused);

private:
    friend class ReplyReaderWorker;

    const QString m_channel;
    QThread m_thread;
    ReplyReaderWorker* m_worker = nullptr; // lives on m_thread
    quint64 m_generation = 0;              // the window's side of it
    std::atomic<bool> m_subscribed{false};
    std::atomic<int> m_waiting{0};
    std::array<std::atomic<quint64>, ReplyIntake::kVerdicts> m_counts{};
    std::atomic<quint64> m_droppedBehind{0};
};

Q_DECLARE_METATYPE(ReplyReader::Batch)
