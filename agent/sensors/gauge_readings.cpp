// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "gauge_readings.h"

#include "gauge64.h"

namespace {

struct ReadingExport {
    GaugeFunction GaugeApi::*function;
    int16_t SensorSnapshot::*field;
};

// The order of the library calls on every tick.
constexpr ReadingExport kReadingExports[] = {
    {&GaugeApi::Vcore, &SensorSnapshot::Vcore},     {&GaugeApi::Vio, &SensorSnapshot::Vio},
    {&GaugeApi::P5V, &SensorSnapshot::P5V},         {&GaugeApi::P12V, &SensorSnapshot::P12V},
    {&GaugeApi::N5V, &SensorSnapshot::N5V},         {&GaugeApi::N12V, &SensorSnapshot::N12V},
    {&GaugeApi::CpuTemp, &SensorSnapshot::CpuTemp}, {&GaugeApi::SysTemp, &SensorSnapshot::SysTemp},
    {&GaugeApi::Fan1, &SensorSnapshot::Fan1},       {&GaugeApi::Fan2, &SensorSnapshot::Fan2},
};

} // namespace

bool GaugeReadings::bind()
{
    m_tried = gaugeLibraryCandidates();
    m_releaseDue = m_binding.bind(m_tried);
    m_loadError = m_releaseDue ? QString() : m_binding.errorString();
    return m_releaseDue;
}

void GaugeReadings::adopt(const GaugeApi& api)
{
    m_binding.adopt(api);
    m_releaseDue = true;
}

bool GaugeReadings::start()
{
    const GaugeFunction initial = m_binding.api().DLLInitial;
    m_status = initial ? initial() : 0;
    m_live = initial && GAUGE64_SUCCEEDED(m_status);
    return m_live;
}

void GaugeReadings::read(SensorSnapshot& snapshot)
{
    // Until DLLInitial succeeded, and after DLLRelease, the library must not be called.
    if (!m_live)
        return;
    const GaugeApi& api = m_binding.api();
    for (const ReadingExport& reading : kReadingExports) {
        const GaugeFunction read = api.*reading.function;
        snapshot.*reading.field = read ? int16_t(read()) : 0;
    }
}

void GaugeReadings::release()
{
    m_live = false;
    if (!m_releaseDue)
        return;
    m_releaseDue = false;
    if (const GaugeFunction release = m_binding.api().DLLRelease)
        release();
}

void GaugeReadings::unbind()
{
    release();
    m_binding.unbind();
}
