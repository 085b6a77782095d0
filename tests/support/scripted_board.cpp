// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "scripted_board.h"

namespace {

template <Reading R> int32_t read()
{
    ++ScriptedBoard::readCalls;
    return ScriptedBoard::values[R];
}

int32_t initial()
{
    ++ScriptedBoard::initialCalls;
    return ScriptedBoard::status;
}

int32_t release()
{
    ++ScriptedBoard::releaseCalls;
    return 1;
}

} // namespace

void ScriptedBoard::reset()
{
    status = 16;
    values = {1200, 3300, 5000, 12000, 5000, 12000, 2400, 1800, 38, 45};
    initialCalls = releaseCalls = readCalls = 0;
}

GaugeApi ScriptedBoard::api()
{
    GaugeApi api;
    api.DLLInitial = initial;
    api.DLLRelease = release;
    api.Vcore = read<Vcore>;
    api.Vio = read<Vio>;
    api.P5V = read<P5V>;
    api.P12V = read<P12V>;
    api.N5V = read<N5V>;
    api.N12V = read<N12V>;
    api.Fan1 = read<Fan1>;
    api.Fan2 = read<Fan2>;
    api.SysTemp = read<SysTemp>;
    api.CpuTemp = read<CpuTemp>;
    return api;
}

