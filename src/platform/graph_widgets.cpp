// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The X/Y graph and strip-chart widgets: drawing, cursor handling and coalesced repaints.
#include "platform/private/graph_widgets.h"

#include <QResizeEvent>

#include <QDynamicPropertyChangeEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "platform/private/internal.h"
#include "platform/ui.h"

namespace platform {

namespace {

constexpr double kDefaultMax = 4095;
constexpr int kFrameMs = 16; // one screen refresh at 60 Hz

// Tick labels that stay readable in the small graphs of the panel.
void StyleAxis(QCPAxis *axis) {
    QFont font = axis->tickLabelFont();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1));
    axis->setTickLabelFont(font);
    axis->setLabelFont(font);
    axis->setNumberFormat("g");
    axis->setNumberPrecision(6);
    axis->grid()->setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 0, Qt::DotLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
}

} // namespace

// ---- CoalescedPlot -----------------------------------------------------------------------

CoalescedPlot::CoalescedPlot(QWidget *parent) : QCustomPlot(parent) {
    mTimer.setSingleShot(true);
    mTimer.setInterval(kFrameMs);
    connect(&mTimer, &QTimer::timeout, this, &CoalescedPlot::flush);
    // Whoever triggers a replot (our timer, a resize), it draws the current state.
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        ++mFullReplots;
        prepareReplot();
    });
    setAutoAddPlottableToLegend(false);
    // The plot paints every pixel of itself (the opaque background first): the panel need not
    // paint beneath it each time it changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CoalescedPlot::~CoalescedPlot() {
    sDue.erase(std::remove(sDue.begin(), sDue.end(), this), sDue.end());
}

// In a panel, a change a frame time after the last replot is due at once: the frame replots it
// just before it next draws (FlushDue), together with the displays written with it. Sooner
// changes, and a plot outside a panel, wait for the timer, so that a fast stream of calls
// replots at most once a frame.
void CoalescedPlot::scheduleReplot(bool partial) {
    if (partial)
        mPartialDirty = true;
    else
        mFullDirty = true;
    const qint64 since = mSinceFlush.isValid() ? mSinceFlush.elapsed() : kFrameMs;
    if (since >= kFrameMs && isVisible() && window()->property("tintaroPanel").isValid()) {
        if (!mDue) {
            mDue = true;
            sDue.push_back(this);
            // The frame's next drawing replots it; ask for one without marking the whole plot
            // for repainting (a moved cursor repaints two thin strips, new strip-chart values
            // the plot area).
            QCoreApplication::postEvent(window(), new QEvent(QEvent::UpdateRequest),
                                        Qt::LowEventPriority);
        }
        return;
    }
    if (!mTimer.isActive())
        mTimer.start(int(std::max<qint64>(0, kFrameMs - since)));
}

void CoalescedPlot::FlushDue() {
    std::vector<CoalescedPlot *> due;
    due.swap(sDue);
    for (CoalescedPlot *plot : due) {
        plot->mDue = false;
        plot->flush();
    }
}

void CoalescedPlot::showEvent(QShowEvent *event) {
    QCustomPlot::showEvent(event);
    // Changes made while hidden were kept back; draw them now.
    if (mFullDirty || mPartialDirty)
        mTimer.start();
}

// What QCustomPlot draws, but one dirty rectangle at a time: under a clip of several small
// rectangles (the strips a moved cursor left and entered) the raster engine works through the
// whole plot image, on a pool of threads; under one rectangle it touches only that rectangle.
void CoalescedPlot::paintEvent(QPaintEvent *event) {
    QCPPainter painter(this);
    if (!painter.isActive())
        return;
    for (const QRect &r : event->region()) {
        painter.setClipRect(r);
        if (mBackgroundBrush.style() != Qt::NoBrush)
            painter.fillRect(mViewport.intersected(r), mBackgroundBrush);
        drawBackground(&painter);
        for (const QSharedPointer<QCPAbstractPaintBuffer> &buffer : mPaintBuffers)
            buffer->draw(&painter);
    }
}

void CoalescedPlot::flush() {
    if (!isVisible())
        return; // nothing to see; showEvent catches up
    if (!mFullDirty && !mPartialDirty)
        return; // drawn already, when its window was
    if (mFullDirty)
        replot(rpQueuedRefresh);
    else
        repaintPartial(); // the cursor moved or the values changed: repaint only that
    mFullDirty = mPartialDirty = false;
    mSinceFlush.restart();
    ++mReplots;
}

