// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// History array helpers and the auto-adjust growth passes, without a panel.
#include <vector>

#include <gtest/gtest.h>

#include "gui/autoadjust_core.h"
#include "gui/gui.h"

TEST(GuiArrays, ShiftAndCopy) {
    const std::vector<double> in{1, 2, 3, 4, 5};
    std::vector<double> out(5, 9);
    EXPECT_EQ(Shift(in.data(), 5, 2, out.data()), 0);
    EXPECT_EQ(out, (std::vector<double>{0, 0, 1, 2, 3}));
    EXPECT_EQ(Shift(in.data(), 5, -2, out.data()), 0);
    EXPECT_EQ(out, (std::vector<double>{3, 4, 5, 0, 0}));
    out.assign(5, 9);
    EXPECT_EQ(Shift(in.data(), 5, 5, out.data()), -20102);
    EXPECT_EQ(Shift(in.data(), 5, -5, out.data()), -20102);
    EXPECT_EQ(Shift(in.data(), 0, 0, out.data()), -20003);
    EXPECT_EQ(Copy1D(in.data(), 0, out.data()), -20003);
    EXPECT_EQ(out, std::vector<double>(5, 9)); // failures write nothing

    // In place, as the history is aged: 700 values by -7.
    std::vector<double> h(700);
    for (int i = 0; i < 700; ++i)
        h[i] = i + 1;
    EXPECT_EQ(Shift(h.data(), 700, -7, h.data()), 0);
    EXPECT_EQ(h[0], 8);
    EXPECT_EQ(h[692], 700);
    for (int i = 693; i < 700; ++i)
        EXPECT_EQ(h[i], 0);
}

namespace {

using Table = std::array<std::uint16_t, 75>;

struct Row {
    std::uint16_t x, y, inten, ito;
};

// Rows start at CTO 1 as AutoAdjust leaves them before the passes; returns the final radii.
std::vector<int> Grow(const std::vector<Row> &rows, int active = -1) {
    Table t{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        t[5 * i + 0] = r.x, t[5 * i + 1] = r.y, t[5 * i + 2] = 1;
        t[5 * i + 3] = r.inten, t[5 * i + 4] = r.ito;
    }
    GrowRadii(t, active < 0 ? static_cast<int>(rows.size()) : active);
    std::vector<int> cto;
    for (std::size_t i = 0; i < rows.size(); ++i)
        cto.push_back(t[5 * i + 2]);
    return cto;
}

using V = std::vector<int>;

} // namespace

TEST(GuiAutoAdjust, GrowthCases) {
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}}), V({200}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1000, 1000, 500, 150}}), V({1, 1}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1100, 1000, 500, 150}}), V({50, 50}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1101, 1000, 500, 150}}), V({51, 50}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1000, 1100, 800, 150}}), V({50, 50})); // touch 650
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1000, 1100, 801, 150}}), V({200, 200}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1150, 1000, 500, 150}, {1300, 1000, 500, 150}}),
              V({75, 75, 75}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1003, 1000, 500, 150}}), V({2, 1}));
    EXPECT_EQ(Grow({{1000, 1000, 500, 150}, {1003, 1004, 500, 150}}), V({3, 2}));
}

TEST(GuiAutoAdjust, BandsAndRangeEdges) {
    // A band reaching below zero ([-50, 150]) still meets [55, 65]; a 16-bit lower end would not.
    EXPECT_EQ(Grow({{1000, 1000, 50, 100}, {1100, 1000, 60, 5}}), V({50, 50}));
    // Squared distance 65535^2 + 363^2 exceeds 32 bits; truncated it would be 26.
    EXPECT_EQ(Grow({{0, 0, 500, 150}, {65535, 363, 500, 150}}), V({200, 200}));
    // Rows beyond the active count are neither grown nor seen as neighbours.
    Table t{};
    for (int i = 0; i < 3; ++i)
        t[5 * i + 0] = 1000, t[5 * i + 1] = 1000, t[5 * i + 2] = 1, t[5 * i + 3] = 500;
    t[5 * 2 + 2] = 77;
    GrowRadii(t, 1);
    EXPECT_EQ(t[2], 200);
    EXPECT_EQ(t[7], 1);
    EXPECT_EQ(t[12], 77);
}
