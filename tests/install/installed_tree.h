#pragma once
// The build tree installed with `cmake --install` into a temporary DESTDIR, as a packager does,
// and the directories the install rules name (build/packaging/install_dirs.ini).
//
//     InstalledTree tree;
//     ASSERT_TRUE(tree.install()) << tree.log();
//     QProcess::execute(tree.file("bin", "gauge64-read"), {});

#include <QMap>
#include <QString>
#include <QTemporaryDir>

class InstalledTree {
public:
    // Runs the install; false when it fails (see log()).
    bool install();

    // The installed path of `name` in the directory `dirKey` of install_dirs.ini
    // (bin, lib, data, man, doc, autostart, units, sysusers).
    QString file(const QString& dirKey, const QString& name) const;

    QString root() const { return m_destdir.path(); }
    QString log() const { return m_log; }

private:
    QTemporaryDir m_destdir;
    QMap<QString, QString> m_dirs;
    QString m_log;
};