// ---- TintaroGraph ------------------------------------------------------------------------

TintaroGraph::TintaroGraph(QWidget *parent) : CoalescedPlot(parent) {
    setFocusPolicy(Qt::StrongFocus);
    xAxis->setRange(0, kDefaultMax);
    yAxis->setRange(0, kDefaultMax);
    StyleAxis(xAxis);
    StyleAxis(yAxis);
    axisRect()->setupFullAxesBox(false); // frame on all four sides, ticks only left and bottom
    xAxis2->setTicks(false);
    yAxis2->setTicks(false);
    xAxis2->setTickLabels(false);
    yAxis2->setTickLabels(false);
}

// Keeps the plot area square, so that equal axis ranges draw tolerance circles round: fixed
// margins for the tick labels, the spare width or height split evenly on both sides.
void TintaroGraph::resizeEvent(QResizeEvent *event) {
    constexpr int kLeft = 58, kRight = 14, kTop = 12, kBottom = 42;
    const int w = event->size().width() - kLeft - kRight;
    const int h = event->size().height() - kTop - kBottom;
    const int spareX = std::max(0, w - h);
    const int spareY = std::max(0, h - w);
    axisRect()->setAutoMargins(QCP::msNone);
    axisRect()->setMargins(QMargins(kLeft + spareX / 2, kTop + spareY / 2,
                                    kRight + spareX - spareX / 2, kBottom + spareY - spareY / 2));
    CoalescedPlot::resizeEvent(event);
}

int TintaroGraph::addLine(const QVector<double> &x, const QVector<double> &y, int color) {
    const int n = static_cast<int>(std::min(x.size(), y.size()));
    auto *curve = new QCPCurve(xAxis, yAxis);
    curve->setPen(QPen(ToQColor(color), 1));
    curve->setLineStyle(QCPCurve::lsLine);
    curve->setScatterStyle(QCPScatterStyle::ssNone);
    // A parametric curve keeps the points in the order given (t = index).
    QVector<QCPCurveData> data;
    data.reserve(n);
    for (int i = 0; i < n; ++i)
        data.append(QCPCurveData(i, x[i], y[i]));
    curve->data()->set(data, true);

    Plot p;
    p.handle = newHandle();
    p.curve = curve;
    p.info.kind = PlotInfo::Line;
    p.info.color = color;
    p.info.points = n;
    if (n > 0) {
        p.info.x1 = x[0];
        p.info.y1 = y[0];
        p.info.x2 = x[n - 1];
        p.info.y2 = y[n - 1];
    }
    mPlots.push_back(p);
    scheduleReplot();
    return p.handle;
}

int TintaroGraph::addEllipse(double x1, double y1, double x2, double y2, int lineColor,
                             int fillColor) {
    auto *ellipse = new QCPItemEllipse(this);
    ellipse->setClipToAxisRect(true);
    ellipse->setClipAxisRect(axisRect());
    for (QCPItemPosition *pos : {ellipse->topLeft, ellipse->bottomRight}) {
        pos->setType(QCPItemPosition::ptPlotCoords);
        pos->setAxes(xAxis, yAxis);
    }
    // The item normalises the rectangle, so the corners may come in any order.
    ellipse->topLeft->setCoords(x1, y1);
    ellipse->bottomRight->setCoords(x2, y2);
    ellipse->setPen(QPen(ToQColor(lineColor), 1));
    ellipse->setSelectedPen(ellipse->pen());
    ellipse->setBrush(fillColor == VAL_TRANSPARENT ? QBrush(Qt::NoBrush)
                                                   : QBrush(ToQColor(fillColor)));

    Plot p;
    p.handle = newHandle();
    p.ellipse = ellipse;
    p.info.kind = PlotInfo::Arc;
    p.info.color = lineColor;
    p.info.x1 = x1;
    p.info.y1 = y1;
    p.info.x2 = x2;
    p.info.y2 = y2;
    mPlots.push_back(p);
    scheduleReplot();
    return p.handle;
}

