#include "reading_display.h"

#include "sensor_snapshot.h"

namespace {

struct UnitFormat {
    LogCategory category;
    const char* normal;
    const char* outOfLimits;
    bool millivoltsAsVolts;
};

constexpr UnitFormat kFormats[] = {
    {LogCategory::Temperature, "%d 'C", "<font color=\"Red\">%d 'C</font>", false},
    {LogCategory::Fan, "%d RPM", "<font color=\"Red\">%d RPM</font>", false},
    {LogCategory::Voltage, "%2.3f V", "<font color=\"Red\">%2.3f V</font>", true},
};

const UnitFormat* formatOf(int sensorType)
{
    const SensorTypeInfo* info = sensorTypeInfo(sensorType);
    if (!info)
        return nullptr;
    for (const UnitFormat& format : kFormats) {
        if (format.category == info->category)
            return &format;
    }
    return nullptr;
}

} // namespace

bool readingOutOfLimits(const msg::SensorKeys& keys, const msg::SensorFigures& figures)
{
    if (!figures.enabled)
        return false;
    if (keys.high && figures.reading > figures.high)
        return true;
    return keys.low && figures.reading < figures.low;
}

QString readingText(int sensorType, int reading, bool outOfLimits)
{
    const UnitFormat* format = formatOf(sensorType);
    if (!format)
        return QString();
    const char* pattern = outOfLimits ? format->outOfLimits : format->normal;
    if (format->millivoltsAsVolts)
        return QString::asprintf(pattern, reading / 1000.0);
    return QString::asprintf(pattern, reading);
}
