// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Evaluation-mode layout and visibility: forced parameters, dimming, table labels, row colours,
// the signal view for SOURCE and the parameter/teach area switch.
#include <cstdint>

#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/graph.h"
#include "platform/ui.h"

namespace {

constexpr int kGreen = 0x008000;
constexpr int kRed = 0xFF0000;

const int kParamArea[] = {
    PANEL_PMOD,        PANEL_AVERAGE,     PANEL_TRIGGER,     PANEL_INTLIM,      PANEL_POWER,
    PANEL_MAXCOLNO,    PANEL_OUTMODE,     PANEL_HOLD,        PANEL_EVALMODE,    PANEL_PARA_DECO_1,
    PANEL_PARA_DECO_2, PANEL_PARA_DECO_3, PANEL_PARA_DECO_4, PANEL_PARA_DECO_5, PANEL_PARA_DECO_6,
    PANEL_PARA_DECO_7, PANEL_PARA_DECO_8, PANEL_PARA_DECO_9,
};
const int kTeachArea[] = {
    PANEL_TABLE, PANEL_RESETTABLE, PANEL_TEACHDATATO, PANEL_APPLYFROMALL,
    PANEL_ZOOM,  PANEL_AUTOADJUST, PANEL_NO,          PANEL_AUTOINC,
};
const int kDisplayGroup[] = {
    PANEL_X,      PANEL_Y,      PANEL_INT,      PANEL_COL,
    PANEL_X_DECO, PANEL_Y_DECO, PANEL_INT_DECO, PANEL_COL_DECO,
};
const int kRawGroup[] = {PANEL_RAW, PANEL_RAW_DECO};
// Parameters that the contrast modes force and lock.
const int kContrastLocked[] = {PANEL_TRIGGER, PANEL_INTLIM, PANEL_MAXCOLNO, PANEL_OUTMODE};

template <std::size_t N> void SetGroup(const int (&controls)[N], int attribute, int value) {
    for (int c : controls)
        SetCtrlAttribute(panel, c, attribute, value);
}

void SetColumnLabels(const char *const (&labels)[kTeachCols]) {
    for (int c = 0; c < kTeachCols; ++c)
        SetTableColumnAttribute(panel, PANEL_TABLE, c + 1, ATTR_LABEL_TEXT, labels[c]);
}

const char *const kColourLabels[kTeachCols] = {"X", "Y", "CTO", "INT", "ITO"};
const char *const kContrastLabels[kTeachCols] = {"UL", "LL", "", "", ""};

// Sets the visibility of the seven strip-chart traces; bit t-1 of `mask` shows trace t.
void SetTraces(int mask) {
    for (int t = 1; t <= 7; ++t)
        SetTraceAttribute(panel, PANEL_GRAPHRAW1, t, ATTR_TRACE_VISIBLE, (mask >> (t - 1)) & 1);
}

} // namespace

void InitEval() {
    GetCtrlVal(panel, PANEL_EVALMODE, &evalmode);
    if (evalmode == 2 || evalmode == 3 || evalmode == 4) {
        SetCtrlVal(panel, PANEL_SOURCE, static_cast<std::int32_t>(evalmode));
        SetCtrlVal(panel, PANEL_TRIGGER, std::int32_t{0});
        SetCtrlVal(panel, PANEL_INTLIM, std::int32_t{0});
        SetCtrlVal(panel, PANEL_MAXCOLNO, std::int32_t{1});
        SetCtrlVal(panel, PANEL_OUTMODE, std::int32_t{1});
        SetGroup(kContrastLocked, ATTR_DIMMED, 1);
        SetColumnLabels(kContrastLabels);
    } else if (evalmode == 5) {
        SetCtrlVal(panel, PANEL_SOURCE, std::int32_t{0});
        SetCtrlVal(panel, PANEL_TRIGGER, std::int32_t{0});
        SetCtrlAttribute(panel, PANEL_TRIGGER, ATTR_DIMMED, 1);
        SetCtrlAttribute(panel, PANEL_INTLIM, ATTR_DIMMED, 0);
        SetCtrlAttribute(panel, PANEL_MAXCOLNO, ATTR_DIMMED, 0);
        SetCtrlAttribute(panel, PANEL_OUTMODE, ATTR_DIMMED, 0);
        SetColumnLabels(kColourLabels);
    } else {
        SetGroup(kContrastLocked, ATTR_DIMMED, 0);
        SetColumnLabels(kColourLabels);
    }

    SetCtrlAttribute(panel, PANEL_POWER, ATTR_DIMMED, pmod == 0 ? 0 : 1);

    GetCtrlVal(panel, PANEL_MAXCOLNO, &maxcolno);
    if (maxcolno > 4 && outmode != 1)
        MessagePopup("INFO", InfoMaxColNo);

    MarkActiveRows(panel);
    DispVis();
}

void MarkActiveRows(int panelHandle) {
    for (int row = 1; row <= kTeachRows; ++row)
        SetTableRowAttribute(panelHandle, PANEL_TABLE, row, ATTR_LABEL_COLOR,
                             row <= maxcolno ? kGreen : kRed);
}

void DispVis() {
    GetCtrlVal(panel, PANEL_SOURCE, &source);
    GetCtrlVal(panel, PANEL_EVALMODE, &evalmode);
    switch (source) {
    case 0:
        SetGroup(kRawGroup, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 1);
        SetGroup(kDisplayGroup, ATTR_VISIBLE, 1);
        break;
    case 1:
    case 5:
    case 6: {
        SetGroup(kRawGroup, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 1);
        SetGroup(kDisplayGroup, ATTR_VISIBLE, 1);
        // 1: RED, GREEN, BLUE; 5: INT with its band (6, 7); 6: colour number.
        const int mask = source == 1 ? 0x07 : (source == 5 ? 0x68 : 0x10);
        SetTraces(mask);
        break;
    }
    case 2:
    case 3:
    case 4: {
        static const int kBackground[] = {0xFF0000, 0x00FF00, 0x0000FF};
        static const int kText[] = {0xFFFFFF, 0x000000, 0xFFFFFF};
        const int ch = source - 2;
        SetGroup(kDisplayGroup, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 0);
        SetCtrlAttribute(panel, PANEL_RAW, ATTR_TEXT_BGCOLOR, kBackground[ch]);
        SetCtrlAttribute(panel, PANEL_RAW, ATTR_TEXT_COLOR, kText[ch]);
        SetGroup(kRawGroup, ATTR_VISIBLE, 1);
        SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 1);
        // The limit lines belong to the channel that the contrast mode evaluates.
        SetTraces((1 << ch) | (evalmode == source ? 0x60 : 0));
        break;
    }
    default:
        break;
    }
}

void ParaVis() {
    SetGroup(kTeachArea, ATTR_VISIBLE, 0);
    SetGroup(kParamArea, ATTR_VISIBLE, 1);
}

void ParaInVis() {
    SetGroup(kParamArea, ATTR_VISIBLE, 0);
    SetGroup(kTeachArea, ATTR_VISIBLE, 1);
}
