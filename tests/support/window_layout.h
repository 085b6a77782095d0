// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What a person sees wrong in a window that is shown: two visible sibling widgets drawn over
// each other, a label too narrow for its text, a window that cannot take the size it was given.
// Used by the tests that show each program's main window at its default size and at 1024 x 768.
//
//     window.show();
//     window.resize(1024, 768);
//     EXPECT_EQ(vrdtest::layoutFaults(window), QStringList());

#include <QSize>
#include <QStringList>

class QWidget;

namespace vrdtest {

// Lays the window out (shown and resized by the caller, events processed here) and returns one
// line per fault, naming the widgets by their object names (or classes) from the window down:
//   "overlap: centralWidget/leClientFilter and centralWidget/tvClient"
//   "text does not fit: centralWidget/labClientCount is 96 px wide, its text needs 131"
//   "window: asked for 911x605, took 1146x778 (its contents need more)"
// The size is the one the caller asked for; an empty size skips that check (a capped window).
QStringList layoutFaults(QWidget& window, const QSize& asked = QSize());

} // namespace vrdtest
