// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Run-time binding of the sensor library: the exports the agent uses, as plain function pointers.

#include <QLibrary>
#include <QStringList>
#include <cstdint>

// Every export takes nothing and returns a signed 32-bit integer.
using GaugeFunction = int32_t (*)();

struct GaugeApi {
    GaugeFunction DLLInitial = nullptr;
    GaugeFunction DLLRelease = nullptr;
    GaugeFunction Vcore = nullptr;
    GaugeFunction Vio = nullptr;
    GaugeFunction P5V = nullptr;
    GaugeFunction P12V = nullptr;
    GaugeFunction N5V = nullptr;
    GaugeFunction N12V = nullptr;
    GaugeFunction Fan1 = nullptr;
    GaugeFunction Fan2 = nullptr;
    GaugeFunction SysTemp = nullptr;
    GaugeFunction CpuTemp = nullptr;
    GaugeFunction PVbat = nullptr; // resolved and kept, never called
};

// gaugeLibraryFiles (gauge_lookup.h) for the running program.
QStringList gaugeLibraryCandidates();

class GaugeBinding {
public:
    GaugeBinding() = default;
    GaugeBinding(const GaugeBinding&) = delete;
    GaugeBinding& operator=(const GaugeBinding&) = delete;
    ~GaugeBinding();

    // Loads the first candidate that loads and resolves the exports by their plain names; a missing
    // export stays null without failing the binding. False when no candidate could be loaded.
    bool bind(const QStringList& candidates);
    // Takes functions already in the process instead of a library file (a scripted reading source).
    void adopt(const GaugeApi& api);
    // Unloads the library and clears every pointer.
    void unbind();

    // The library's line naming the source it chose at DLLInitial ("hwmon: nct6775-isa-0290");
    // empty when the library does not say (the Windows library, adopted functions).
    QString sourceLine();

    bool isBound() const { return m_bound; }
    const GaugeApi& api() const { return m_api; }
    QString fileName() const { return m_library.fileName(); }
    // Why the last candidate tried did not load.
    QString errorString() const { return m_library.errorString(); }

private:
    QLibrary m_library;
    GaugeApi m_api;
    bool m_bound = false;
};
