// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// One running client per login session: a named mutex in the session's namespace. Windows
// releases it however the process ends.

#include "single_instance.h"

#include <QDebug>

#include <windows.h>

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_path(name)
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_mutex)
        CloseHandle(m_mutex);
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_mutex)
        return true;
    const std::wstring name = m_path.toStdWString();
    if (HANDLE running = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str())) {
        CloseHandle(running);
        return false;
    }
    HANDLE created = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!created) {
        // A name taken by another kind of object must not keep the monitor from running.
        qWarning("cannot create the single-instance mutex %s (error %lu); running without it",
                 qUtf8Printable(m_path), GetLastError());
        return true;
    }
    // Another instance that created it between the two calls.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(created);
        return false;
    }
    m_mutex = created;
    return true;
}
