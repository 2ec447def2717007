// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Live data display: shows the last data record and appends it to the signal history.
#include <cstdint>

#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/ui.h"

void SetPanelData() {
    SetCtrlVal(panel, PANEL_RED, static_cast<std::int32_t>(dataR));
    SetCtrlVal(panel, PANEL_GREEN, static_cast<std::int32_t>(dataG));
    SetCtrlVal(panel, PANEL_BLUE, static_cast<std::int32_t>(dataB));
    SetCtrlVal(panel, PANEL_X, static_cast<std::int32_t>(dataX));
    SetCtrlVal(panel, PANEL_Y, static_cast<std::int32_t>(dataY));
    SetCtrlVal(panel, PANEL_INT, static_cast<std::int32_t>(dataINT));
    SetCtrlVal(panel, PANEL_COL, static_cast<std::int32_t>(dataCOL));

    switch (source) {
    case 2:
        SetCtrlVal(panel, PANEL_RAW, static_cast<std::int32_t>(dataR));
        break;
    case 3:
        SetCtrlVal(panel, PANEL_RAW, static_cast<std::int32_t>(dataG));
        break;
    case 4:
        SetCtrlVal(panel, PANEL_RAW, static_cast<std::int32_t>(dataB));
        break;
    default:
        break; // the raw display keeps its last value
    }

    // Limit lines of the record. Formed in int so that a large INT or ITO cannot wrap around.
    int upper = 0;
    int lower = 0;
    if (source == 5) {
        u16 n = 0;
        GetCtrlVal(panel, PANEL_NO, &n);
        if (n < kTeachRows) { // a row number off the table has no band: limits stay 0 and 0
            u16 inten = 0;
            u16 ito = 0;
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(4, n + 1), &inten);
            GetTableCellVal(panel, PANEL_TABLE, MakePoint(5, n + 1), &ito);
            upper = inten + ito;
            lower = inten - ito;
            upper = upper > 4095 ? 4095 : upper;
            lower = lower < 0 ? 0 : (lower > 4095 ? 4095 : lower);
        }
    } else {
        // UL and LL of the contrast modes; taken unsigned, as the cells hold them.
        u16 ul = 0;
        u16 ll = 0;
        GetTableCellVal(panel, PANEL_TABLE, MakePoint(1, 1), &ul);
        GetTableCellVal(panel, PANEL_TABLE, MakePoint(2, 1), &ll);
        upper = ul;
        lower = ll;
    }

    Shift(alldata.data(), kHistoryValues, -7, alldata.data());
    double *rec = alldata.data() + kHistoryValues - 7;
    rec[0] = dataR;
    rec[1] = dataG;
    rec[2] = dataB;
    rec[3] = dataINT;
    rec[4] = dataCOL;
    rec[5] = upper;
    rec[6] = lower;
}
