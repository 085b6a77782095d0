// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The drivers and their default channels. Channel numbers follow the chips' pin-outs as the
// drivers expose them; the rails behind a board's own dividers (+5 V, +12 V, -5 V, -12 V)
// have no default, since only the board's configuration ("compute" and "label" in the
// lm-sensors configuration) says which input carries them and how it is scaled.
//
//   nct6775   in0 CPUVCORE, in3 3VCC, in8 VBAT; fan1 SYSFAN, fan2 CPUFAN; temperatures by
//             their labels, whose channel numbers differ from chip to chip
//   nct6683   labels from the chip's firmware configuration
//   it87      in0 Vcore, in8 Vbat; fan1 processor, fan2 system; temperatures board-specific
//   f71882fg  in0 is the 3.3 V rail at half scale (the configuration doubles it); in1 Vcore;
//             temp1 processor, temp2 system, as the port path reads these chips
//   w83627ehf like nct6775, labels only on later chips, so channel numbers as fall-back
//   w83627hf, w83781d   in0 Vcore; temp1 system, temp2 processor (the chip's bank-1 sensor)
//   coretemp, k10temp, zenpower   the processor's own temperature

#include "driver_map.h"

#include <iterator>

namespace gauge::hwmon {

namespace {

constexpr DriverRole kCpu = DriverRole::Processor;
constexpr DriverRole kBoard = DriverRole::BoardMonitor;

const DriverRow kDrivers[] = {
    {"nct6775", kBoard,
     "nct6106 nct6116 nct6775 nct6776 nct6779 nct6791 nct6792 nct6793 nct6795 nct6796 nct6797 nct6798 nct6799",
     {{{Reading::Vcore, "in0"},
       {Reading::Vio, "in3"},
       {Reading::PVbat, "in8"},
       {Reading::Fan1, "fan2"},
       {Reading::Fan2, "fan1"},
       {Reading::SysTemp, "SYSTIN"},
       {Reading::CpuTemp, "CPUTIN|PECI Agent 0"}}}},
    {"nct6683", kBoard, "nct6683 nct6686 nct6687",
     {{{Reading::Vio, "VCC"}, {Reading::PVbat, "VBAT"}, {Reading::SysTemp, "SYSTIN"},
       {Reading::CpuTemp, "CPUTIN|PECI 0.0"}}}},
    {"it87", kBoard,
     "it87 it8603 it8620 it8622 it8628 it8705 it8712 it8716 it8718 it8720 it8721 it8728 it8732 it8771 it8772 "
     "it8781 it8782 it8783 it8786 it8790 it8792",
     {{{Reading::Vcore, "in0"}, {Reading::PVbat, "in8"}, {Reading::Fan1, "fan1"}, {Reading::Fan2, "fan2"}}}},
    {"f71882fg", kBoard,
     "f71808e f71808a f71858fg f71862fg f71868a f71869 f71869a f71882fg f71889fg f71889ed f71889a f8000 "
     "f81768d f81865f f81866a",
     {{{Reading::Vcore, "in1"},
       {Reading::Fan1, "fan1"},
       {Reading::Fan2, "fan2"},
       {Reading::SysTemp, "temp2"},
       {Reading::CpuTemp, "temp1"}}}},
    {"w83627ehf", kBoard, "w83627ehf w83627dhg w83627uhg w83667hg",
     {{{Reading::Vcore, "in0"},
       {Reading::Vio, "in3"},
       {Reading::PVbat, "in8"},
       {Reading::Fan1, "fan2"},
       {Reading::Fan2, "fan1"},
       {Reading::SysTemp, "SYSTIN|temp1"},
       {Reading::CpuTemp, "CPUTIN|temp2"}}}},
    {"w83627hf", kBoard, "w83627hf w83627thf w83697hf w83637hf w83687thf",
     {{{Reading::Vcore, "in0"},
       {Reading::PVbat, "in8"},
       {Reading::Fan1, "fan1"},
       {Reading::Fan2, "fan2"},
       {Reading::SysTemp, "temp1"},
       {Reading::CpuTemp, "temp2"}}}},
    {"w83781d", kBoard, "w83781d w83782d w83783s as99127f",
     {{{Reading::Vcore, "in0"},
       {Reading::PVbat, "in8"},
       {Reading::Fan1, "fan1"},
       {Reading::Fan2, "fan2"},
       {Reading::SysTemp, "temp1"},
       {Reading::CpuTemp, "temp2"}}}},
    {"w83795", kBoard, "w83795g w83795adg", {{{Reading::Vcore, "in0"}, {Reading::Fan1, "fan1"}, {Reading::Fan2, "fan2"}}}},
    {"coretemp", kCpu, "coretemp", {{{Reading::CpuTemp, "Package id 0"}}}},
    {"k10temp", kCpu, "k10temp", {{{Reading::CpuTemp, "Tdie|Tctl"}}}},
    {"zenpower", kCpu, "zenpower", {{{Reading::CpuTemp, "Tdie|Tctl"}}}},
};

bool listed(std::string_view names, std::string_view name)
{
    while (!names.empty()) {
        const std::size_t space = names.find(' ');
        if (names.substr(0, space) == name)
            return true;
        if (space == std::string_view::npos)
            break;
        names.remove_prefix(space + 1);
    }
    return false;
}

} // namespace

const DriverRow* findDriver(std::string_view hwmonName)
{
    if (hwmonName.empty())
        return nullptr;
    for (const DriverRow& row : kDrivers)
        if (listed(row.names, hwmonName))
            return &row;
    return nullptr;
}

} // namespace gauge::hwmon
