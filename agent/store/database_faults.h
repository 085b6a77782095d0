// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The fault replies of the agent program: the fault rows its logging thread wrote, read through the
// main thread's connection, their stored local time text turned into seconds since 1970 UTC.

#include "client_database.h"
#include "fault_source.h"

class DatabaseFaults : public FaultSource {
public:
    explicit DatabaseFaults(const ClientDatabase& database) : m_database(database) {}

    std::optional<QVector<msg::FaultRecord>> lastFaults() override;
    std::optional<QVector<msg::FaultRecord>> todaysFaults() override;

private:
    const ClientDatabase& m_database;
};

// A stored fault row as the wire carries it: "DT" is the logged local time, read through the
// machine's time zone, in seconds since 1970 UTC; 0 for a text that is no time.
msg::FaultRecord faultRecordOf(const SensorLogRow& row);
