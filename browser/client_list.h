// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The station's list of known clients, the item model behind tvClient: "Name" (the computer
// name, the identity role), "Status" (the online or offline icon, the last-seen role) and
// "Health" (icon and text of the health polling, the health rank role, and a tool tip that
// names the readings out of their limits).
//
// Built for fleets of thousands answering the presence request every second:
// - a presence reply only records the time in the row; no signal, no item is touched;
// - the status refresh signals only the rows whose icon changes;
// - rows are found by identity through an index beside the rows, never by a scan;
// - many rows are appended with one insertion (the registry at start).
// Rows are only ever appended or all removed, so the index keeps the first row of an identity,
// as a scan from row 0 would find it.
//
// The columns are rows of one table in client_list.cpp (header and the routine that answers
// each role); a column is added there. ClientFilter narrows the list for the view.

#include <QAbstractTableModel>

#include <optional>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <QUuid>
#include <QVector>

class ClientList : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int IdentityRole = Qt::UserRole + 1; // column 0: the client's QUuid
    static constexpr int LastSeenRole = Qt::UserRole + 2; // column 1: QDateTime, or uint 0 once shown offline
    static constexpr int HealthRankRole = Qt::UserRole + 3; // column 2: int, troubled clients lowest
    static constexpr int kHealthColumn = 2;

    // A client is online while its last presence reply is at most this old.
    static constexpr qint64 kOnlineSeconds = 20;

    enum class Shown { Nothing, Online, Offline };

    struct NewClient {
        QString name;
        QUuid identity;
        QString os; // only searched by the filter, not shown
    };

    ClientList(const QIcon& online, const QIcon& offline, QObject* parent = nullptr);

    QAbstractItemModel* model() { return this; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Removes every row.
    void clear();

    // Shown::Offline gives the offline icon, Shown::Nothing no icon; neither has a last-seen value.
    void appendClient(const NewClient& client, Shown shown);
    // All in one insertion.
    void appendClients(const QVector<NewClient>& clients, Shown shown);

    // First row with this identity, or -1. The null identity matches no row.
    int rowOf(const QUuid& identity) const;

    QUuid identityAt(int row) const;
    QString nameAt(int row) const;
    bool shownOnline(int row) const;

    // The Health column of the row; rank orders it, lowest first.
    void setHealth(int row, const QIcon& icon, const QString& text, int rank);
    // The Health column's tool tip; empty: none.
    void setHealthTip(int row, const QString& tip);

    // The operating system searched by the filter; an inventory reply may bring a newer one.
    void setOs(int row, const QString& os);

    // Records the last presence reply of the row; the icon follows at the next refresh.
    void markSeen(int row, const QDateTime& now);

    // Shows every row online or offline by its last-seen value. A row goes offline with the
    // last-seen value uint 0; only rows whose status changes are signalled.
    void refreshStatus(const QDateTime& now);

    int onlineCount() const { return m_onlineCount; }

    // Whether the row's name, identity text or operating system contains the text (any case).
    bool matches(int row, const QString& text) const;

    // The presence rule: seen at most kOnlineSeconds before now, and not after it.
    static bool isOnline(qint64 lastSeenSecs, qint64 nowSecs);

signals:
    // The number of rows or of online rows changed.
    void countsChanged();

private:
    struct Row {
        QString name;
        QUuid identity;
        QString identityText; // braced lower-case, as the filter searches it
        QString os;
        enum class LastSeen { None, Time, Zero } lastSeen = LastSeen::None;
        QDateTime lastSeenTime;
        qint64 lastSeenSecs = 0; // of lastSeenTime, kept so that a refresh converts no time
        Shown shown = Shown::Nothing;
        QIcon healthIcon;
        QString healthText;
        QString healthTip;
        std::optional<int> healthRank; // none until the client is first judged
    };

    struct Column;
    static const Column kColumns[];

    QVariant nameData(const Row& row, int role) const;
    QVariant statusData(const Row& row, int role) const;
    QVariant healthData(const Row& row, int role) const;
    static Row makeRow(const NewClient& client, Shown shown);
    void indexRow(int row);
    bool setShown(Row& row, Shown shown);

    QIcon m_online;
    QIcon m_offline;
    QVector<Row> m_rows;
    QHash<QUuid, int> m_rowOfIdentity;
    int m_onlineCount = 0;
};

// The rows of a ClientList that match the filter text; every row while the text is empty.
class ClientFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit ClientFilter(ClientList* list, QObject* parent = nullptr);

    void setText(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    // The Health column sorts by its rank (faults first), the others by their text.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ClientList* m_list;
    QString m_text;
};
