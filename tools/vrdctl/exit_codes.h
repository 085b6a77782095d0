// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// vrdctl's exit status, the monitoring-plugin convention for the commands that ask an agent.

enum Exit {
    ExitOk = 0,
    ExitFailed = 1,   // the command could not do its work (a file it needs, options it cannot use)
    ExitCritical = 2, // check: a switched-on reading out of its limits
    ExitUnknown = 3,  // no answer in time, no broker, a usage error, an answer that cannot be trusted
};
