// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel values: the nine parameter controls and the 75 teach-table cells, to and from variables.
#include <cstdint>
#include <iterator>

#include "Tintarov10/Tintarov10.h"
#include "gui/gui.h"
#include "platform/ui.h"

namespace {

// The parameter controls and their variables, in transfer order (words 0 to 8 of pp).
struct ParamLink {
    int control;
    u16 *variable;
};
const ParamLink kParams[] = {
    {PANEL_POWER, &power},       {PANEL_PMOD, &pmod},       {PANEL_AVERAGE, &average},
    {PANEL_EVALMODE, &evalmode}, {PANEL_HOLD, &hold},       {PANEL_INTLIM, &intlim},
    {PANEL_MAXCOLNO, &maxcolno}, {PANEL_OUTMODE, &outmode}, {PANEL_TRIGGER, &trigger},
};

} // namespace

void GetPanelValues() {
    for (const ParamLink &p : kParams)
        GetCtrlVal(panel, p.control, p.variable);
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            &ctt[kTeachCols * (r - 1) + (c - 1)]);
}

void PeekPanelValues(u16 *block) {
    // Same reads as GetPanelValues, into locals: the variables must not change here.
    for (std::size_t i = 0; i < std::size(kParams); ++i) {
        u16 v = 0;
        GetCtrlVal(panel, kParams[i].control, &v);
        block[i] = v;
    }
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            &block[15 + kTeachCols * (r - 1) + (c - 1)]);
}

void SetPanelValues() {
    for (const ParamLink &p : kParams)
        SetCtrlVal(panel, p.control, static_cast<std::int32_t>(*p.variable));
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachCols; ++c)
            SetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            static_cast<std::int32_t>(ctt[kTeachCols * (r - 1) + (c - 1)]));
}
