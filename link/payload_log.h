// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A payload from the broker is never written to a log whole: anyone on the broker chooses its
// size and its bytes, and a log that copies them grows as fast as they are sent and carries
// terminal escapes to whoever reads it. A log line shows the first kExcerptBytes of it, escaped,
// and each kind of line is written at most once a second:
//
//     if (m_payloadLog.due(QStringLiteral("fault history reply"), monotonicMs()))
//         qDebug() << "fault history reply" << payloadExcerpt(payload);

#include <QByteArray>
#include <QHash>
#include <QString>

// The first kExcerptBytes of the payload with every byte outside printable ASCII, and the
// backslash, written as \xNN; followed by " ... (N bytes)" when the payload is longer.
QString payloadExcerpt(const QByteArray& payload);

class PayloadLog {
public:
    static constexpr int kExcerptBytes = 200;
    static constexpr qint64 kIntervalMs = 1000;

    // Whether a line of this kind may be written now: none was less than kIntervalMs before
    // nowMs. A true answer counts as written. The kinds are the caller's own fixed texts.
    bool due(const QString& kind, qint64 nowMs);

private:
    QHash<QString, qint64> m_lastMs;
};
