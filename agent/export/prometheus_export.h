// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The agent's readings in the text exposition format, written for a node exporter's textfile
// collector: one file "varden.prom" in a directory the operator names, replaced whole every
// time so that a scrape never reads half of it.
//
//     PrometheusIdentity who{identity, computer, model, os};
//     writePrometheusFile(dir, prometheusText(snapshot, who, libraryStatus));
//
// Everything here is plain data in, text or a file out; the caller's thread owns the call.

#include "sensor_snapshot.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

// Labels of the info metric: who wrote the file.
struct PrometheusIdentity {
    QUuid identity;
    QString computer; // the name the station lists
    QString systemModel;
    QString os;
};

// The collector reads only files ending in ".prom"; the part written before the rename does not.
inline const QString kPrometheusFileName = QStringLiteral("varden.prom");
inline const QString kPrometheusPartName = QStringLiteral("varden.prom.part");

// The whole file: # HELP and # TYPE before each family, one sample per sensor, volts as
// decimal fractions of the millivolt readings. libraryStatus is what the library's start
// returned.
QByteArray prometheusText(const SensorSnapshot& snapshot, const PrometheusIdentity& who, int libraryStatus);

// A label value as the format quotes it: backslash, double quote and line feed escaped.
QByteArray prometheusLabelValue(const QString& text);

// Writes `text` beside the target as kPrometheusPartName, then renames it over
// kPrometheusFileName: a reader sees the old file or the new one, never a part, even when the
// process dies in the middle. False (and the old file untouched) when the directory cannot be
// written.
bool writePrometheusFile(const QString& directory, const QByteArray& text);
