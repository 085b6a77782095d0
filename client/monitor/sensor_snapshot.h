#pragma once
// The client's one record of readings, switches and limits, and the sensor type codes
// that the log, the database and the protocol share.

#include <QString>
#include <array>
#include <cstdint>

// Plain fixed-width record: copied whole, by value, into the logging thread.
struct SensorSnapshot {
    int16_t Vcore = 0;
    int16_t Vio = 0;
    int16_t P5V = 0;
    int16_t P12V = 0;
    int16_t N5V = 0;
    int16_t N12V = 0;
    int16_t Fan1 = 0;
    int16_t Fan2 = 0;
    int16_t CpuTemp = 0;
    int16_t SysTemp = 0;

    uint8_t Debug = 0;
    uint8_t CBVcore = 1;
    uint8_t CBVio = 1;
    uint8_t CB5V = 1;
    uint8_t CB12V = 1;
    uint8_t CBN5V = 0;
    uint8_t CBN12V = 0;
    uint8_t CBCPUFan = 0;
    uint8_t CBSYSFan = 0;
    uint8_t CBCPUTemp = 1;
    uint8_t CBSYSTemp = 1;

    int16_t Vcore_Hi = 3600;
    int16_t Vcore_Lo = 500;
    int16_t Vio_Hi = 3600;
    int16_t Vio_Lo = 500;
    int16_t P5V_Hi = 5400;   // key "+5V_Hi"
    int16_t P5V_Lo = 4600;   // key "+5V_Lo"
    int16_t P12V_Hi = 13500; // key "+12V_Hi"
    int16_t P12V_Lo = 10500; // key "+12V_Lo"
    int16_t N5V_Hi = 5400;   // key "-5V_Hi"
    int16_t N5V_Lo = 4600;   // key "-5V_Lo"
    int16_t N12V_Hi = 13500; // key "-12V_Hi"
    int16_t N12V_Lo = 10500; // key "-12V_Lo"
    int16_t FAN1_Lo = 1000;
    int16_t FAN2_Lo = 1000;
    int16_t CPUTemp_Hi = 70;
    int16_t SYSTemp_Hi = 70;
};

// Code stored as TYPE_ID and sent as "TYPE".
enum SensorType : int {
    SensorVcore = 0,
    SensorVio = 1,
    SensorCpuFan = 2,
    SensorSysFan = 3,
    SensorP5V = 4,
    SensorP12V = 5,
    SensorN5V = 6,
    SensorN12V = 7,
    SensorCpuTemp = 8,
    SensorSysTemp = 9,
    SensorCpuLoad = 10,
};

enum class LimitRule { Window, Ceiling, Floor, Never };
enum class LogCategory { None, Temperature, Voltage, Fan };

struct SensorTypeInfo {
    int code;
    int16_t SensorSnapshot::*reading; // null for the processor load
    uint8_t SensorSnapshot::*enabled; // null: always logged
    int16_t SensorSnapshot::*high;    // null when the rule has no upper limit
    int16_t SensorSnapshot::*low;     // null when the rule has no lower limit
    LimitRule rule;
    LogCategory category;
    const char* logFormat; // takes volts (double) when inVolts, else an int
    bool inVolts;
    const char* icon;
};

// The row of a type code, or null for a code outside 0 to 10.
const SensorTypeInfo* sensorTypeInfo(int code);

// The one error test: 1 when the reading of `code` is outside its limits (equal is healthy).
// It ignores the switch; callers skip switched-off sensors. The processor load and unknown
// codes are never in error.
int sensorInError(int code, const SensorSnapshot& snapshot);

// The order in which a logging pass writes the switched sensors (the load follows last).
constexpr std::array<int, 10> kSensorLoggingOrder = {8, 9, 2, 3, 0, 1, 4, 5, 6, 7};

// Log and fault text of one stored value, "TypeID = 0x%x, Data = 0x%x" for unknown codes.
QString sensorLogText(int code, int data);

// Resource path of the type's log icon; empty for unknown codes.
QString sensorLogIcon(int code);
