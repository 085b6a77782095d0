// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The one message the user sees when the client cannot start its sensors.

// Shows the modal message box and returns when the user closed it. Without a display to show it on
// (the offscreen or minimal platform) its texts go to standard error and it returns at once.
void showStartFailure();
