#include "installed_tree.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>

bool InstalledTree::install()
{
    QSettings dirs(QStringLiteral(VRD_BUILD_DIR "/packaging/install_dirs.ini"), QSettings::IniFormat);
    dirs.beginGroup(QStringLiteral("dirs"));
    for (const QString& key : dirs.childKeys())
        m_dirs.insert(key, dirs.value(key).toString());
    if (m_dirs.isEmpty()) {
        m_log = QStringLiteral("no install_dirs.ini in the build tree");
        return false;
    }

    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_destdir.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(VRD_CMAKE), {QStringLiteral("--install"), QStringLiteral(VRD_BUILD_DIR)});
    const bool done = install.waitForFinished(120000);
    m_log = QString::fromLocal8Bit(install.readAll());
    return done && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
}

QString InstalledTree::file(const QString& dirKey, const QString& name) const
{
    return m_destdir.path() + m_dirs.value(dirKey) + QLatin1Char('/') + name;
}
