// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Reading-table entries take no argument, so every (variant, row) pair needs a function of
// its own. These templates generate one per row of a variant's const table and install
// them; a variant is a constexpr object with `rows` and `rowCount`, and its family unit
// supplies `readRow(variant, row)` next to the variant's type.

#include "reading_table.h"

#include <cstddef>
#include <utility>

namespace gauge::chips {

template <const auto& Variant, std::size_t Row>
int32_t readRowOf()
{
    return readRow(Variant, Variant.rows[Row]);
}

template <const auto& Variant, std::size_t... Rows>
void installRowsOf(ReadingTable& table, std::index_sequence<Rows...>)
{
    ((table[Variant.rows[Rows].slot] = &readRowOf<Variant, Rows>), ...);
}

// Points each export named by a row at that row's reader; other entries are left as they are.
template <const auto& Variant>
void installRows(ReadingTable& table)
{
    installRowsOf<Variant>(table, std::make_index_sequence<Variant.rowCount>{});
}

} // namespace gauge::chips
