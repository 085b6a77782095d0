// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "database_faults.h"

#include "sensor_time.h"

namespace {

std::optional<QVector<msg::FaultRecord>> recordsOf(const std::optional<SensorLogRows>& rows)
{
    if (!rows)
        return std::nullopt;
    QVector<msg::FaultRecord> records;
    records.reserve(int(rows->size()));
    for (const SensorLogRow& row : *rows)
        records.append(faultRecordOf(row));
    return records;
}

} // namespace

std::optional<QVector<msg::FaultRecord>> DatabaseFaults::lastFaults()
{
    return recordsOf(m_database.lastFaults());
}

std::optional<QVector<msg::FaultRecord>> DatabaseFaults::todaysFaults()
{
    return recordsOf(m_database.todaysFaults());
}

msg::FaultRecord faultRecordOf(const SensorLogRow& row)
{
    const QDateTime logged = storedLocalTime(row.dateTime);
    return {row.typeId, row.data, logged.isValid() ? logged.toSecsSinceEpoch() : 0};
}
