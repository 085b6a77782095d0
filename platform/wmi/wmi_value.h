// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Storing one read value into a caller's target by value kind; shared by every platform reader.

#include <string>

// Stores `value` into *target as `kind` says (see WmiValueKind). Returns kWmiBadKind for an
// unknown kind (nothing stored), else kWmiOk; a value that is no whole number is not stored
// into an integer target.
int storeWmiValue(int kind, const std::string& value, void* target);
