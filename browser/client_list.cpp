// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "client_list.h"

#include "messages.h"
#include "remote_text.h"

#include <limits>

struct ClientList::Column {
    const char* header;
    QVariant (ClientList::*data)(const Row& row, int role) const;
};

const ClientList::Column ClientList::kColumns[] = {
    {"Name", &ClientList::nameData},
    {"Status", &ClientList::statusData},
    {"Health", &ClientList::healthData},
};

ClientList::ClientList(const QIcon& online, const QIcon& offline, QObject* parent)
    : QAbstractTableModel(parent)
    , m_online(online)
    , m_offline(offline)
{
}

int ClientList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ClientList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(std::size(kColumns));
}

QVariant ClientList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= columnCount())
        return QVariant();
    return (this->*kColumns[index.column()].data)(m_rows[index.row()], role);
}

QVariant ClientList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return QVariant();
    return QString::fromLatin1(kColumns[section].header);
}

QVariant ClientList::nameData(const Row& row, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return row.name;
    case IdentityRole:
        return row.identity;
    default:
        return QVariant();
    }
}

QVariant ClientList::statusData(const Row& row, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return QString();
    case Qt::DecorationRole:
        if (row.shown == Shown::Nothing)
            return QVariant();
        return row.shown == Shown::Online ? m_online : m_offline;
    case LastSeenRole:
        if (row.lastSeen == Row::LastSeen::Time)
            return row.lastSeenTime;
        return row.lastSeen == Row::LastSeen::Zero ? QVariant(uint(0)) : QVariant();
    default:
        return QVariant();
    }
}

QVariant ClientList::healthData(const Row& row, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return row.healthText;
    case Qt::DecorationRole:
        return row.healthIcon.isNull() ? QVariant() : QVariant(row.healthIcon);
    case Qt::ToolTipRole:
        return row.healthTip.isEmpty() ? QVariant() : QVariant(row.healthTip);
    case HealthRankRole:
        return row.healthRank ? QVariant(*row.healthRank) : QVariant();
    default:
        return QVariant();
    }
}

QString ClientList::nameAt(int row) const
{
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].name : QString();
}

bool ClientList::shownOnline(int row) const
{
    return row >= 0 && row < m_rows.size() && m_rows[row].shown == Shown::Online;
}

void ClientList::setHealth(int row, const QIcon& icon, const QString& text, int rank)
{
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    r.healthIcon = icon;
    r.healthText = text;
    r.healthRank.emplace(rank);
    const QModelIndex cell = index(row, kHealthColumn);
    emit dataChanged(cell, cell);
}

void ClientList::setHealthTip(int row, const QString& tip)
{
    if (row < 0 || row >= m_rows.size() || m_rows[row].healthTip == tip)
        return;
    m_rows[row].healthTip = tip;
    const QModelIndex cell = index(row, kHealthColumn);
    emit dataChanged(cell, cell, {Qt::ToolTipRole});
}

void ClientList::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rowOfIdentity.clear();
    m_onlineCount = 0;
    endResetModel();
    emit countsChanged();
}

ClientList::Row ClientList::makeRow(const NewClient& client, Shown shown)
{
    Row row;
    row.name = oneLineText(client.name);
    row.identity = client.identity;
    row.identityText = msg::uuidText(client.identity);
    row.os = client.os;
    row.shown = shown;
    return row;
}

void ClientList::indexRow(int row)
{
    const QUuid& identity = m_rows[row].identity;
    if (!identity.isNull() && !m_rowOfIdentity.contains(identity))
        m_rowOfIdentity.insert(identity, row);
}

void ClientList::appendClient(const NewClient& client, Shown shown)
{
    appendClients({client}, shown);
}

void ClientList::appendClients(const QVector<NewClient>& clients, Shown shown)
{
    if (clients.isEmpty())
        return;
    const int first = m_rows.size();
    beginInsertRows(QModelIndex(), first, first + clients.size() - 1);
    m_rows.reserve(first + clients.size());
    for (const NewClient& client : clients) {
        m_rows.append(makeRow(client, shown));
        indexRow(m_rows.size() - 1);
    }
    endInsertRows();
    emit countsChanged();
}

int ClientList::rowOf(const QUuid& identity) const
{
    if (identity.isNull())
        return -1;
    return m_rowOfIdentity.value(identity, -1);
}

QUuid ClientList::identityAt(int row) const
{
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].identity : QUuid();
}

void ClientList::setOs(int row, const QString& os)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].os = os;
}

void ClientList::markSeen(int row, const QDateTime& now)
{
    if (row < 0 || row >= m_rows.size())
        return;
    Row& state = m_rows[row];
    state.lastSeen = now.isValid() ? Row::LastSeen::Time : Row::LastSeen::None;
    state.lastSeenTime = now;
    state.lastSeenSecs = now.toSecsSinceEpoch();
}

bool ClientList::isOnline(qint64 lastSeenSecs, qint64 nowSecs)
{
    // A time after now (a clock stepped back) counts as offline, as does anything older.
    const qint64 age = nowSecs - lastSeenSecs;
    return age >= 0 && age <= kOnlineSeconds;
}

bool ClientList::setShown(Row& row, Shown shown)
{
    if (row.shown == shown)
        return false;
    m_onlineCount += (shown == Shown::Online) - (row.shown == Shown::Online);
    row.shown = shown;
    return true;
}

void ClientList::refreshStatus(const QDateTime& now)
{
    const qint64 nowSecs = now.toSecsSinceEpoch();
    const int statusColumn = 1;
    int changedFrom = -1; // first row of the current run of changed rows
    const auto flush = [&](int end) {
        if (changedFrom >= 0)
            emit dataChanged(index(changedFrom, statusColumn), index(end - 1, statusColumn));
        changedFrom = -1;
    };
    const int onlineBefore = m_onlineCount;
    for (int r = 0; r < m_rows.size(); ++r) {
        Row& row = m_rows[r];
        const bool online = row.lastSeen == Row::LastSeen::Time
            && isOnline(row.lastSeenSecs, nowSecs);
        bool changed = setShown(row, online ? Shown::Online : Shown::Offline);
        if (!online && row.lastSeen != Row::LastSeen::Zero) {
            row.lastSeen = Row::LastSeen::Zero;
            row.lastSeenTime = QDateTime();
            changed = true;
        }
        if (changed && changedFrom < 0)
            changedFrom = r;
        else if (!changed)
            flush(r);
    }
    flush(m_rows.size());
    if (m_onlineCount != onlineBefore)
        emit countsChanged();
}

bool ClientList::matches(int row, const QString& text) const
{
    if (row < 0 || row >= m_rows.size())
        return false;
    const Row& r = m_rows[row];
    return r.name.contains(text, Qt::CaseInsensitive) || r.identityText.contains(text, Qt::CaseInsensitive)
        || r.os.contains(text, Qt::CaseInsensitive);
}

ClientFilter::ClientFilter(ClientList* list, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_list(list)
{
    setSourceModel(list);
    // The filter reads the name, identity and system, none of which a status change touches.
    setDynamicSortFilter(false);
}

void ClientFilter::setText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    invalidateFilter();
}

bool ClientFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return m_text.isEmpty() || m_list->matches(sourceRow, m_text);
}

bool ClientFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (left.column() != ClientList::kHealthColumn)
        return QSortFilterProxyModel::lessThan(left, right);
    // Rows never judged sort last.
    const auto rank = [](const QModelIndex& index) {
        const QVariant value = index.data(ClientList::HealthRankRole);
        return value.isValid() ? value.toInt() : std::numeric_limits<int>::max();
    };
    return rank(left) < rank(right);
}
