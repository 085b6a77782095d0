// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Shared pieces of the monitor's tests: a widget application on the offscreen platform, a scripted
// reading source in place of the sensor library, and files in a temporary directory.

#include "mainform.h"
#include "scripted_board.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace monitortest {

void ensureApplication();

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override;

    QString settingsPath() const { return dir.filePath(QStringLiteral("VRD.INI")); }
    void writeSettings(const QByteArray& bytes) const;
    QByteArray readSettings() const;
    AgentSetup setup() const;
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
