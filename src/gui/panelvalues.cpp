// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel values: the nine parameter controls and the 75 teach-table cells, to and from variables.
#include <cstdint>

#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/ui.h"

void GetPanelValues() {
    for (const ParamLink &p : kParamLinks)
        GetCtrlVal(panel, p.control, p.variable);
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            &ctt[kTeachCols * (r - 1) + (c - 1)]);
}

void PeekPanelValues(u16 *block) {
    // Same reads as GetPanelValues, into locals: the variables must not change here.
    for (const ParamLink &p : kParamLinks) {
        u16 v = 0;
        GetCtrlVal(panel, p.control, &v);
        block[p.word] = v;
    }
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            &block[protocol::kTableBegin + kTeachCols * (r - 1) + (c - 1)]);
}

void SetPanelValues() {
    for (const ParamLink &p : kParamLinks)
        SetCtrlVal(panel, p.control, static_cast<std::int32_t>(*p.variable));
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            SetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            static_cast<std::int32_t>(ctt[kTeachCols * (r - 1) + (c - 1)]));
}
