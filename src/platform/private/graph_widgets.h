// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The graph widgets behind graph.h: an X/Y graph with one cursor and a multi-trace strip chart.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QVector>

#include <qcustomplot.h>

#include <vector>

#include "platform/graph.h"

namespace platform {

// Both widgets coalesce repaints: data change at once, the screen follows at most once a frame.
class CoalescedPlot : public QCustomPlot {
    Q_OBJECT
public:
    explicit CoalescedPlot(QWidget *parent);
    ~CoalescedPlot() override;
    // Number of replots actually performed (for checks that calls do not repaint each time).
    int replotCount() const { return mReplots; }
    // Number of replots that drew every layer anew (a partial repaint does not count).
    int fullReplotCount() const { return mFullReplots; }
    // Whether a change still waits for its frame to reach the screen.
    bool drawPending() const { return mTimer.isActive() || mDue || mFullDirty || mPartialDirty; }
    // Replots the plots whose change is due on the screen; a panel's frame calls this just
    // before it draws, so that a plot shows the same record as the displays beside it.
    static void FlushDue();

protected:
    // Asks for a full replot (plots, axes or layout changed) or only a partial repaint (the
    // cursor moved, a strip chart's values changed).
    void scheduleReplot(bool partial = false);
    // Repaints what a partial change changed: the strips a cursor left and entered, a strip
    // chart's traces.
    virtual void repaintPartial() {}
    // Brings the drawn objects up to date with the stored state just before a replot.
    virtual void prepareReplot() {}
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void flush();

    QTimer mTimer;
    QElapsedTimer mSinceFlush;
    bool mFullDirty = false;
    bool mPartialDirty = false;
    bool mDue = false; // waits in sDue for the next drawing of its window
    int mReplots = 0;
    int mFullReplots = 0;
    static inline std::vector<CoalescedPlot *> sDue;
};

// X/Y graph: lines and ellipse outlines in plot coordinates, and cursor 1 as a crosshair that
// the operator moves with the mouse or the arrow keys.
class TintaroGraph : public CoalescedPlot {
    Q_OBJECT
public:
    explicit TintaroGraph(QWidget *parent = nullptr);

    // Adds a line through the points in their given order; returns the new plot handle.
    int addLine(const QVector<double> &x, const QVector<double> &y, int color);
    // Adds an ellipse outline inside the rectangle (x1, y1)-(x2, y2); returns the handle.
    int addEllipse(double x1, double y1, double x2, double y2, int lineColor, int fillColor);
    // Adds a text label with its lower left corner at (x, y); deleteAllPlots removes it.
    void addLabel(double x, double y, const QString &text, int color);
    int labelCount() const { return static_cast<int>(mLabels.size()); }
    bool labelInfo(int index, LabelInfo *info) const;
    // Deletes one plot; false when the handle is unknown.
    bool deletePlot(int handle);
    void deleteAllPlots();
    int plotCount() const { return static_cast<int>(mPlots.size()); }
    bool plotInfo(int index, PlotInfo *info) const;

    // axis: VAL_XAXIS or VAL_LEFT_YAXIS; false for an unknown axis, mode or an empty range.
    bool setScaling(int axis, int mode, double min, double max);
    bool scaling(int axis, int *mode, double *min, double *max);

    void setCursorPos(double x, double y);
    double cursorX() const { return mCursorX; }
    double cursorY() const { return mCursorY; }

protected:
    bool event(QEvent *event) override;
    void prepareReplot() override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void repaintPartial() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    struct Plot {
        int handle = 0;
        PlotInfo info;
        QCPCurve *curve = nullptr;
        QCPItemEllipse *ellipse = nullptr;
    };

    int newHandle();
    void applyProperty(const QByteArray &name);
    void applyAutoscale();
    // The strips of the widget that the crosshair and its marker cover at a pixel position.
    QRegion cursorRegion(const QPoint &pixel) const;
    QPoint cursorPixel() const;
    // Moves the cursor to a pixel position, held inside the visible axis ranges.
    void moveCursorToPixel(const QPointF &pos);
    // Reports a cursor move by the operator; false when the widget went away meanwhile.
    bool report(bool commit);

    std::vector<Plot> mPlots;
    struct Label {
        QCPItemText *item = nullptr;
        LabelInfo info;
    };
    std::vector<Label> mLabels;
    int mNextHandle = 1;
    bool mAutoX = false;
    bool mAutoY = false;
    bool mDragging = false;
    // The mouse position last mapped to the cursor while dragging. A callback may re-scale the
    // axes on that move (the zoom graph re-centres); the same pixel must not be mapped again
    // through the new axes, or one click moves the view twice.
    QPointF mDragPixel;
    double mCursorX = 0;
    double mCursorY = 0;
    QPoint mPaintedCursor{-1000, -1000}; // where the crosshair was last painted
};

class TraceGraph;

// Strip chart: N traces fed with interleaved values, the newest at the right; points older than
// one screen drop out at the left. The traces lie on a layer of their own: new values redraw
// only that layer under the plot area, while the axes, grid and legend stay as drawn.
class TintaroStripChart : public CoalescedPlot {
    Q_OBJECT
public:
    explicit TintaroStripChart(QWidget *parent = nullptr);

    int traceCount() const { return static_cast<int>(mTraces.size()); }
    int pointsPerScreen() const { return mPointsPerScreen; }
    // Sets the x span and empties the chart; false for a span below 1.
    bool setPointsPerScreen(int points);
    // Appends values in order: value k goes to trace (k % traces) + 1.
    void append(const double *values, int count);
    // Trace numbers from 1; false for a trace out of range.
    bool setTraceVisible(int trace, bool visible);
    bool traceVisible(int trace, bool *visible) const;
    // The values a trace shows, oldest first (empty for a trace out of range).
    QVector<double> traceValues(int trace) const;
    QString traceName(int trace) const;

protected:
    bool event(QEvent *event) override;
    void prepareReplot() override;
    void repaintPartial() override;

private:
    struct Trace {
        QString name;
        TraceGraph *graph = nullptr;
        QVector<double> values; // oldest first, at most mPointsPerScreen
        bool visible = true;
        bool changed = false; // its values changed since it was last drawn
        QRect drawn;          // the pixels it may cover in the traces' layer
    };

    void rebuildTraces();
    void rebuildLegend();
    void applyXRange();
    // Brings the traces' drawn data up to the stored values (in place where the number of
    // points stays) and works out the left scale they need; false when nothing changed.
    bool syncTraces();
    // The paint buffer of the traces' layer, or null while the buffers wait for a full replot.
    QCPAbstractPaintBuffer *tracesBuffer();
    // Where traces are drawn: the plot area and the pixel row above it.
    QRect tracesArea() const;
    // The pixels a visible trace covers at the current scales; empty for a hidden one.
    QRect traceExtent(const Trace &t) const;

    std::vector<Trace> mTraces;
    int mPointsPerScreen = 100;
    int mRightTrace = 5; // the trace drawn on the right-hand axis (colour numbers), 0 for none
    double mYMax = 4095;
    // The scales syncTraces worked out: the left one, and whether the right one is shown.
    QCPLayer *mTracesLayer = nullptr;
    QCPRange mWantedY{0, 4095};
    bool mWantedRight = false;
};

} // namespace platform
