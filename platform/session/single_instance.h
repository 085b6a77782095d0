#pragma once
// One running client per login session. On Windows this is a named mutex; here it is an flock on a
// file in the session's runtime directory, released by the kernel however the process ends.

#include <QString>

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

    // False when another process of this session holds the lock. When the lock file cannot be
    // opened at all, the guard is off and this returns true: a broken runtime directory must not
    // keep the monitor from running.
    bool tryAcquire();

    QString path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

// $XDG_RUNTIME_DIR/<name>.lock, or /tmp/<name>-<uid>.lock without a runtime directory.
QString singleInstanceLockPath(const QString& name);