int TintaroGraph::newHandle() {
    // Handles wrap only after two thousand million plots; a handle still in use is skipped.
    for (;;) {
        const int h = mNextHandle;
        mNextHandle = h == std::numeric_limits<int>::max() ? 1 : h + 1;
        if (std::none_of(mPlots.begin(), mPlots.end(),
                         [h](const Plot &p) { return p.handle == h; }))
            return h;
    }
}

bool TintaroGraph::deletePlot(int handle) {
    auto it = std::find_if(mPlots.begin(), mPlots.end(),
                           [handle](const Plot &p) { return p.handle == handle; });
    if (it == mPlots.end())
        return false;
    if (it->curve)
        removePlottable(it->curve);
    if (it->ellipse)
        removeItem(it->ellipse);
    mPlots.erase(it);
    scheduleReplot();
    return true;
}

void TintaroGraph::addLabel(double x, double y, const QString &text, int color) {
    auto *item = new QCPItemText(this);
    item->setClipToAxisRect(true);
    item->setClipAxisRect(axisRect());
    item->position->setType(QCPItemPosition::ptPlotCoords);
    item->position->setAxes(xAxis, yAxis);
    item->position->setCoords(x, y);
    item->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    item->setText(text);
    item->setColor(ToQColor(color));
    item->setSelectedColor(item->color());
    item->setFont(xAxis->tickLabelFont());
    Label l;
    l.item = item;
    l.info.x = x;
    l.info.y = y;
    l.info.color = color;
    const QByteArray bytes = text.toUtf8();
    qstrncpy(l.info.text, bytes.constData(), sizeof l.info.text);
    mLabels.push_back(l);
    scheduleReplot();
}

bool TintaroGraph::labelInfo(int index, LabelInfo *info) const {
    if (index < 0 || index >= labelCount() || !info)
        return false;
    *info = mLabels[static_cast<size_t>(index)].info;
    return true;
}

void TintaroGraph::deleteAllPlots() {
    for (const Plot &p : mPlots) {
        if (p.curve)
            removePlottable(p.curve);
        if (p.ellipse)
            removeItem(p.ellipse);
    }
    mPlots.clear();
    for (const Label &l : mLabels)
        removeItem(l.item);
    mLabels.clear();
    scheduleReplot();
}

bool TintaroGraph::plotInfo(int index, PlotInfo *info) const {
    if (index < 0 || index >= plotCount() || !info)
        return false;
    *info = mPlots[static_cast<size_t>(index)].info;
    return true;
}

bool TintaroGraph::setScaling(int axis, int mode, double min, double max) {
    QCPAxis *a = axis == VAL_XAXIS ? xAxis : axis == VAL_LEFT_YAXIS ? yAxis : nullptr;
    if (!a)
        return false;
    bool &autoFlag = axis == VAL_XAXIS ? mAutoX : mAutoY;
    if (mode == VAL_MANUAL) {
        if (!std::isfinite(min) || !std::isfinite(max) || !(min < max))
            return false;
        autoFlag = false;
        a->setRange(min, max);
    } else if (mode == VAL_AUTOSCALE) {
        autoFlag = true;
        applyAutoscale();
    } else {
        return false;
    }
    scheduleReplot();
    return true;
}

bool TintaroGraph::scaling(int axis, int *mode, double *min, double *max) {
    QCPAxis *a = axis == VAL_XAXIS ? xAxis : axis == VAL_LEFT_YAXIS ? yAxis : nullptr;
    if (!a)
        return false;
    applyAutoscale();
    const bool autoFlag = axis == VAL_XAXIS ? mAutoX : mAutoY;
    if (mode)
        *mode = autoFlag ? VAL_AUTOSCALE : VAL_MANUAL;
    if (min)
        *min = a->range().lower;
    if (max)
        *max = a->range().upper;
    return true;
}

