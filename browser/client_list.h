#pragma once
// The station's list of known clients: a two-column item model ("Name" | "Status") for
// tvClient. Column 0 holds the computer name and the identity role, column 1 the online or
// offline icon and the last-seen role.
//
// With thousands of clients answering the presence request every second, a reply must not
// scan the rows: an index from identity to row lives beside the model, and the status item is
// replaced only when what it shows changes. Rows are only ever appended or all removed, so the
// index keeps the first row of an identity, as a scan from row 0 would find it.

#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QStandardItemModel>
#include <QUuid>
#include <QVector>

class ClientList {
public:
    static constexpr int IdentityRole = Qt::UserRole + 1; // column 0: the client's QUuid
    static constexpr int LastSeenRole = Qt::UserRole + 2; // column 1: QDateTime, or uint 0 once shown offline

    // A client is online while its last presence reply is at most this old.
    static constexpr qint64 kOnlineSeconds = 20;

    enum class Shown { Nothing, Online, Offline };

    ClientList(const QIcon& online, const QIcon& offline);

    QStandardItemModel* model() { return &m_model; }
    int rowCount() const { return m_model.rowCount(); }

    // Removes every row and sets the headers again.
    void clear();

    // Shown::Offline gives the offline icon, Shown::Nothing no icon; neither has a last-seen value.
    void appendClient(const QString& name, const QUuid& identity, Shown shown);

    // First row with this identity, or -1. The null identity matches no row.
    int rowOf(const QUuid& identity) const;

    QUuid identityAt(int row) const;

    // Sets the last-seen role of the row; the icon follows at the next refresh.
    void markSeen(int row, const QDateTime& now);

    // Shows every row online or offline by its last-seen value. A row goes offline with the
    // last-seen value uint 0; an unchanged row keeps its item.
    void refreshStatus(const QDateTime& now);

    // The presence rule: seen at most kOnlineSeconds before now, and not after it.
    static bool isOnline(qint64 lastSeenSecs, qint64 nowSecs);

private:
    // What the row's status item holds, kept here so that a refresh reads no item.
    struct RowState {
        enum class LastSeen { None, Time, Zero } lastSeen = LastSeen::None;
        qint64 lastSeenSecs = 0;
        Shown shown = Shown::Nothing;
    };

    void setHeaders();
    void replaceStatus(int row, Shown shown, const QVariant& lastSeen);

    QStandardItemModel m_model;
    QIcon m_online;
    QIcon m_offline;
    QHash<QUuid, int> m_rowOfIdentity;
    QVector<RowState> m_rows;
};
