// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Graph and strip-chart operations by panel and control identifier, and the graph-widget hooks
// used by the panel loader and the attribute table.
#include "platform/graph.h"

#include <cmath>
#include <cstdint>

#include "platform/private/graph_widgets.h"
#include "platform/private/internal.h"
#include "platform/ui.h"

using platform::TintaroGraph;
using platform::TintaroStripChart;

namespace {

template <class W> W *FindWidget(int panel, int control, const char *call = __builtin_FUNCTION()) {
    return qobject_cast<W *>(platform::FindCtrl(panel, control, call));
}

bool KnownType(int type) {
    return type == VAL_DOUBLE || type == VAL_UNSIGNED_SHORT_INTEGER;
}

// Element i of a typed array as a double; unsigned 16-bit values stay 0..65535.
double Element(const void *data, int type, long long i) {
    if (type == VAL_UNSIGNED_SHORT_INTEGER)
        return static_cast<const std::uint16_t *>(data)[i];
    return static_cast<const double *>(data)[i];
}

QVector<double> ReadArray(const void *data, int type, int count) {
    QVector<double> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out.append(Element(data, type, i));
    return out;
}

} // namespace

int PlotXY(int panel, int control, const void *x, const void *y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color) {
    // Every plot is drawn as a thin solid line without markers, the only style the program uses.
    (void)plotStyle;
    (void)pointStyle;
    (void)lineStyle;
    (void)pointFrequency;
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (!x || !y || count < 1 || !KnownType(xType) || !KnownType(yType))
        return UIE_BAD_ARGUMENT;
    return g->addLine(ReadArray(x, xType, count), ReadArray(y, yType, count), color);
}

int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int lineColor, int fillColor) {
    // Only full ellipses are drawn: a partial arc is shown as the whole ellipse of its rectangle.
    (void)beginAngle;
    (void)arcAngle;
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return UIE_BAD_ARGUMENT;
    return g->addEllipse(x1, y1, x2, y2, lineColor, fillColor);
}

int PlotText(int panel, int control, double x, double y, const char *text, int color) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (!text || !std::isfinite(x) || !std::isfinite(y))
        return UIE_BAD_ARGUMENT;
    g->addLabel(x, y, QString::fromUtf8(text), color);
    return UIE_NO_ERROR;
}

int GetLabelCount(int panel, int control) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    return g ? g->labelCount() : UIE_BAD_CONTROL;
}

int GetLabelInfo(int panel, int control, int index, LabelInfo *info) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    return g->labelInfo(index, info) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

int PlotStripChart(int panel, int control, const void *values, int count, int start, int skip,
                   int type) {
    auto *s = FindWidget<TintaroStripChart>(panel, control);
    if (!s)
        return UIE_BAD_CONTROL;
    if (!values || count < 0 || start < 0 || skip < 0 || !KnownType(type))
        return UIE_BAD_ARGUMENT;
    // Called for every record: the values pass through one buffer that keeps its capacity.
    static QVector<double> taken;
    taken.resize(count);
    const long long stride = static_cast<long long>(skip) + 1;
    for (int k = 0; k < count; ++k)
        taken[k] = Element(values, type, start + k * stride);
    s->append(taken.constData(), count);
    return UIE_NO_ERROR;
}

int DeleteGraphPlot(int panel, int control, int plot, int refresh) {
    (void)refresh; // repaints are coalesced to the next frame in either mode
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (plot == -1) {
        g->deleteAllPlots();
        return UIE_NO_ERROR;
    }
    return g->deletePlot(plot) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    return g->setScaling(axis, mode, min, max) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    return g->scaling(axis, mode, min, max) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

int GetGraphCursor(int panel, int control, int cursor, double *x, double *y) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (cursor != 1 || !x || !y)
        return UIE_BAD_ARGUMENT;
    *x = g->cursorX();
    *y = g->cursorY();
    return UIE_NO_ERROR;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    if (cursor != 1 || !std::isfinite(x) || !std::isfinite(y))
        return UIE_BAD_ARGUMENT;
    g->setCursorPos(x, y);
    return UIE_NO_ERROR;
}

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value) {
    auto *s = FindWidget<TintaroStripChart>(panel, control);
    if (!s)
        return UIE_BAD_CONTROL;
    if (attribute != ATTR_TRACE_VISIBLE)
        return UIE_BAD_ATTRIBUTE;
    return s->setTraceVisible(trace, value != 0) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

int GetTraceAttribute(int panel, int control, int trace, int attribute, int *value) {
    auto *s = FindWidget<TintaroStripChart>(panel, control);
    if (!s)
        return UIE_BAD_CONTROL;
    if (attribute != ATTR_TRACE_VISIBLE)
        return UIE_BAD_ATTRIBUTE;
    bool visible = false;
    if (!value || !s->traceVisible(trace, &visible))
        return UIE_BAD_ARGUMENT;
    *value = visible ? 1 : 0;
    return UIE_NO_ERROR;
}

int GetPlotCount(int panel, int control) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    return g ? g->plotCount() : UIE_BAD_CONTROL;
}

int GetPlotInfo(int panel, int control, int index, PlotInfo *info) {
    auto *g = FindWidget<TintaroGraph>(panel, control);
    if (!g)
        return UIE_BAD_CONTROL;
    return g->plotInfo(index, info) ? UIE_NO_ERROR : UIE_BAD_ARGUMENT;
}

namespace platform {

QWidget *CreateGraphWidget(const QString &className, QWidget *parent, const QString &name) {
    QWidget *w = nullptr;
    if (className == QLatin1String("TintaroGraph"))
        w = new TintaroGraph(parent);
    else if (className == QLatin1String("TintaroStripChart"))
        w = new TintaroStripChart(parent);
    if (w)
        w->setObjectName(name);
    return w;
}

int SetGraphCtrlAttribute(QWidget *widget, int attribute, int value) {
    auto *s = qobject_cast<TintaroStripChart *>(widget);
    if (!s || attribute != ATTR_POINTS_PER_SCREEN)
        return UIE_BAD_ATTRIBUTE;
    return s->setPointsPerScreen(value) ? UIE_NO_ERROR : UIE_OUT_OF_RANGE;
}

int GetGraphCtrlAttribute(QWidget *widget, int attribute, int *value) {
    auto *s = qobject_cast<TintaroStripChart *>(widget);
    if (!s || attribute != ATTR_POINTS_PER_SCREEN)
        return UIE_BAD_ATTRIBUTE;
    if (!value)
        return UIE_BAD_ARGUMENT;
    *value = s->pointsPerScreen();
    return UIE_NO_ERROR;
}

} // namespace platform