void TintaroGraph::applyAutoscale() {
    if (!mAutoX && !mAutoY)
        return;
    bool any = false;
    QCPRange xr, yr;
    auto unite = [&any, &xr, &yr](const QCPRange &kx, const QCPRange &ky) {
        if (!any) {
            xr = kx;
            yr = ky;
            any = true;
        } else {
            xr.expand(kx);
            yr.expand(ky);
        }
    };
    for (const Plot &p : mPlots) {
        if (p.curve) {
            bool fx = false, fy = false;
            const QCPRange kx = p.curve->getKeyRange(fx);
            const QCPRange ky = p.curve->getValueRange(fy);
            if (fx && fy)
                unite(kx, ky);
        } else {
            unite(QCPRange(std::min(p.info.x1, p.info.x2), std::max(p.info.x1, p.info.x2)),
                  QCPRange(std::min(p.info.y1, p.info.y2), std::max(p.info.y1, p.info.y2)));
        }
    }
    if (!any)
        return; // nothing to fit: keep the current view
    auto widen = [](QCPRange r) {
        if (r.size() <= 0) {
            r.lower -= 1;
            r.upper += 1;
        }
        return r;
    };
    if (mAutoX)
        xAxis->setRange(widen(xr));
    if (mAutoY)
        yAxis->setRange(widen(yr));
}

void TintaroGraph::prepareReplot() {
    applyAutoscale();
}

void TintaroGraph::setCursorPos(double x, double y) {
    mCursorX = x;
    mCursorY = y;
    scheduleReplot(true);
}

QPoint TintaroGraph::cursorPixel() const {
    return QPointF(xAxis->coordToPixel(mCursorX), yAxis->coordToPixel(mCursorY)).toPoint();
}

QRegion TintaroGraph::cursorRegion(const QPoint &pixel) const {
    const QRect plot = axisRect()->rect();
    QRegion r;
    r += QRect(pixel.x() - 2, plot.top(), 5, plot.height());
    r += QRect(plot.left(), pixel.y() - 2, plot.width(), 5);
    r += QRect(pixel.x() - 8, pixel.y() - 8, 17, 17);
    return r;
}

// The crosshair is painted over the plot rather than drawn into it, so that moving it
// repaints two thin strips instead of the whole graph: the live point moves every record.
void TintaroGraph::repaintPartial() {
    // A live point that stays on its pixel (the noise of a still colour) changes nothing on
    // the screen.
    const QPoint at = cursorPixel();
    if (at != mPaintedCursor)
        update(cursorRegion(mPaintedCursor) + cursorRegion(at));
}

void TintaroGraph::paintEvent(QPaintEvent *event) {
    CoalescedPlot::paintEvent(event);
    const QPoint at = cursorPixel();
    mPaintedCursor = at;
    const QRect plot = axisRect()->rect();
    if (!plot.adjusted(-8, -8, 8, 8).contains(at))
        return;
    QPainter p(this);
    p.setClipRect(plot);
    // With the keyboard focus the cursor turns blue: the arrow keys now move it.
    const QColor c = hasFocus() ? QColor(0x00, 0x50, 0xC0) : QColor(0x30, 0x30, 0x30);
    p.setPen(QPen(c, 0, Qt::DashLine));
    p.drawLine(at.x(), plot.top(), at.x(), plot.bottom());
    p.drawLine(plot.left(), at.y(), plot.right(), at.y());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 1.5));
    p.drawEllipse(QPointF(at), 4.5, 4.5);
}

void TintaroGraph::applyProperty(const QByteArray &name) {
    const QVariant v = property(name.constData());
    if (!v.isValid())
        return;
    if (name == "xMin")
        xAxis->setRangeLower(v.toDouble());
    else if (name == "xMax")
        xAxis->setRangeUpper(v.toDouble());
    else if (name == "yMin")
        yAxis->setRangeLower(v.toDouble());
    else if (name == "yMax")
        yAxis->setRangeUpper(v.toDouble());
    else if (name == "xLabel")
        xAxis->setLabel(v.toString());
    else if (name == "yLabel")
        yAxis->setLabel(v.toString());
    else
        return;
    scheduleReplot();
}

bool TintaroGraph::event(QEvent *event) {
    if (event->type() == QEvent::DynamicPropertyChange)
        applyProperty(static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName());
    return CoalescedPlot::event(event);
}

void TintaroGraph::moveCursorToPixel(const QPointF &pos) {
    const QCPRange xr = xAxis->range();
    const QCPRange yr = yAxis->range();
    setCursorPos(std::clamp(xAxis->pixelToCoord(pos.x()), xr.lower, xr.upper),
                 std::clamp(yAxis->pixelToCoord(pos.y()), yr.lower, yr.upper));
}

bool TintaroGraph::report(bool commit) {
    QPointer<TintaroGraph> self(this);
    DispatchCtrlEvent(this, commit ? EVENT_COMMIT : EVENT_VAL_CHANGED);
    return !self.isNull();
}

