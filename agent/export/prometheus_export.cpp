// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "prometheus_export.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

// Metric names carry their base unit; one family per unit, so that no family mixes volts and
// degrees. The readings arrive in millivolts, whole degrees and revolutions per minute.
enum class Unit { Volts, Celsius, Rpm };

struct UnitFamily {
    Unit unit;
    const char* value;
    const char* limit;
    const char* noun; // for the help text
};

constexpr UnitFamily kUnitFamilies[] = {
    {Unit::Volts, "varden_sensor_volts", "varden_sensor_limit_volts", "Voltage in volts"},
    {Unit::Celsius, "varden_sensor_celsius", "varden_sensor_limit_celsius", "Temperature in degrees Celsius"},
    {Unit::Rpm, "varden_sensor_rpm", "varden_sensor_limit_rpm", "Fan speed in revolutions per minute"},
};

struct ExportedSensor {
    int type; // SensorType
    const char* label;
    Unit unit;
};

// The ten readings in the order the tray program's window lists them. The negative rails are
// magnitudes, as the library reports them and as their limits are set.
constexpr ExportedSensor kExportedSensors[] = {
    {SensorCpuTemp, "cpu_temperature", Unit::Celsius}, {SensorSysTemp, "system_temperature", Unit::Celsius},
    {SensorCpuFan, "cpu_fan", Unit::Rpm},              {SensorSysFan, "system_fan", Unit::Rpm},
    {SensorVcore, "vcore", Unit::Volts},               {SensorVio, "vio", Unit::Volts},
    {SensorP5V, "plus_5v", Unit::Volts},               {SensorP12V, "plus_12v", Unit::Volts},
    {SensorN5V, "minus_5v", Unit::Volts},              {SensorN12V, "minus_12v", Unit::Volts},
};

// Millivolts as volts with three decimals, exactly: no floating-point rounding on the way.
QByteArray voltsText(int millivolts)
{
    const int magnitude = std::abs(millivolts);
    return QByteArray(millivolts < 0 ? "-" : "") + QByteArray::number(magnitude / 1000) + '.' +
           QByteArray::number(magnitude % 1000).rightJustified(3, '0');
}

QByteArray sampleText(Unit unit, int raw)
{
    return unit == Unit::Volts ? voltsText(raw) : QByteArray::number(raw);
}

void family(QByteArray& out, const char* name, const char* help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n";
}

void sample(QByteArray& out, const char* name, const QByteArray& labels, const QByteArray& value)
{
    out += QByteArray(name) + '{' + labels + "} " + value + '\n';
}

QByteArray sensorLabel(const ExportedSensor& sensor)
{
    return QByteArray("sensor=\"") + sensor.label + '"';
}

void readingFamilies(QByteArray& out, const SensorSnapshot& snapshot)
{
    for (const UnitFamily& unit : kUnitFamilies) {
        family(out, unit.value, (QByteArray(unit.noun) + " last read from the hardware monitor.").constData());
        for (const ExportedSensor& sensor : kExportedSensors)
            if (sensor.unit == unit.unit)
                sample(out, unit.value, sensorLabel(sensor),
                       sampleText(sensor.unit, snapshot.*sensorFields(sensor.type)->reading));
    }
}

void limitFamilies(QByteArray& out, const SensorSnapshot& snapshot)
{
    for (const UnitFamily& unit : kUnitFamilies) {
        family(out, unit.limit, (QByteArray(unit.noun) + " limit set on the agent; bound is high or low.").constData());
        for (const ExportedSensor& sensor : kExportedSensors) {
            if (sensor.unit != unit.unit)
                continue;
            const SensorFields& fields = *sensorFields(sensor.type);
            if (fields.high)
                sample(out, unit.limit, sensorLabel(sensor) + ",bound=\"high\"",
                       sampleText(sensor.unit, snapshot.*fields.high));
            if (fields.low)
                sample(out, unit.limit, sensorLabel(sensor) + ",bound=\"low\"",
                       sampleText(sensor.unit, snapshot.*fields.low));
        }
    }
}

void switchFamilies(QByteArray& out, const SensorSnapshot& snapshot)
{
    family(out, "varden_sensor_enabled", "1 when the agent's alarm for the sensor is switched on.");
    for (const ExportedSensor& sensor : kExportedSensors)
        sample(out, "varden_sensor_enabled", sensorLabel(sensor),
               snapshot.*sensorFields(sensor.type)->enabled ? "1" : "0");
    family(out, "varden_sensor_in_error",
           "1 when the sensor is switched on and its reading is outside its limits (the agent's alarm).");
    for (const ExportedSensor& sensor : kExportedSensors) {
        sample(out, "varden_sensor_in_error", sensorLabel(sensor),
               outOfLimits(sensor.type, figuresOf(snapshot, sensor.type)) ? "1" : "0");
    }
}

} // namespace

QByteArray prometheusLabelValue(const QString& text)
{
    QByteArray quoted;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            quoted += "\\\\";
        else if (c == '"')
            quoted += "\\\"";
        else if (c == '\n')
            quoted += "\\n";
        else
            quoted += c;
    }
    return quoted;
}

QByteArray prometheusText(const SensorSnapshot& snapshot, const PrometheusIdentity& who, int libraryStatus)
{
    QByteArray out;
    family(out, "varden_agent_info", "The agent that wrote this file; the value is always 1.");
    const QByteArray identity = prometheusLabelValue(who.identity.toString(QUuid::WithBraces));
    sample(out, "varden_agent_info",
           "identity=\"" + identity + "\",computer=\"" + prometheusLabelValue(who.computer) + "\",system_model=\"" +
               prometheusLabelValue(who.systemModel) + "\",os=\"" + prometheusLabelValue(who.os) + '"',
           "1");
    family(out, "varden_library_status",
           "Status of the sensor library's start: 16 or 4 a chip was found, 512 none, 1024 no driver.");
    out += "varden_library_status " + QByteArray::number(libraryStatus) + '\n';
    readingFamilies(out, snapshot);
    limitFamilies(out, snapshot);
    switchFamilies(out, snapshot);
    return out;
}

bool writePrometheusFile(const QString& directory, const QByteArray& text)
{
    const QDir dir(directory);
    const QString partPath = dir.filePath(kPrometheusPartName);
    QFile part(partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = part.write(text) == text.size() && part.flush();
    part.close();
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing target.
    if (!written || std::rename(QFile::encodeName(partPath).constData(),
                                QFile::encodeName(dir.filePath(kPrometheusFileName)).constData()) != 0) {
        QFile::remove(partPath);
        return false;
    }
    return true;
}
