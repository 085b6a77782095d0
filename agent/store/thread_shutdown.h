// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Ending a worker thread at shutdown without cutting it off inside a database statement.

class QThread;

// Waits for `thread`, already asked to stop, in 50 ms sleeps, at most 41 of them (about two
// seconds). A thread still busy after that is finishing a statement (it looks at its stop flag
// between statements), so it is then waited for until it ends: destroying a running QThread would
// abort the process and cut the statement off. True when it ended within the bounded wait.
bool finishStoppedThread(QThread& thread);
