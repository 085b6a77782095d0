#include "single_instance.h"

#include <QDebug>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString singleInstanceLockPath(const QString& name)
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty())
        return runtimeDir + QLatin1Char('/') + name + QStringLiteral(".lock");
    return QStringLiteral("/tmp/%1-%2.lock").arg(name).arg(getuid());
}

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_path(singleInstanceLockPath(name))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_fd >= 0)
        return true;
    // O_NOFOLLOW: in a shared /tmp a planted symlink must not redirect the lock file.
    const int fd = open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        qDebug() << "SingleInstanceLock::tryAcquire" << __LINE__ << "cannot open" << m_path << strerror(errno);
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return !held;
    }
    m_fd = fd;
    return true;
}
