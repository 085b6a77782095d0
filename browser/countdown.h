// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The tick countdowns of the station's one-second timer.

// A countdown is due on a tick when it is 0, or when decrementing it on that tick makes it 0;
// otherwise it is decremented and the step is skipped. Set to N when it fires, it is due again
// on the N-th following tick (1: every tick).
inline bool countdownDue(int& countdown)
{
    if (countdown <= 0)
        return true;
    return --countdown == 0;
}
