// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"

#include <QDebug>
#include <QLabel>

namespace {

struct ReadingSource {
    GaugeFunction GaugeApi::*function;
    int16_t SensorSnapshot::*field;
};

// The order of the library calls on every tick.
constexpr ReadingSource kReadingSources[] = {
    {&GaugeApi::Vcore, &SensorSnapshot::Vcore},     {&GaugeApi::Vio, &SensorSnapshot::Vio},
    {&GaugeApi::P5V, &SensorSnapshot::P5V},         {&GaugeApi::P12V, &SensorSnapshot::P12V},
    {&GaugeApi::N5V, &SensorSnapshot::N5V},         {&GaugeApi::N12V, &SensorSnapshot::N12V},
    {&GaugeApi::CpuTemp, &SensorSnapshot::CpuTemp}, {&GaugeApi::SysTemp, &SensorSnapshot::SysTemp},
    {&GaugeApi::Fan1, &SensorSnapshot::Fan1},       {&GaugeApi::Fan2, &SensorSnapshot::Fan2},
};

const QString kAlarmMessage = QStringLiteral("Please check information of Varden");
constexpr int kBalloonMs = 1000;

} // namespace

void Mainform::slot_TimerEvent()
{
    readSensors();
    refreshReadingLabels();
    updateAlarm();
    handOverSnapshot();
    saveSettingsIfChanged();
}

void Mainform::readSensors()
{
    // Until DLLInitial succeeded, and after DLLRelease, the library must not be called.
    if (!m_sensorsLive)
        return;
    const GaugeApi& api = m_gauge.api();
    for (const ReadingSource& source : kReadingSources) {
        const GaugeFunction read = api.*source.function;
        // The library's 32-bit result keeps its low 16 bits.
        m_snapshot.*source.field = read ? int16_t(read()) : 0;
    }
}

void Mainform::refreshReadingLabels()
{
    for (const ReadingLabel& row : m_readingLabels)
        row.label->setText(readingLabelText(sensorType(row.type).unit, figuresOf(m_snapshot, row.type).reading));
}

void Mainform::updateAlarm()
{
    const bool fault = anySwitchedSensorInError(m_snapshot);
    setTrayIcon(fault ? kFaultIcon : kHealthyIcon);
    const bool wasSet = m_alarm.isSet();
    if (m_alarm.update(fault)) {
        // The tray's state on standard error, for those who watch the client from outside.
        qDebug("alarm: fault");
        showAlarmBalloon();
    } else if (wasSet && !fault) {
        qDebug("alarm: healthy");
    }
}

void Mainform::setTrayIcon(const char* path)
{
    const QString name = QString::fromLatin1(path);
    if (name == m_trayIconPath)
        return;
    m_trayIconPath = name;
    m_tray.setIcon(QIcon(name));
}

void Mainform::showAlarmBalloon()
{
    if (!m_tray.isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray.showMessage(QString(), kAlarmMessage, QSystemTrayIcon::Information, kBalloonMs);
}

void Mainform::saveSettingsIfChanged()
{
    if (!m_settingsChanged)
        return;
    // A save that failed (disk full) is tried again on the next tick, so the change is not
    // left for the shutdown alone.
    m_settingsChanged = !saveSettings(m_settingsPath, m_snapshot);
}
