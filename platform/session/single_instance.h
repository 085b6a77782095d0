// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One running client per login session. On Windows this is a named mutex of that name
// (single_instance_win32.cpp); on Linux an flock on a file in the session's runtime directory,
// released by the kernel however the process ends. Without a runtime directory the file lives in a
// directory of the user's own (mode 0700) in the temporary folder: a shared name there could be
// created first, and held, by any other local user.

#include <QString>

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

    // False when another process of this session holds the lock. When the lock file cannot be
    // opened at all, or its directory in the temporary folder is not this user's alone (someone
    // else's, open to others, a link), the guard is off and this returns true: a broken or planted
    // directory must not keep the monitor from running.
    bool tryAcquire();

    // The lock file (Linux) or the mutex's name (Windows).
    QString path() const { return m_path; }

private:
    int openLockFile() const;

    QString m_path;
    bool m_inTemporaryFolder = false;
    int m_fd = -1;           // the locked file (Linux)
    void* m_mutex = nullptr; // the mutex handle (Windows)
};

// $XDG_RUNTIME_DIR/<name>.lock, or <temporary folder>/vrd-<uid>/<name>.lock without a runtime
// directory.
QString singleInstanceLockPath(const QString& name);
