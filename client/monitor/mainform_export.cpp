// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform.h"

#include <QDebug>

namespace {

// As often as the logging thread writes a pass: a scrape never sees readings older than that.
constexpr int kExportIntervalMs = 10000;

} // namespace

void Mainform::startExport()
{
    if (m_exports.prometheusDir.isEmpty())
        return;
    connect(&m_exportTimer, &QTimer::timeout, this, &Mainform::writeExport);
    m_exportTimer.start(kExportIntervalMs);
    writeExport();
}

void Mainform::writeExport()
{
    const PrometheusIdentity who{m_hostIdentity, m_inventory.sysUser, m_inventory.sysModel, m_inventory.osCaption};
    const bool written = writePrometheusFile(m_exports.prometheusDir, prometheusText(m_snapshot, who, m_libraryStatus));
    // Said once when writing starts to fail and once when it works again, not every ten seconds.
    if (written == m_exportFailing)
        qWarning("metrics file in %s %s", qUtf8Printable(m_exports.prometheusDir),
                 written ? "written again" : "cannot be written");
    m_exportFailing = !written;
}