void TintaroGraph::mousePressEvent(QMouseEvent *event) {
    // Only the left button inside the plot area moves the cursor; everything else (the right
    // button in particular) keeps its ordinary path.
    if (event->button() == Qt::LeftButton &&
        axisRect()->rect().contains(event->position().toPoint())) {
        mDragging = true;
        event->accept();
        mDragPixel = event->position();
        moveCursorToPixel(event->position());
        report(false);
        return;
    }
    CoalescedPlot::mousePressEvent(event);
}

void TintaroGraph::mouseMoveEvent(QMouseEvent *event) {
    if (mDragging && (event->buttons() & Qt::LeftButton)) {
        event->accept();
        if (event->position() == mDragPixel)
            return;
        mDragPixel = event->position();
        const double ox = mCursorX, oy = mCursorY;
        moveCursorToPixel(event->position());
        if (ox != mCursorX || oy != mCursorY)
            report(false);
        return;
    }
    CoalescedPlot::mouseMoveEvent(event);
}

void TintaroGraph::mouseReleaseEvent(QMouseEvent *event) {
    if (mDragging && event->button() == Qt::LeftButton) {
        mDragging = false;
        event->accept();
        const double ox = mCursorX, oy = mCursorY;
        if (event->position() != mDragPixel)
            moveCursorToPixel(event->position());
        if ((ox != mCursorX || oy != mCursorY) && !report(false))
            return;
        report(true);
        return;
    }
    CoalescedPlot::mouseReleaseEvent(event);
}

void TintaroGraph::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right && key != Qt::Key_Up && key != Qt::Key_Down) {
        CoalescedPlot::keyPressEvent(event);
        return;
    }
    event->accept();
    const double div = (event->modifiers() & Qt::ShiftModifier) ? 10.0 : 100.0;
    const QCPRange xr = xAxis->range();
    const QCPRange yr = yAxis->range();
    double x = mCursorX, y = mCursorY;
    if (key == Qt::Key_Left)
        x -= xr.size() / div;
    else if (key == Qt::Key_Right)
        x += xr.size() / div;
    else if (key == Qt::Key_Up)
        y += yr.size() / div;
    else
        y -= yr.size() / div;
    setCursorPos(std::clamp(x, xr.lower, xr.upper), std::clamp(y, yr.lower, yr.upper));
    if (report(false))
        report(true);
}

void TintaroGraph::focusInEvent(QFocusEvent *event) {
    CoalescedPlot::focusInEvent(event);
    scheduleReplot(true);
}

void TintaroGraph::focusOutEvent(QFocusEvent *event) {
    CoalescedPlot::focusOutEvent(event);
    mDragging = false;
    scheduleReplot(true);
}

// ---- TintaroStripChart -------------------------------------------------------------------

