// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "single_instance.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// O_NOFOLLOW: a planted symlink must not redirect the lock file.
constexpr int kLockFlags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;

// The lock's directory in the temporary folder, by descriptor: created with mode 0700 where missing,
// refused (-1) when it is a link, not a directory, someone else's, or open to others. Once checked
// it stays so: a sticky temporary folder such as /tmp lets no one else rename or remove it.
int openPrivateDirectory(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return -1;
    const int fd = open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_uid != getuid() || (info.st_mode & 077) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

QString singleInstanceLockPath(const QString& name)
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString directory =
        runtimeDir.isEmpty() ? QDir::tempPath() + QStringLiteral("/vrd-%1").arg(getuid()) : runtimeDir;
    return directory + QLatin1Char('/') + name + QStringLiteral(".lock");
}

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_path(singleInstanceLockPath(name))
    , m_inTemporaryFolder(qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

int SingleInstanceLock::openLockFile() const
{
    const QFileInfo path(m_path);
    const int directory = m_inTemporaryFolder ? openPrivateDirectory(path.path()) : AT_FDCWD;
    if (directory == -1) {
        qWarning("%s is not a directory of this user's alone; running without the single-instance lock",
                 qUtf8Printable(path.path()));
        return -1;
    }
    const QByteArray name = QFile::encodeName(m_inTemporaryFolder ? path.fileName() : m_path);
    const int fd = openat(directory, name.constData(), kLockFlags, 0600);
    if (fd < 0)
        qDebug() << "SingleInstanceLock::tryAcquire" << __LINE__ << "cannot open" << m_path << strerror(errno);
    if (directory >= 0)
        close(directory);
    return fd;
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_fd >= 0)
        return true;
    const int fd = openLockFile();
    if (fd < 0)
        return true;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return !held;
    }
    m_fd = fd;
    return true;
}
