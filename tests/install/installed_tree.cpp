// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "installed_tree.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>

bool InstalledTree::install(const QString& prefix)
{
    QSettings dirs(QStringLiteral(VRD_BUILD_DIR "/packaging/install_dirs.ini"), QSettings::IniFormat);
    dirs.beginGroup(QStringLiteral("dirs"));
    for (const QString& key : dirs.childKeys())
        m_dirs.insert(key, dirs.value(key).toString());
    if (m_dirs.isEmpty()) {
        m_log = QStringLiteral("no install_dirs.ini in the build tree");
        return false;
    }
    m_prefix = prefix.isEmpty() ? m_dirs.value(QStringLiteral("prefix")) : prefix;

    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_destdir.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("--install"), QStringLiteral(VRD_BUILD_DIR)};
    if (!prefix.isEmpty())
        arguments << QStringLiteral("--prefix") << prefix;
    install.start(QStringLiteral(VRD_CMAKE), arguments);
    const bool done = install.waitForFinished(120000);
    m_log = QString::fromLocal8Bit(install.readAll());
    return done && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
}

bool InstalledTree::isFixed(const QString& dirKey) const
{
    return dirKey != QLatin1String("prefix") && QDir::isAbsolutePath(m_dirs.value(dirKey));
}

QString InstalledTree::file(const QString& dirKey, const QString& name) const
{
    const QString dir = m_dirs.value(dirKey);
    const QString full = dirKey == QLatin1String("prefix") || QDir::isAbsolutePath(dir) ? dir : m_prefix + '/' + dir;
    return m_destdir.path() + full + QLatin1Char('/') + name;
}
