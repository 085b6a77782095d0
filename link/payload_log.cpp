// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "payload_log.h"

#include <algorithm>

QString payloadExcerpt(const QByteArray& payload)
{
    QString excerpt;
    const int shown = std::min<int>(payload.size(), PayloadLog::kExcerptBytes);
    for (int i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(payload[i]);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
            excerpt += QLatin1Char(char(byte));
        else
            excerpt += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    if (payload.size() > shown)
        excerpt += QStringLiteral(" ... (%1 bytes)").arg(payload.size());
    return excerpt;
}

bool PayloadLog::due(const QString& kind, qint64 nowMs)
{
    const auto last = m_lastMs.constFind(kind);
    if (last != m_lastMs.cend() && nowMs - *last < kIntervalMs)
        return false;
    m_lastMs.insert(kind, nowMs);
    return true;
}
