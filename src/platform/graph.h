// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Graph and strip-chart operations on graph controls addressed by panel and identifier.
#pragma once

// Axis selectors and scaling modes for SetAxisScalingMode.
enum { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };

// Plot, point and line style codes for PlotXY.
enum { VAL_THIN_LINE = 5 }; // plot style: a line through the points, no markers
enum { VAL_NO_POINT = 12 }; // point style: none
enum { VAL_SOLID = 0 };     // line style

// Refresh modes for DeleteGraphPlot.
enum { VAL_DELAYED_DRAW = 0, VAL_IMMEDIATE_DRAW = 1 };

// Plots y against x; both arrays have `count` elements of the given type code (VAL_DOUBLE or
// VAL_UNSIGNED_SHORT_INTEGER). Returns a positive plot handle or a negative code.
int PlotXY(int panel, int control, const void *x, const void *y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color);

// Draws an arc inside the rectangle (x1, y1)-(x2, y2); angles in tenths of a degree, 3600 a
// full ellipse. fillColor VAL_TRANSPARENT leaves it unfilled. Returns a plot handle.
int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int lineColor, int fillColor);

// Writes `text` (UTF-8, plain) in `color` with its lower left corner at (x, y) in plot
// coordinates: a label beside what a plot draws. Labels are not plots: GetPlotCount does not
// count them, and they go with DeleteGraphPlot with plot -1. Returns 0, UIE_BAD_CONTROL, or
// UIE_BAD_ARGUMENT for no text or a coordinate that is not finite.
int PlotText(int panel, int control, double x, double y, const char *text, int color);

// Appends interleaved points to a strip chart: `count` values of type `type` from `start`,
// skipping `skip` values after each; value k goes to trace (k % traces) + 1.
int PlotStripChart(int panel, int control, const void *values, int count, int start, int skip,
                   int type);

// Deletes one plot, or all of them with plot -1.
int DeleteGraphPlot(int panel, int control, int plot, int refresh);

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max);

// Cursors are numbered from 1.
int GetGraphCursor(int panel, int control, int cursor, double *x, double *y);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);

// Strip-chart traces are numbered from 1 (ATTR_TRACE_VISIBLE).
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);
int GetTraceAttribute(int panel, int control, int trace, int attribute, int *value);

// Introspection for tests and checks: number of plots on a graph, and the kind, colour and
// bounding box of one plot (by index in drawing order, from 0).
struct PlotInfo {
    enum Kind { Line, Arc } kind = Line;
    int color = 0;
    int points = 0;                        // Line: number of points
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // Arc: bounding rectangle; Line: first and last point
};
int GetPlotCount(int panel, int control);
int GetPlotInfo(int panel, int control, int index, PlotInfo *info);

// The labels of a graph, in drawing order from 0 (their text truncated to fit).
struct LabelInfo {
    double x = 0, y = 0;
    int color = 0;
    char text[32] = {};
};
int GetLabelCount(int panel, int control);
int GetLabelInfo(int panel, int control, int index, LabelInfo *info);
