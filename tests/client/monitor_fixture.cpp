// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "monitor_fixture.h"

namespace monitortest {

void ensureApplication()
{
    if (QApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "monitor_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

void MonitorTest::SetUp()
{
    ensureApplication();
    ASSERT_TRUE(dir.isValid());
    ScriptedBoard::reset();
}

void MonitorTest::writeSettings(const QByteArray& bytes) const
{
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray MonitorTest::readSettings() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

AgentSetup MonitorTest::setup() const
{
    AgentSetup setup;
    setup.settingsPath = settingsPath();
    setup.dataDirectory = dir.path();
    setup.readers = ScriptedBoard::api();
    return setup;
}

std::unique_ptr<Mainform> MonitorTest::makeWindow() const
{
    return std::make_unique<Mainform>(setup());
}

} // namespace monitortest
