#include "sensor_snapshot.h"

namespace {

using S = SensorSnapshot;

constexpr const char* kPowerIcon = ":/ShellIcon/ICON/Power.png";
constexpr const char* kFanIcon = ":/ShellIcon/ICON/Fan.png";
constexpr const char* kTempIcon = ":/ShellIcon/ICON/Temp.png";
constexpr const char* kLoadIcon = ":/ShellIcon/ICON/windows.png";

const SensorTypeInfo kTypes[] = {
    {0, &S::Vcore, &S::CBVcore, &S::Vcore_Hi, &S::Vcore_Lo, LimitRule::Window, LogCategory::Voltage,
     "Vcore = %2.3f V", true, kPowerIcon},
    {1, &S::Vio, &S::CBVio, &S::Vio_Hi, &S::Vio_Lo, LimitRule::Window, LogCategory::Voltage, "Vio = %2.3f V",
     true, kPowerIcon},
    {2, &S::Fan1, &S::CBCPUFan, nullptr, &S::FAN1_Lo, LimitRule::Floor, LogCategory::Fan,
     "Processor Fan = %d RPM", false, kFanIcon},
    {3, &S::Fan2, &S::CBSYSFan, nullptr, &S::FAN2_Lo, LimitRule::Floor, LogCategory::Fan, "System Fan = %d RPM",
     false, kFanIcon},
    {4, &S::P5V, &S::CB5V, &S::P5V_Hi, &S::P5V_Lo, LimitRule::Window, LogCategory::Voltage, "+ 5V = %2.3f V",
     true, kPowerIcon},
    {5, &S::P12V, &S::CB12V, &S::P12V_Hi, &S::P12V_Lo, LimitRule::Window, LogCategory::Voltage,
     "+12V = %2.3f V", true, kPowerIcon},
    {6, &S::N5V, &S::CBN5V, &S::N5V_Hi, &S::N5V_Lo, LimitRule::Window, LogCategory::Voltage, "- 5V = %2.3f V",
     true, kPowerIcon},
    {7, &S::N12V, &S::CBN12V, &S::N12V_Hi, &S::N12V_Lo, LimitRule::Window, LogCategory::Voltage,
     "-12V = %2.3f V", true, kPowerIcon},
    {8, &S::CpuTemp, &S::CBCPUTemp, &S::CPUTemp_Hi, nullptr, LimitRule::Ceiling, LogCategory::Temperature,
     "Processor Temperature = %d 'C", false, kTempIcon},
    {9, &S::SysTemp, &S::CBSYSTemp, &S::SYSTemp_Hi, nullptr, LimitRule::Ceiling, LogCategory::Temperature,
     "System Temperature = %d 'C", false, kTempIcon},
    {10, nullptr, nullptr, nullptr, nullptr, LimitRule::Never, LogCategory::None, "Processor Loading = %d%%",
     false, kLoadIcon},
};

} // namespace

const SensorTypeInfo* sensorTypeInfo(int code)
{
    if (code < 0 || code >= int(std::size(kTypes)))
        return nullptr;
    return &kTypes[code];
}

int sensorInError(int code, const SensorSnapshot& snapshot)
{
    const SensorTypeInfo* info = sensorTypeInfo(code);
    if (!info || info->rule == LimitRule::Never)
        return 0;
    const int16_t value = snapshot.*info->reading;
    const bool above = info->high && value > snapshot.*info->high;
    const bool below = info->low && value < snapshot.*info->low;
    return (above || below) ? 1 : 0;
}

QString sensorLogText(int code, int data)
{
    const SensorTypeInfo* info = sensorTypeInfo(code);
    if (!info)
        return QString::asprintf("TypeID = 0x%x, Data = 0x%x", unsigned(code), unsigned(data));
    if (info->inVolts)
        return QString::asprintf(info->logFormat, data / 1000.0);
    return QString::asprintf(info->logFormat, data);
}

QString sensorLogIcon(int code)
{
    const SensorTypeInfo* info = sensorTypeInfo(code);
    return info ? QString::fromLatin1(info->icon) : QString();
}
