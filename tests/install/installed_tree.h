// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The build tree installed with `cmake --install` into a temporary DESTDIR, as a packager does,
// and the destinations the install rules name (build/packaging/install_dirs.ini): relative ones
// lie under the prefix, absolute ones where they say.
//
//     InstalledTree tree;
//     ASSERT_TRUE(tree.install()) << tree.log();
//     QProcess::execute(tree.file("bin", "gauge64-read"), {});

#include <QMap>
#include <QString>
#include <QTemporaryDir>

class InstalledTree {
public:
    // Runs the install with the configured prefix, or with `--prefix prefix` when one is given;
    // false when it fails (see log()).
    bool install(const QString& prefix = QString());

    // The installed path of `name` in the destination `dirKey` of install_dirs.ini (prefix, bin,
    // lib, data, man, doc, autostart, units, sysusers).
    QString file(const QString& dirKey, const QString& name) const;

    // Whether the destination is absolute: it stays where it is, whatever --prefix says.
    bool isFixed(const QString& dirKey) const;
    QString configuredPrefix() const { return m_dirs.value(QStringLiteral("prefix")); }

    QString root() const { return m_destdir.path(); }
    QString prefix() const { return m_prefix; }
    QString log() const { return m_log; }

private:
    QTemporaryDir m_destdir;
    QMap<QString, QString> m_dirs;
    QString m_prefix;
    QString m_log;
};
