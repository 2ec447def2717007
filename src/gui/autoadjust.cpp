// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Tolerance auto-adjust: grows each active row's circle up to 200 without overlapping the
// circle of another active row that intensity alone cannot tell apart.
#include <cmath>

#include "Tintarov10/state.h"
#include "gui/autoadjust_core.h"
#include "gui/gui.h"
#include "platform/graph.h"
#include "platform/ui.h"

static_assert(kTeachRows * kTeachCols == 75, "teach table layout");

std::uint32_t IntSqrt(std::uint64_t v) {
    auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(v)));
    // Correct the floating-point estimate to the exact truncated root.
    while (r * r > v)
        --r;
    while ((r + 1) * (r + 1) <= v)
        ++r;
    return static_cast<std::uint32_t>(r);
}

void GrowRadii(std::array<std::uint16_t, 75> &table, int activeRows) {
    const int rows = activeRows < 0 ? 0 : (activeRows > kTeachRows ? kTeachRows : activeRows);
    // Distances and bands do not change during the passes: form them once.
    std::uint32_t dist[kTeachRows][kTeachRows];
    int low[kTeachRows], high[kTeachRows];
    for (int i = 0; i < rows; ++i) {
        const std::uint16_t *ri = &table[kTeachCols * i];
        low[i] = static_cast<int>(ri[3]) - ri[4];
        high[i] = static_cast<int>(ri[3]) + ri[4];
        for (int j = 0; j < rows; ++j) {
            const std::uint16_t *rj = &table[kTeachCols * j];
            // 64 bits: the squared distance of two 16-bit points does not fit in 32.
            const std::int64_t dx = static_cast<std::int64_t>(ri[0]) - rj[0];
            const std::int64_t dy = static_cast<std::int64_t>(ri[1]) - rj[1];
            dist[i][j] = IntSqrt(static_cast<std::uint64_t>(dx * dx + dy * dy));
        }
    }
    for (int r = 2; r <= 200; ++r) {
        for (int i = 0; i < rows; ++i) {
            const std::uint32_t ri = table[kTeachCols * i + 2];
            bool conflict = false;
            for (int j = 0; j < rows && !conflict; ++j) {
                if (j == i)
                    continue;
                const std::uint32_t rj = table[kTeachCols * j + 2];
                if (dist[i][j] > ri + rj)
                    continue;
                const bool bandsMeet = (low[j] >= low[i] && low[j] <= high[i]) ||
                                       (low[i] >= low[j] && low[i] <= high[j]);
                conflict = bandsMeet;
            }
            if (!conflict)
                table[kTeachCols * i + 2] = static_cast<u16>(r);
        }
    }
}

void AutoAdjust() {
    GetPanelValues();
    const int rows = maxcolno > kTeachRows ? kTeachRows : maxcolno;
    for (int row = 1; row <= rows; ++row)
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, row), 1);
    SetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, VAL_MANUAL, 0.0, 4095.0);
    SetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, 4095.0);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 0);
    ShowGraphData2(); // reads the table again: every active row now starts at CTO 1
    GrowRadii(ctt, rows);
    SetPanelValues();
    ShowGraphData2();
}