namespace {

struct TraceLook {
    QColor color;
    Qt::PenStyle style;
};

// Colours chosen to read well on white; the limits are dashed so they never pass for signals.
TraceLook lookFor(const QString &name, int index) {
    const QString n = name.trimmed().toUpper();
    if (n == "RED")
        return {QColor(0xD0, 0x00, 0x00), Qt::SolidLine};
    if (n == "GREEN")
        return {QColor(0x00, 0x9A, 0x00), Qt::SolidLine};
    if (n == "BLUE")
        return {QColor(0x00, 0x30, 0xE0), Qt::SolidLine};
    if (n == "INT")
        return {QColor(0x20, 0x20, 0x20), Qt::SolidLine};
    if (n == "C-NO")
        return {QColor(0x80, 0x00, 0xA0), Qt::SolidLine};
    if (n == "UL")
        return {QColor(0xFF, 0x80, 0x00), Qt::DashLine};
    if (n == "LL")
        return {QColor(0x8B, 0x45, 0x13), Qt::DashLine};
    static const QColor palette[] = {QColor(0x00, 0x80, 0x80), QColor(0xA0, 0x60, 0x00),
                                     QColor(0x60, 0x60, 0xA0), QColor(0xC0, 0x00, 0x80)};
    return {palette[index % 4], Qt::SolidLine};
}

const char *const kDefaultTraceNames = "RED,GREEN,BLUE,INT,C-No,UL,LL";

bool SameValue(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

// A trace that the chart can draw into its layer's buffer by itself, the way the layer draws
// its children in a full replot, so that both give the same pixels.
class TraceGraph : public QCPGraph {
public:
    using QCPGraph::QCPGraph;
    void drawOnLayer(QCPPainter *painter) {
        if (!realVisibility())
            return;
        painter->save();
        // Within whatever the caller clipped to: the strips that changed.
        painter->setClipRect(clipRect().translated(0, -1), Qt::IntersectClip);
        applyDefaultAntialiasingHint(painter);
        draw(painter);
        painter->restore();
    }

protected:
    // A solid trace wider than a pixel is drawn on the screen as two one-pixel lines half a
    // pixel apart: that looks much like the wide line, and the raster engine draws thin lines
    // in one pass, while a wide one is rasterized as an outline, segment by segment, at about
    // three times the cost.
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override {
        const QPen pen = painter->pen();
        if (pen.style() != Qt::SolidLine || pen.widthF() <= 1.0 ||
            painter->modes().testFlag(QCPPainter::pmVectorized)) {
            QCPGraph::drawLinePlot(painter, lines);
            return;
        }
        QPen thin = pen;
        thin.setWidthF(1.0);
        const double half = (pen.widthF() - 1.0) / 2.0;
        painter->save();
        painter->setPen(thin);
        painter->translate(0, -half);
        QCPGraph::drawLinePlot(painter, lines);
        painter->translate(0, 2 * half);
        QCPGraph::drawLinePlot(painter, lines);
        painter->restore();
    }
};

TintaroStripChart::TintaroStripChart(QWidget *parent) : CoalescedPlot(parent) {
    StyleAxis(xAxis);
    StyleAxis(yAxis);
    StyleAxis(yAxis2);
    yAxis->setRange(0, mYMax);
    yAxis2->setRange(0, 255); // colour numbers: 0..14, 255 for none
    yAxis2->grid()->setVisible(false);

    // The legend sits in its own row above the plot, one entry per visible trace.
    axisRect()->insetLayout()->take(legend);
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setFont(xAxis->tickLabelFont());
    legend->setMargins(QMargins(2, 0, 2, 0));
    legend->setVisible(true);

    // The traces (on the current layer, "main") get a paint buffer of their own: the grid below
    // them and the axes and legend above are drawn only when they change.
    mTracesLayer = currentLayer();
    mTracesLayer->setMode(QCPLayer::lmBuffered);
    // After a full replot the traces may lie anywhere in the plot area.
    connect(this, &QCustomPlot::afterReplot, this, [this] {
        for (Trace &t : mTraces)
            t.drawn = tracesArea();
    });

    rebuildTraces();
}

void TintaroStripChart::rebuildTraces() {
    clearGraphs();
    mTraces.clear();
    const QVariant countProp = property("traces");
    const int count = std::clamp(countProp.isValid() ? countProp.toInt() : 7, 1, 64);
    const QVariant namesProp = property("traceNames");
    const QStringList names =
        (namesProp.isValid() ? namesProp.toString() : QString(kDefaultTraceNames)).split(',');
    const QVariant rightProp = property("rightTrace");
    mRightTrace = rightProp.isValid() ? rightProp.toInt() : 5;

    for (int i = 0; i < count; ++i) {
        Trace t;
        t.name = i < names.size() ? names[i].trimmed() : QString("Trace %1").arg(i + 1);
        const bool right = i + 1 == mRightTrace;
        t.graph = new TraceGraph(xAxis, right ? yAxis2 : yAxis);
        t.graph->setName(t.name);
        const TraceLook look = lookFor(t.name, i);
        // Dashed lines one pixel wide: the raster engine draws such dashes in one pass, while a
        // wider dashed line is stroked into an outline per dash and filled, which cost some
        // 1.3 ms a record for the two limit lines of the INT view.
        t.graph->setPen(QPen(look.color, look.style == Qt::SolidLine ? 1.5 : 1.0, look.style));
        t.graph->setLineStyle(QCPGraph::lsLine);
        if (right)
            yAxis2->setTickLabelColor(look.color);
        mTraces.push_back(t);
    }
    applyXRange();
    rebuildLegend();
    scheduleReplot();
}

void TintaroStripChart::rebuildLegend() {
    legend->clearItems();
    bool rightShown = false;
    for (size_t i = 0; i < mTraces.size(); ++i) {
        mTraces[i].graph->setVisible(mTraces[i].visible);
        if (mTraces[i].visible) {
            mTraces[i].graph->addToLegend();
            if (static_cast<int>(i) + 1 == mRightTrace)
                rightShown = true;
        }
    }
    // The right-hand scale only while the trace that uses it is shown.
    yAxis2->setVisible(rightShown);
}

void TintaroStripChart::applyXRange() {
    xAxis->setRange(0, std::max(1, mPointsPerScreen - 1));
}

bool TintaroStripChart::setPointsPerScreen(int points) {
    if (points < 1)
        return false;
    // The same span again (the program empties the chart before it plots the whole history
    // anew) changes no scale: only the traces are drawn again, and only if their values differ.
    const bool sameSpan = points == mPointsPerScreen;
    mPointsPerScreen = points;
    for (Trace &t : mTraces)
        t.values.clear(); // keeps the capacity: refilling does not allocate
    applyXRange();
    scheduleReplot(sameSpan);
    return true;
}

void TintaroStripChart::append(const double *values, int count) {
    const int n = traceCount();
    if (n == 0 || count <= 0)
        return;
    for (int k = 0; k < count; ++k)
        mTraces[static_cast<size_t>(k % n)].values.append(values[k]);
    for (Trace &t : mTraces) {
        const int excess = static_cast<int>(t.values.size()) - mPointsPerScreen;
        if (excess > 0)
            t.values.remove(0, excess); // the oldest drop out at the left
    }
    scheduleReplot(true);
}

bool TintaroStripChart::setTraceVisible(int trace, bool visible) {
    if (trace < 1 || trace > traceCount())
        return false;
    bool &shown = mTraces[static_cast<size_t>(trace - 1)].visible;
    if (shown == visible)
        return true; // nothing changes on the screen
    shown = visible;
    rebuildLegend();
    scheduleReplot();
    return true;
}

bool TintaroStripChart::traceVisible(int trace, bool *visible) const {
    if (trace < 1 || trace > traceCount() || !visible)
        return false;
    *visible = mTraces[static_cast<size_t>(trace - 1)].visible;
    return true;
}

QVector<double> TintaroStripChart::traceValues(int trace) const {
    if (trace < 1 || trace > traceCount())
        return {};
    return mTraces[static_cast<size_t>(trace - 1)].values;
}

QString TintaroStripChart::traceName(int trace) const {
    if (trace < 1 || trace > traceCount())
        return {};
    return mTraces[static_cast<size_t>(trace - 1)].name;
}

bool TintaroStripChart::syncTraces() {
    bool changed = false;
    double lo = 0, hi = mYMax;
    bool leftShown = false, rightShown = false;
    for (size_t i = 0; i < mTraces.size(); ++i) {
        Trace &t = mTraces[i];
        QCPGraphDataContainer &data = *t.graph->data();
        const int n = static_cast<int>(t.values.size());
        t.changed = false;
        if (data.size() == n) {
            // Keys stay 0..n-1: only the values move, so they are written where they are.
            auto it = data.begin();
            for (int k = 0; k < n; ++k, ++it) {
                if (!SameValue(it->value, t.values[k])) {
                    it->value = t.values[k];
                    t.changed = true;
                }
            }
        } else {
            QVector<QCPGraphData> points;
            points.reserve(n);
            for (int k = 0; k < n; ++k)
                points.append(QCPGraphData(k, t.values[k]));
            data.set(points, true);
            t.changed = true;
        }
        t.changed = t.changed && t.visible;
        changed = changed || t.changed;
        const bool onRight = static_cast<int>(i) + 1 == mRightTrace;
        rightShown = rightShown || (t.visible && onRight);
        leftShown = leftShown || (t.visible && !onRight);
        // Values beyond the left scale widen it rather than vanish off the chart.
        if (t.visible && !onRight) {
            for (double v : t.values) {
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
        }
    }
    // Only the right-hand trace: the left scale takes its range, so the chart reads 0..255 on
    // one scale instead of an unused 0..4095 beside it.
    const bool rightOnly = rightShown && !leftShown;
    mWantedY = rightOnly ? yAxis2->range() : QCPRange(lo, hi);
    mWantedRight = rightShown && !rightOnly;
    return changed;
}

void TintaroStripChart::prepareReplot() {
    syncTraces();
    yAxis->setRange(mWantedY);
    yAxis2->setVisible(mWantedRight);
}

QCPAbstractPaintBuffer *TintaroStripChart::tracesBuffer() {
    if (hasInvalidatedPaintBuffers())
        return nullptr;
    // The buffers are handed out bottom up as the plot sets them up: the logical layers share
    // one, a buffered layer takes the next, and the logical layers above it the one after.
    int index = 0;
    for (int i = 0; i < mLayers.size(); ++i) {
        const bool buffered = mLayers[i]->mode() == QCPLayer::lmBuffered;
        if (buffered)
            ++index;
        if (mLayers[i] == mTracesLayer)
            break;
        if (buffered && i + 1 < mLayers.size() && mLayers[i + 1]->mode() == QCPLayer::lmLogical)
            ++index;
    }
    return index < mPaintBuffers.size() ? mPaintBuffers[index].data() : nullptr;
}

QRect TintaroStripChart::tracesArea() const {
    // The traces are clipped to the plot area moved up one pixel, as in a full replot.
    const QRect area = axisRect()->rect();
    return area.united(area.translated(0, -1));
}

// The pixels a trace can cover: the box of its points, widened by the pen, its square caps and
// its smoothing.
QRect TintaroStripChart::traceExtent(const Trace &t) const {
    const int n = static_cast<int>(t.values.size());
    if (!t.visible || n == 0)
        return {};
    double lo = 0, hi = 0;
    bool any = false;
    for (double v : t.values) {
        if (!std::isfinite(v))
            continue;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    if (!any)
        return {};
    const QCPAxis *x = t.graph->keyAxis();
    const QCPAxis *y = t.graph->valueAxis();
    const int margin = int(std::ceil(t.graph->pen().widthF())) + 2;
    const QRectF box(QPointF(x->coordToPixel(0), y->coordToPixel(hi)),
                     QPointF(x->coordToPixel(n - 1), y->coordToPixel(lo)));
    return box.normalized().toAlignedRect().adjusted(-margin, -margin, margin, margin);
}

// New values: the traces' layer is drawn again where a trace was or now is, and only that is
// repainted, from the buffers; the axes, grid and legend stay. A change of scale replots all.
void TintaroStripChart::repaintPartial() {
    if (!syncTraces())
        return; // the same values as drawn: nothing on the screen changes
    QCPAbstractPaintBuffer *buffer = tracesBuffer();
    if (!buffer || mWantedY != yAxis->range() || mWantedRight != yAxis2->visible()) {
        replot(rpQueuedRefresh);
        return;
    }
    // Where a changed trace was and now is, the layer is cleared and every trace drawn again;
    // elsewhere it holds the unchanged traces as they were drawn (a flat limit line stays).
    const QRect area = tracesArea();
    QRegion dirty;
    for (Trace &t : mTraces) {
        const QRect now = traceExtent(t) & area;
        if (t.changed)
            dirty += QRegion(t.drawn) + QRegion(now);
        t.drawn = now; // an unchanged trace lies just where its values put it
    }
    dirty &= area;
    std::unique_ptr<QCPPainter> painter(buffer->startPainting());
    if (!painter || !painter->isActive()) {
        replot(rpQueuedRefresh);
        return;
    }
    // One rectangle at a time: under a clip of several rectangles every span of a trace goes
    // through the region's clipping, which cost three times what drawing the trace does.
    for (const QRect &r : dirty) {
        painter->setClipRect(r);
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->fillRect(r, Qt::transparent);
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        for (Trace &t : mTraces)
            if (r.intersects(t.drawn))
                t.graph->drawOnLayer(painter.get());
    }
    painter.reset();
    buffer->donePainting();
    update(dirty);
}

bool TintaroStripChart::event(QEvent *event) {
    if (event->type() == QEvent::DynamicPropertyChange) {
        const QByteArray name = static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName();
        if (name == "traces" || name == "traceNames" || name == "rightTrace") {
            rebuildTraces();
        } else if (name == "yMax") {
            mYMax = property("yMax").toDouble();
            scheduleReplot();
        } else if (name == "pointsPerScreen") {
            setPointsPerScreen(property("pointsPerScreen").toInt());
        }
    }
    return CoalescedPlot::event(event);
}

} // namespace platform
