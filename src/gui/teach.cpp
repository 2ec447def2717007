// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Colour teach table: teaching a row from the live record, resetting the table, and the teach
// plot (boundary line and tolerance circles) shared by the main and the zoom X/Y graph.
#include <cstdint>

#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/graph.h"
#include "platform/ui.h"

namespace {

constexpr std::int32_t kDefaultTolerance = 150;

} // namespace

void TeachDataTo() {
    TeachValuesTo(dataX, dataY, dataINT, dataR, dataG, dataB);
}

void TeachValuesTo(u16 x, u16 y, u16 intensity, u16 red, u16 green, u16 blue) {
    u16 n = 0;
    GetCtrlVal(panel, PANEL_NO, &n);
    GetCtrlVal(panel, PANEL_EVALMODE, &evalmode);

    if (evalmode == 2 || evalmode == 3 || evalmode == 4) {
        // Contrast modes: row 0 takes a band of +-150 around the channel's raw value.
        ResetTable();
        SetCtrlVal(panel, PANEL_NO, std::int32_t{0});
        std::int32_t v = evalmode == 2 ? red : (evalmode == 3 ? green : blue);
        if (v > 3945)
            v = 3945;
        if (v < 150)
            v = 150;
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(1, 1), v + kDefaultTolerance);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(2, 1), v - kDefaultTolerance);
        return;
    }

    if (n < kTeachRows) { // a row number off the table writes nothing
        const int row = n + 1;
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(1, row), x);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(2, row), y);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, row), kDefaultTolerance);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(4, row), intensity);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(5, row), kDefaultTolerance);
    }

    std::int32_t autoinc = 0;
    GetCtrlVal(panel, PANEL_AUTOINC, &autoinc);
    if (autoinc == 1 && n < 16)
        SetCtrlVal(panel, PANEL_NO, static_cast<std::int32_t>(n + 1)); // no wrap to 0
}

void ResetTable() {
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            SetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r), 1);
}

void ApplyFromAll() {
    poll = 0;
    GetPanelValues();
    ShowTeachPlot(PANEL_GRAPHDATA1);
}

void ShowBoundaryLine(int panelHandle, int graph) {
    PlotXY(panelHandle, graph, xramp.data(), yramp.data(), 4096, VAL_UNSIGNED_SHORT_INTEGER,
           VAL_UNSIGNED_SHORT_INTEGER, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, 0xA0A0A0);
}

void ShowTeachPlot(int graph) {
    DeleteGraphPlot(panel, graph, -1, VAL_IMMEDIATE_DRAW);
    ShowBoundaryLine(panel, graph);
    for (int i = 0; i < kTeachRows; ++i) {
        const int x = ctt[kTeachCols * i + 0];
        const int y = ctt[kTeachCols * i + 1];
        const int cto = ctt[kTeachCols * i + 2];
        const int color = static_cast<int>(sicolarr[i]);
        // Signed corners: a circle near the origin reaches below zero and is clipped.
        const double x1 = x - cto, y1 = y - cto, x2 = x + cto, y2 = y + cto;
        // Three concentric outlines, slightly offset, make the circle read as a thicker line.
        PlotArc(panel, graph, x1, y1, x2, y2, 0, 3600, color, VAL_TRANSPARENT);
        PlotArc(panel, graph, x1 + 0.025, y1 + 0.025, x2 + 0.025, y2 + 0.025, 0, 3600, color,
                VAL_TRANSPARENT);
        PlotArc(panel, graph, x1 + 0.05, y1 + 0.05, x2 + 0.005, y2 + 0.005, 0, 3600, color,
                VAL_TRANSPARENT);
        // The row number at the circle's upper right, where the operator looks for it.
        static const char *const kRowNames[kTeachRows] = {
            "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14"};
        PlotText(panel, graph, x + 0.71 * cto, y + 0.71 * cto, kRowNames[i], color);
    }
}
