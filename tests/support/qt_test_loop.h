// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Event-loop helpers for tests whose code under test lives on the test's own thread.

#include <functional>

namespace vrdtest {

// Creates a QCoreApplication for the rest of the process if none exists yet. Tests that need
// widgets create their QApplication first (or in their own main) and need not call this.
void ensureCoreApplication();

// Runs the calling thread's event loop until condition() holds or timeoutMs passes;
// returns the last value of condition().
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

} // namespace vrdtest
