// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Graphs: the per-record update, the zoom graph and the history array helpers.
#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/graph.h"
#include "platform/ui.h"

namespace {

constexpr double kZoomHalf = 200.0;
constexpr double kZoomMin = 200.0; // the window never leaves 0..4095
constexpr double kZoomMax = 3895.0;

} // namespace

void ShowGraph() {
    if (source == 0) {
        SetGraphCursor(panel, PANEL_GRAPHDATA1, 1, dataX, dataY);
        return;
    }
    // The chart is emptied and takes the whole history again, 100 points per trace.
    SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_POINTS_PER_SCREEN, 101);
    PlotStripChart(panel, PANEL_GRAPHRAW1, alldata.data(), kHistoryValues, 0, 0, VAL_DOUBLE);
}

void ShowGraphData2() {
    poll = 0;
    GetPanelValues();
    ShowTeachPlot(PANEL_GRAPHDATA2);
}

void ZoomGraphData2() {
    ShowGraphData2();
    double cx = 0.0;
    double cy = 0.0;
    GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &cx, &cy);
    if (cx < kZoomMin)
        cx = kZoomMin;
    if (cy < kZoomMin)
        cy = kZoomMin;
    if (cx > kZoomMax)
        cx = kZoomMax;
    if (cy > kZoomMax)
        cy = kZoomMax;
    SetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, VAL_MANUAL, cx - kZoomHalf,
                       cx + kZoomHalf);
    SetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_LEFT_YAXIS, VAL_MANUAL, cy - kZoomHalf,
                       cy + kZoomHalf);
    SetGraphCursor(panel, PANEL_GRAPHDATA2, 1, cx, cy);
}

int Copy1D(const double *input, int count, double *output) {
    if (count < 1)
        return -20003;
    for (int i = 0; i < count; ++i)
        output[i] = input[i];
    return 0;
}

int Shift(const double *input, int count, int shift, double *output) {
    if (count < 1)
        return -20003;
    if (shift >= count || shift <= -count)
        return -20102;
    if (shift == 0)
        return Copy1D(input, count, output);
    // Copy directions keep the shift correct when input and output are the same array.
    if (shift > 0) {
        for (int i = count - 1; i >= shift; --i)
            output[i] = input[i - shift];
        for (int i = 0; i < shift; ++i)
            output[i] = 0.0;
    } else {
        const int s = -shift;
        for (int i = 0; i < count - s; ++i)
            output[i] = input[i + s];
        for (int i = count - s; i < count; ++i)
            output[i] = 0.0;
    }
    return 0;
}
