// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The process's time zone set to `tz` (POSIX form) for the life of the object, then restored.

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

namespace vrdtest {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz)
        : m_saved(qgetenv("TZ"))
        , m_hadTz(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", tz);
        tzset();
    }
    ~ScopedTimeZone()
    {
        m_hadTz ? qputenv("TZ", m_saved) : qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    const QByteArray m_saved;
    const bool m_hadTz;
};

// POSIX sign (the C runtime's on Windows): eight hours east of UTC.
inline constexpr const char* kUtcPlusEight = "UTC-8";

} // namespace vrdtest
