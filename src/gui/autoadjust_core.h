// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The growth passes of the tolerance auto-adjust, apart from the panel, so they can be tested.
#pragma once

#include <array>
#include <cstdint>

// Integer square root (truncated) of a 64-bit value.
std::uint32_t IntSqrt(std::uint64_t v);

// Grows the CTO (word 2) of rows 0 to activeRows - 1 of `table` one unit per pass, for radii 2
// to 200, while the row's circle stays clear of every other active row whose intensity band
// overlaps its own. Other rows are neither read nor changed. activeRows is limited to 15.
// The table is the teach table layout: 15 rows of 5 words, row r word c at 5 * r + c.
void GrowRadii(std::array<std::uint16_t, 75> &table, int activeRows);
