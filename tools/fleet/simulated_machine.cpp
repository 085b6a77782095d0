// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "simulated_machine.h"

#include <QDateTime>

#include <algorithm>

namespace {

// A reading of the snapshot, its resting value range and how far it wanders per tick.
struct ReadingModel {
    int type;
    int low;     // resting value drawn from [low, high]
    int high;
    int step;    // largest change per tick
    int outside; // how far past its limit an excursion goes
};

constexpr ReadingModel kReadingModels[] = {
    {SensorVcore, 1100, 1350, 8, 400},  {SensorVio, 3250, 3350, 10, 600},
    {SensorCpuFan, 2200, 3200, 40, 900}, {SensorSysFan, 1500, 2200, 30, 900},
    {SensorP5V, 4900, 5100, 15, 300},    {SensorP12V, 11800, 12200, 30, 900},
    {SensorN5V, 4900, 5100, 15, 300},    {SensorN12V, 11800, 12200, 30, 900},
    {SensorCpuTemp, 38, 55, 1, 12},      {SensorSysTemp, 30, 40, 1, 10},
};

// The negative rails are missing on most boards.
constexpr double kNegativeRailsWiredShare = 0.4;
constexpr double kFanAlarmsOnShare = 0.5;
// Per machine and tick: the chance that a healthy reading leaves its limits for a while.
constexpr double kExcursionChance = 1.0 / 900;
constexpr int kExcursionMinTicks = 5;
constexpr int kExcursionMaxTicks = 40;

constexpr int kHistoryDays = 4;
// A reading held out of its limits is logged by every pass: its recent passes are in the log.
constexpr int kTroubledPassesLogged = 12;
constexpr int kLoggingPassSeconds = 10;
constexpr int kMaxHistoricFaults = 80;
constexpr int kMaxKeptFaults = 500;
constexpr int kSecondsPerDay = 86400;

const char* const kSites[] = {"PLANT", "OFFICE", "LAB", "DEPOT"};
const char* const kCpus[] = {"Quad-Core Processor 3.20 GHz", "Hexa-Core Processor 2.90 GHz",
                             "Dual-Core Processor 2.40 GHz", "Octa-Core Processor 3.60 GHz"};
const char* const kSystems[] = {"Windows 10 Pro", "Windows 11 Pro", "Windows 7 Professional",
                                "Windows 10 IoT Enterprise"};
const char* const kModels[] = {"Compact Desktop CD-4", "Tower Workstation TW-2", "Industrial PC IPC-610",
                               "Panel PC PP-15"};

template <typename T, size_t N>
const T& pick(const T (&items)[N], std::mt19937_64& random)
{
    return items[std::uniform_int_distribution<size_t>(0, N - 1)(random)];
}

int uniform(std::mt19937_64& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

bool chance(std::mt19937_64& random, double share)
{
    return std::bernoulli_distribution(share)(random);
}

QUuid randomIdentity(std::mt19937_64& random)
{
    const quint64 high = random();
    const quint64 low = random();
    QUuid id(uint(high >> 32), ushort(high >> 16), ushort(high), uchar(low >> 56), uchar(low >> 48),
             uchar(low >> 40), uchar(low >> 32), uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
    id.data3 = ushort((id.data3 & 0x0fff) | 0x4000); // version 4
    id.data4[0] = uchar((id.data4[0] & 0x3f) | 0x80); // RFC 4122 variant
    return id;
}

int16_t& readingOf(SensorSnapshot& snapshot, int type)
{
    return snapshot.*sensorFields(type)->reading;
}

// A value just past the sensor's limit in the direction that counts as a fault.
int outsideValue(const SensorSnapshot& snapshot, const ReadingModel& model)
{
    const SensorFigures figures = figuresOf(snapshot, model.type);
    if (hasHighLimit(sensorTypeRow(model.type)->rule))
        return figures.high + model.outside;
    return std::max(0, figures.low - model.outside);
}

void seedHistory(SimulatedMachine& machine, std::mt19937_64& random, qint64 nowUtcSeconds)
{
    const int count = uniform(random, 0, kMaxHistoricFaults);
    QVector<qint64> times;
    for (int i = 0; i < count; ++i)
        times.append(nowUtcSeconds - uniform(random, 60, kHistoryDays * kSecondsPerDay));
    std::sort(times.begin(), times.end());
    for (qint64 time : times) {
        const ReadingModel& model = pick(kReadingModels, random);
        if (machine.nominal[size_t(model.type)] == 0)
            continue;
        const int value = outsideValue(machine.snapshot, model) + uniform(random, 0, model.step);
        machine.faults.append({model.type, value, time});
    }
}

} // namespace

SimulatedMachine makeMachine(int index, std::mt19937_64& random, qint64 nowUtcSeconds, double troubledShare)
{
    SimulatedMachine machine;
    machine.identity = randomIdentity(random);
    const QString host = QString::asprintf("WS-%04d", index + 1);
    machine.inventory.comp = QString::fromLatin1(pick(kSites, random)) + QLatin1Char('\\') + host;
    machine.inventory.cpu = QString::fromLatin1(pick(kCpus, random));
    machine.inventory.os = QString::fromLatin1(pick(kSystems, random));
    machine.inventory.sysModel = QString::fromLatin1(pick(kModels, random));
    machine.inventory.sysSerial = QString::asprintf("SN%08X", uint(random()));
    machine.inventory.uuid = msg::uuidText(machine.identity);

    const bool negativeRails = chance(random, kNegativeRailsWiredShare);
    machine.snapshot.CBN5V = machine.snapshot.CBN12V = negativeRails ? 1 : 0;
    machine.snapshot.CBCPUFan = machine.snapshot.CBSYSFan = chance(random, kFanAlarmsOnShare) ? 1 : 0;
    for (const ReadingModel& model : kReadingModels) {
        const bool absent = !negativeRails && (model.type == SensorN5V || model.type == SensorN12V);
        machine.nominal[size_t(model.type)] = absent ? 0 : uniform(random, model.low, model.high);
        readingOf(machine.snapshot, model.type) = int16_t(machine.nominal[size_t(model.type)]);
    }
    if (chance(random, troubledShare)) {
        machine.troubledType = chance(random, 0.5) ? SensorCpuTemp : SensorVcore;
        const ReadingModel& model =
            *std::find_if(std::begin(kReadingModels), std::end(kReadingModels),
                          [&](const ReadingModel& m) { return m.type == machine.troubledType; });
        readingOf(machine.snapshot, model.type) = int16_t(outsideValue(machine.snapshot, model));
        const qint64 lastPass = nowUtcSeconds - nowUtcSeconds % kLoggingPassSeconds;
        for (int pass = kTroubledPassesLogged; pass >= 1; --pass) {
            const int value = outsideValue(machine.snapshot, model) + uniform(random, -model.step, model.step);
            machine.faults.append({model.type, value, lastPass - qint64(pass) * kLoggingPassSeconds});
        }
    }
    machine.load = quint16(uniform(random, 2, 40));
    seedHistory(machine, random, nowUtcSeconds);
    std::stable_sort(machine.faults.begin(), machine.faults.end(),
                     [](const msg::FaultRecord& a, const msg::FaultRecord& b) { return a.utcSeconds < b.utcSeconds; });
    driftMachine(machine, machine.snapshot, random);
    return machine;
}

void driftMachine(SimulatedMachine& machine, SensorSnapshot& snapshot, std::mt19937_64& random)
{
    if (machine.excursionTicks > 0 && --machine.excursionTicks == 0)
        machine.excursionType = -1;
    if (machine.excursionType < 0 && chance(random, kExcursionChance)) {
        machine.excursionType = pick(kReadingModels, random).type;
        machine.excursionTicks = uniform(random, kExcursionMinTicks, kExcursionMaxTicks);
    }
    for (const ReadingModel& model : kReadingModels) {
        const int nominal = machine.nominal[size_t(model.type)];
        if (nominal == 0)
            continue; // an unwired rail stays at 0
        const bool outside = model.type == machine.troubledType || model.type == machine.excursionType;
        const int target = outside ? outsideValue(snapshot, model) : nominal;
        const int current = readingOf(snapshot, model.type);
        // Mean-reverting walk: half way back to the target plus a little noise.
        const int next = current + (target - current) / 2 + uniform(random, -model.step, model.step);
        readingOf(snapshot, model.type) = int16_t(std::clamp(next, 0, 32767));
    }
    machine.load = quint16(std::clamp(int(machine.load) + uniform(random, -5, 5), 0, 100));
}

void logFaults(QVector<msg::FaultRecord>& faults, const SensorSnapshot& snapshot, qint64 nowUtcSeconds)
{
    for (int type : kSensorLoggingOrder) {
        const SensorFigures figures = figuresOf(snapshot, type);
        if (outOfLimits(type, figures))
            faults.append({type, figures.reading, nowUtcSeconds});
    }
    if (faults.size() > kMaxKeptFaults)
        faults.remove(0, faults.size() - kMaxKeptFaults);
}

QVector<msg::FaultRecord> recentFaults(const QVector<msg::FaultRecord>& faults, bool todayOnly, qint64 nowUtcSeconds)
{
    const QDate today = QDateTime::fromSecsSinceEpoch(nowUtcSeconds).date();
    QVector<msg::FaultRecord> recent;
    for (auto it = faults.crbegin(); it != faults.crend() && recent.size() < msg::kMaxFaultEntries; ++it) {
        if (!todayOnly || QDateTime::fromSecsSinceEpoch(it->utcSeconds).date() == today)
            recent.append(*it);
    }
    return recent;
}
