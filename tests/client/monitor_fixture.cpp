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

namespace {

template <Reading R> int32_t read()
{
    ++ScriptedBoard::readCalls;
    return ScriptedBoard::values[R];
}

int32_t initial()
{
    ++ScriptedBoard::initialCalls;
    return ScriptedBoard::status;
}

int32_t release()
{
    ++ScriptedBoard::releaseCalls;
    return 1;
}

} // namespace

void ScriptedBoard::reset()
{
    status = 16;
    values = {1200, 3300, 5000, 12000, 5000, 12000, 2400, 1800, 38, 45};
    initialCalls = releaseCalls = readCalls = 0;
}

GaugeApi ScriptedBoard::api()
{
    GaugeApi api;
    api.DLLInitial = initial;
    api.DLLRelease = release;
    api.Vcore = read<Vcore>;
    api.Vio = read<Vio>;
    api.P5V = read<P5V>;
    api.P12V = read<P12V>;
    api.N5V = read<N5V>;
    api.N12V = read<N12V>;
    api.Fan1 = read<Fan1>;
    api.Fan2 = read<Fan2>;
    api.SysTemp = read<SysTemp>;
    api.CpuTemp = read<CpuTemp>;
    return api;
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

std::unique_ptr<Mainform> MonitorTest::makeWindow() const
{
    MainformSetup setup;
    setup.settingsPath = settingsPath();
    setup.dataDirectory = dir.path();
    setup.readers = ScriptedBoard::api();
    return std::make_unique<Mainform>(setup);
}

} // namespace monitortest
