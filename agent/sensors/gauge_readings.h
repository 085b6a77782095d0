// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The readings of the machine's own board, through the sensor library: bound from the one lookup
// (gauge_lookup.h), or from functions already in the process (a scripted board in tests); started
// once with DLLInitial, read on every tick, released once with DLLRelease.
//
//     GaugeReadings gauge;
//     if (!gauge.bind()) ...              // the library cannot be loaded
//     if (!gauge.start()) ...             // gauge.status(): 512 no chip, 1024 no port path
//     gauge.read(snapshot);               // every tick; nothing before start() or after release()
//     gauge.release();                    // at shutdown (or after a failed start)
//
// One caller at a time: the library takes no locks.

#include "gauge_binding.h"
#include "reading_source.h"

#include <QString>
#include <QStringList>

class GaugeReadings : public ReadingSource {
public:
    GaugeReadings() = default;
    GaugeReadings(const GaugeReadings&) = delete;
    GaugeReadings& operator=(const GaugeReadings&) = delete;

    // Loads the first of gaugeLibraryCandidates() that loads. False when none does.
    bool bind();
    // Takes these functions instead of a library file.
    void adopt(const GaugeApi& api);

    // Calls DLLInitial; true when bits 8 to 15 of its status are clear (a chip was found). A
    // missing DLLInitial counts as a failed start with status 0.
    bool start();
    int status() const { return m_status; }
    // The library's line on the source it chose ("hwmon: nct6775-isa-0290"), empty when unsaid.
    QString sourceLine() { return m_binding.sourceLine(); }
    // The files bind() tried, in order, and why the last one did not load.
    QStringList triedFiles() const { return m_tried; }
    QString loadError() const { return m_loadError; }

    void read(SensorSnapshot& snapshot) override;

    // Calls DLLRelease once, when the library is bound and not released yet; reads stop.
    void release();
    // Releases, then unloads the library and forgets every function.
    void unbind();

    bool isLive() const { return m_live; }

private:
    GaugeBinding m_binding;
    bool m_live = false;       // DLLInitial succeeded and DLLRelease has not been called since
    bool m_releaseDue = false; // bound, and DLLRelease not called yet
    int m_status = 0;
    QStringList m_tried;
    QString m_loadError;
};
