#include "client_list.h"

namespace {

const QStringList& headers()
{
    static const QStringList labels{QStringLiteral("Name"), QStringLiteral("Status")};
    return labels;
}

constexpr int kNameColumn = 0;
constexpr int kStatusColumn = 1;

} // namespace

ClientList::ClientList(const QIcon& online, const QIcon& offline)
    : m_model(0, 2)
    , m_online(online)
    , m_offline(offline)
{
    clear();
}

void ClientList::clear()
{
    m_model.clear();
    setHeaders();
    m_rowOfIdentity.clear();
    m_rows.clear();
}

void ClientList::setHeaders()
{
    m_model.setColumnCount(headers().size());
    m_model.setHorizontalHeaderLabels(headers());
}

void ClientList::appendClient(const QString& name, const QUuid& identity, Shown shown)
{
    auto* nameItem = new QStandardItem(name);
    nameItem->setData(identity, IdentityRole);
    auto* statusItem = new QStandardItem(QString());
    if (shown != Shown::Nothing)
        statusItem->setIcon(shown == Shown::Online ? m_online : m_offline);

    const int row = m_model.rowCount();
    m_rows.append(RowState{RowState::LastSeen::None, 0, shown});
    if (!identity.isNull() && !m_rowOfIdentity.contains(identity))
        m_rowOfIdentity.insert(identity, row);
    m_model.appendRow({nameItem, statusItem});
}

int ClientList::rowOf(const QUuid& identity) const
{
    if (identity.isNull())
        return -1;
    return m_rowOfIdentity.value(identity, -1);
}

QUuid ClientList::identityAt(int row) const
{
    return m_model.index(row, kNameColumn).data(IdentityRole).toUuid();
}

void ClientList::markSeen(int row, const QDateTime& now)
{
    if (row < 0 || row >= m_rows.size())
        return;
    RowState& state = m_rows[row];
    state.lastSeen = now.isValid() ? RowState::LastSeen::Time : RowState::LastSeen::None;
    state.lastSeenSecs = now.toSecsSinceEpoch();
    m_model.item(row, kStatusColumn)->setData(now, LastSeenRole);
}

bool ClientList::isOnline(qint64 lastSeenSecs, qint64 nowSecs)
{
    // A time after now (a clock stepped back) counts as offline, as does anything older.
    const qint64 age = nowSecs - lastSeenSecs;
    return age >= 0 && age <= kOnlineSeconds;
}

void ClientList::refreshStatus(const QDateTime& now)
{
    const qint64 nowSecs = now.toSecsSinceEpoch();
    for (int row = 0; row < m_rows.size(); ++row) {
        const RowState& state = m_rows[row];
        const bool online = state.lastSeen == RowState::LastSeen::Time && isOnline(state.lastSeenSecs, nowSecs);
        if (online) {
            if (state.shown != Shown::Online)
                replaceStatus(row, Shown::Online, m_model.item(row, kStatusColumn)->data(LastSeenRole));
        } else if (state.shown != Shown::Offline || state.lastSeen != RowState::LastSeen::Zero) {
            replaceStatus(row, Shown::Offline, QVariant(uint(0)));
        }
    }
}

void ClientList::replaceStatus(int row, Shown shown, const QVariant& lastSeen)
{
    auto* item = new QStandardItem(QString());
    item->setIcon(shown == Shown::Online ? m_online : m_offline);
    item->setData(lastSeen, LastSeenRole);
    RowState& state = m_rows[row];
    state.shown = shown;
    if (shown == Shown::Offline) {
        state.lastSeen = RowState::LastSeen::Zero;
        state.lastSeenSecs = 0;
    }
    m_model.setItem(row, kStatusColumn, item);
}
