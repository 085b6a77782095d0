// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The real tray program writing the metrics file that promtool accepts.

#include "client_process_fixture.h"
#include "prometheus_export.h"
#include "promtool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real agent with an export directory in its settings file.
TEST(PrometheusAgent, AgentWritesAFilePromtoolAccepts)
{
    QTemporaryDir exportDir;
    ASSERT_TRUE(exportDir.isValid());
    clienttest::ClientOptions options;
    options.enable = false;
    options.board = clienttest::kHotBoard;
    options.general = "CBCPUTemp=1\r\n";
    options.moreSections = "[EXPORT]\r\nPROMETHEUS_DIR=" + exportDir.path().toUtf8() + "\r\n";
    clienttest::ClientUnderTest agent(options);
    ASSERT_TRUE(agent.start()) << agent.errors();
    const QString path = QDir(exportDir.path()).filePath(kPrometheusFileName);
    for (int i = 0; i < 50 && !QFileInfo::exists(path); ++i)
        QThread::msleep(100);
    const QByteArray text = fileBytes(path);
    ASSERT_FALSE(text.isEmpty()) << agent.errors();
    const vrdtest::PromtoolResult result = vrdtest::promtoolCheck(text);
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_TRUE(text.contains("varden_sensor_in_error{sensor=\"cpu_temperature\"} 1\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("varden_library_status 16\n") || text.contains("varden_library_status 4\n"));
    const QUuid identity = agent.storedIdentity();
    EXPECT_TRUE(text.contains("identity=\"" + identity.toString(QUuid::WithBraces).toUtf8() + '"'))
        << text.toStdString();
    EXPECT_TRUE(agent.stop());
}

} // namespace
