// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Where an agent's fault replies (kinds 3 and 5) take their entries from: the rows its logging
// thread wrote (database_faults.h), or the simulator's model of a machine. Times are numbers,
// seconds since 1970 UTC, as the wire carries them.

#include "messages.h"

#include <QVector>

#include <optional>

class FaultSource {
public:
    virtual ~FaultSource() = default;
    // The newest faults first, at most msg::kMaxFaultEntries; nothing when the store cannot be read.
    virtual std::optional<QVector<msg::FaultRecord>> lastFaults() = 0;
    // The same, of today's local date only.
    virtual std::optional<QVector<msg::FaultRecord>> todaysFaults() = 0;
};
