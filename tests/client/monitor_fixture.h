// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Shared pieces of the monitor's tests: a widget application on the offscreen platform, a scripted
// reading source in place of the sensor library, and files in a temporary directory.

#include "gauge_binding.h"
#include "mainform.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>
#include <memory>

namespace monitortest {

void ensureApplication();

// Readings the scripted source returns, by export.
enum Reading { Vcore, Vio, P5V, P12V, N5V, N12V, Fan1, Fan2, SysTemp, CpuTemp, ReadingCount };

struct ScriptedBoard {
    static inline int32_t status = 16;
    static inline std::array<int32_t, ReadingCount> values{};
    static inline int initialCalls = 0;
    static inline int releaseCalls = 0;
    static inline int readCalls = 0;

    // A healthy board with all four rails, status 16, counters cleared.
    static void reset();
    static GaugeApi api();
};

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;

    QString settingsPath() const { return dir.filePath(QStringLiteral("VRD.INI")); }
    void writeSettings(const QByteArray& bytes) const;
    QByteArray readSettings() const;
    std::unique_ptr<Mainform> makeWindow() const;

    template <class T> static T* child(const Mainform& window, const char* name)
    {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTemporaryDir dir;
};

} // namespace monitortest
