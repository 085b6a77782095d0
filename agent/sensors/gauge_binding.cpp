// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "gauge_binding.h"
#include "gauge_lookup.h"

#include <QCoreApplication>

namespace {

struct Export {
    const char* name;
    GaugeFunction GaugeApi::*slot;
};

const Export kExports[] = {
    {"DLLInitial", &GaugeApi::DLLInitial}, {"DLLRelease", &GaugeApi::DLLRelease}, {"Vcore", &GaugeApi::Vcore},
    {"Vio", &GaugeApi::Vio},               {"P5V", &GaugeApi::P5V},               {"P12V", &GaugeApi::P12V},
    {"N5V", &GaugeApi::N5V},               {"N12V", &GaugeApi::N12V},             {"Fan1", &GaugeApi::Fan1},
    {"Fan2", &GaugeApi::Fan2},             {"SysTemp", &GaugeApi::SysTemp},       {"CpuTemp", &GaugeApi::CpuTemp},
    {"PVbat", &GaugeApi::PVbat},
};

} // namespace

QStringList gaugeLibraryCandidates()
{
    QStringList candidates;
    for (const std::string& file : gaugeLibraryFiles(QCoreApplication::applicationDirPath().toStdString()))
        candidates << QString::fromStdString(file);
    return candidates;
}

GaugeBinding::~GaugeBinding()
{
    unbind();
}

bool GaugeBinding::bind(const QStringList& candidates)
{
    unbind();
    for (const QString& candidate : candidates) {
        m_library.setFileName(candidate);
        if (m_library.load())
            break;
    }
    if (!m_library.isLoaded())
        return false;
    for (const Export& e : kExports)
        m_api.*e.slot = reinterpret_cast<GaugeFunction>(m_library.resolve(e.name));
    m_bound = true;
    return true;
}

QString GaugeBinding::sourceLine()
{
    using SourceExport = int32_t (*)(char*, uint32_t);
    if (!m_library.isLoaded())
        return {};
    auto source = reinterpret_cast<SourceExport>(m_library.resolve("DLLSource"));
    if (!source)
        return {};
    const int32_t length = source(nullptr, 0);
    if (length <= 0)
        return {};
    QByteArray line(length + 1, '\0');
    source(line.data(), uint32_t(line.size()));
    line.truncate(length);
    return QString::fromUtf8(line);
}

void GaugeBinding::adopt(const GaugeApi& api)
{
    unbind();
    m_api = api;
    m_bound = true;
}

void GaugeBinding::unbind()
{
    if (m_library.isLoaded())
        m_library.unload();
    m_api = GaugeApi{};
    m_bound = false;
}
