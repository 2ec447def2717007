// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Graph widgets and graph operations: cursor, plots, axes, strip chart, traces, repaints.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/graph.h"
#include "platform/private/graph_widgets.h"
#include "platform/private/internal.h"
#include "platform/ui.h"

using platform::TintaroGraph;
using platform::TintaroStripChart;

namespace {

enum { kGraph = 2, kStrip = 3, kMissing = 99 };

std::vector<std::pair<int, int>> gEvents; // (control, event) as the callback saw them

int GraphCb(int, int control, int event, void *, int, int) {
    gEvents.emplace_back(control, event);
    return 0;
}

const CallbackEntry kCallbacks[] = {{"GraphCb", GraphCb, nullptr}};

const char *const kPanelUi = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>TestPanel</class>
 <widget class="QWidget" name="TestPanel">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>500</height></rect></property>
  <property name="ctrlId" stdset="0"><number>1</number></property>
  <widget class="TintaroGraph" name="graph">
   <property name="geometry"><rect><x>10</x><y>10</y><width>420</width><height>420</height></rect></property>
   <property name="ctrlId" stdset="0"><number>2</number></property>
   <property name="callback" stdset="0"><string>GraphCb</string></property>
  </widget>
  <widget class="TintaroStripChart" name="strip">
   <property name="geometry"><rect><x>440</x><y>10</y><width>440</width><height>300</height></rect></property>
   <property name="ctrlId" stdset="0"><number>3</number></property>
  </widget>
 </widget>
</ui>
)";

// One small panel with a graph (identifier 2, callback GraphCb) and a strip chart (3).
class GraphPanel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("graphs.uir");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kPanelUi);
        f.close();
        RegisterCallbacks(kCallbacks, 1);
        panel = LoadPanel(0, path.toLocal8Bit().constData(), 1);
        ASSERT_GT(panel, 0);
        graph = qobject_cast<TintaroGraph *>(platform::FindCtrl(panel, kGraph));
        strip = qobject_cast<TintaroStripChart *>(platform::FindCtrl(panel, kStrip));
        ASSERT_NE(graph, nullptr);
        ASSERT_NE(strip, nullptr);
        gEvents.clear();
    }
    void TearDown() override {
        if (panel > 0)
            DiscardPanel(panel);
    }
    // Shows the panel and lays the graph out so that pixel and plot coordinates agree.
    void showGraph() {
        DisplayPanel(panel);
        graph->replot();
    }
    QPoint pixelOf(double x, double y) const {
        return QPoint(qRound(graph->xAxis->coordToPixel(x)), qRound(graph->yAxis->coordToPixel(y)));
    }
    PlotInfo info(int index) {
        PlotInfo pi;
        EXPECT_EQ(GetPlotInfo(panel, kGraph, index, &pi), 0) << "plot " << index;
        return pi;
    }
    std::vector<double> trace(int t) {
        const QVector<double> v = strip->traceValues(t);
        return std::vector<double>(v.begin(), v.end());
    }

    QTemporaryDir dir;
    int panel = 0;
    TintaroGraph *graph = nullptr;
    TintaroStripChart *strip = nullptr;
};

} // namespace

TEST(GraphWidgets, CreatedByClassNameAndAttributesStayOnTheirOwnWidgets) {
    QWidget plain;
    std::unique_ptr<QWidget> g(platform::CreateGraphWidget("TintaroGraph", nullptr, "g"));
    std::unique_ptr<QWidget> s(platform::CreateGraphWidget("TintaroStripChart", nullptr, "s"));
    EXPECT_NE(qobject_cast<TintaroGraph *>(g.get()), nullptr);
    EXPECT_NE(qobject_cast<TintaroStripChart *>(s.get()), nullptr);
    EXPECT_EQ(s->objectName(), "s");
    EXPECT_EQ(platform::CreateGraphWidget("QLabel", nullptr, "x"), nullptr);

    int v = 0;
    EXPECT_EQ(platform::SetGraphCtrlAttribute(&plain, ATTR_POINTS_PER_SCREEN, 101),
              UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(platform::SetGraphCtrlAttribute(g.get(), ATTR_POINTS_PER_SCREEN, 101),
              UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(platform::SetGraphCtrlAttribute(s.get(), ATTR_VISIBLE, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(platform::SetGraphCtrlAttribute(s.get(), ATTR_POINTS_PER_SCREEN, 0),
              UIE_OUT_OF_RANGE);
    EXPECT_EQ(platform::SetGraphCtrlAttribute(s.get(), ATTR_POINTS_PER_SCREEN, 37), 0);
    EXPECT_EQ(platform::GetGraphCtrlAttribute(s.get(), ATTR_POINTS_PER_SCREEN, &v), 0);
    EXPECT_EQ(v, 37);
    EXPECT_EQ(platform::GetGraphCtrlAttribute(&plain, ATTR_POINTS_PER_SCREEN, &v),
              UIE_BAD_ATTRIBUTE);
}

TEST(GraphWidgets, StripChartTracesFollowResourceProperties) {
    std::unique_ptr<QWidget> w(platform::CreateGraphWidget("TintaroStripChart", nullptr, "s"));
    auto *s = qobject_cast<TintaroStripChart *>(w.get());
    EXPECT_EQ(s->traceCount(), 7);
    EXPECT_EQ(s->traceName(5), "C-No");
    // The loader sets dynamic properties after construction, one by one.
    s->setProperty("traces", 3);
    s->setProperty("traceNames", "A,B,C");
    EXPECT_EQ(s->traceCount(), 3);
    EXPECT_EQ(s->traceName(2), "B");
    const double v[] = {1, 2, 3, 4};
    s->append(v, 4);
    EXPECT_EQ(s->traceValues(1), QVector<double>({1, 4}));
}

TEST_F(GraphPanel, CursorIsExactSilentAndChecked) {
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 1, 2000.5, 1000.25), 0);
    double x = 0, y = 0;
    EXPECT_EQ(GetGraphCursor(panel, kGraph, 1, &x, &y), 0);
    EXPECT_EQ(x, 2000.5);
    EXPECT_EQ(y, 1000.25);
    // Fractions that no pixel grid holds come back bit for bit, even far outside the view.
    EXPECT_EQ(SetGraphCursor(panel, kGraph, 1, 0.1 + 0.2, -12345.678), 0);
    EXPECT_EQ(GetGraphCursor(panel, kGraph, 1, &x, &y), 0);
    EXPECT_EQ(x, 0.1 + 0.2);
    EXPECT_EQ(y, -12345.678);
    QCoreApplication::processEvents();
    EXPECT_TRUE(gEvents.empty()) << "a programmatic cursor move raised an event";

    EXPECT_LT(SetGraphCursor(panel, kGraph, 2, 1, 1), 0);
    EXPECT_EQ(SetGraphCursor(panel, kStrip, 1, 1, 1), UIE_BAD_CONTROL);
    EXPECT_EQ(GetGraphCursor(panel, kMissing, 1, &x, &y), UIE_BAD_CONTROL);
    EXPECT_EQ(PlotStripChart(panel, kGraph, &x, 1, 0, 0, VAL_DOUBLE), UIE_BAD_CONTROL);
}

TEST_F(GraphPanel, ArrowKeysStepTheCursorAndReportEachPress) {
    showGraph();
    ASSERT_EQ(SetAxisScalingMode(panel, kGraph, VAL_XAXIS, VAL_MANUAL, 0, 4000), 0);
    ASSERT_EQ(SetAxisScalingMode(panel, kGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 1000, 2000), 0);
    SetGraphCursor(panel, kGraph, 1, 2000, 1500);

    QTest::keyClick(graph, Qt::Key_Right);
    double x = 0, y = 0;
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_DOUBLE_EQ(x, 2040); // 1/100 of the visible x range
    EXPECT_EQ(y, 1500);
    const std::vector<std::pair<int, int>> one = {{kGraph, EVENT_VAL_CHANGED},
                                                  {kGraph, EVENT_COMMIT}};
    EXPECT_EQ(gEvents, one);

    gEvents.clear();
    QTest::keyClick(graph, Qt::Key_Down, Qt::ShiftModifier);
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_DOUBLE_EQ(y, 1400); // Shift: 1/10 of the visible y range
    EXPECT_EQ(gEvents, one);

    // At the edge of the view the cursor stops instead of leaving it.
    SetGraphCursor(panel, kGraph, 1, 3990, 1500);
    QTest::keyClick(graph, Qt::Key_Right);
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_EQ(x, 4000);
}

TEST_F(GraphPanel, MouseDragMovesTheCursorAndCommitsOnRelease) {
    showGraph();
    const double tol = 4095.0 / graph->axisRect()->width(); // one pixel in plot units

    QTest::mousePress(graph, Qt::LeftButton, Qt::NoModifier, pixelOf(1000, 3000));
    double x = 0, y = 0;
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_NEAR(x, 1000, tol);
    EXPECT_NEAR(y, 3000, tol);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents.back().second, EVENT_VAL_CHANGED);

    const QPoint to = pixelOf(2500, 500);
    QMouseEvent move(QEvent::MouseMove, to, graph->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(graph, &move);
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_NEAR(x, 2500, tol);
    EXPECT_NEAR(y, 500, tol);
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents.back().second, EVENT_VAL_CHANGED);

    QTest::mouseRelease(graph, Qt::LeftButton, Qt::NoModifier, to);
    ASSERT_EQ(gEvents.size(), 3u);
    EXPECT_EQ(gEvents.back().second, EVENT_COMMIT);

    // The right button and clicks on the axis margin leave the cursor where it is.
    gEvents.clear();
    SetGraphCursor(panel, kGraph, 1, 7, 7);
    QTest::mouseClick(graph, Qt::RightButton, Qt::NoModifier, pixelOf(2000, 2000));
    QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    GetGraphCursor(panel, kGraph, 1, &x, &y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 7);
    for (const auto &e : gEvents)
        EXPECT_NE(e.second, EVENT_VAL_CHANGED);
}

TEST_F(GraphPanel, PlotsAreCountedInOrderAndDeleted) {
    std::vector<std::uint16_t> xramp(4096), yramp(4096);
    for (int i = 0; i < 4096; ++i) {
        xramp[i] = static_cast<std::uint16_t>(i);
        yramp[i] = static_cast<std::uint16_t>(4095 - i);
    }
    const int line =
        PlotXY(panel, kGraph, xramp.data(), yramp.data(), 4096, VAL_UNSIGNED_SHORT_INTEGER,
               VAL_UNSIGNED_SHORT_INTEGER, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, 0xA0A0A0);
    const int a1 = PlotArc(panel, kGraph, 0, 0, 10, 10, 0, 3600, 0x0000FF, VAL_TRANSPARENT);
    const int a2 = PlotArc(panel, kGraph, 1, 1, 11, 11, 0, 3600, 0xFF0000, VAL_TRANSPARENT);
    const int a3 = PlotArc(panel, kGraph, 2, 2, 12, 12, 0, 3600, 0x000000, VAL_TRANSPARENT);
    for (int h : {line, a1, a2, a3})
        EXPECT_GT(h, 0);
    EXPECT_TRUE(line != a1 && a1 != a2 && a2 != a3 && line != a3);
    ASSERT_EQ(GetPlotCount(panel, kGraph), 4);

    const PlotInfo l = info(0);
    EXPECT_EQ(l.kind, PlotInfo::Line);
    EXPECT_EQ(l.color, 0xA0A0A0);
    EXPECT_EQ(l.points, 4096);
    EXPECT_EQ(l.x1, 0);
    EXPECT_EQ(l.y1, 4095);
    EXPECT_EQ(l.x2, 4095);
    EXPECT_EQ(l.y2, 0);

    // Deleting one keeps the others in their order; an unknown handle changes nothing.
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, a2, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_LT(DeleteGraphPlot(panel, kGraph, a2, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_LT(DeleteGraphPlot(panel, kGraph, 12345, VAL_IMMEDIATE_DRAW), 0);
    ASSERT_EQ(GetPlotCount(panel, kGraph), 3);
    EXPECT_EQ(info(1).color, 0x0000FF);
    EXPECT_EQ(info(2).color, 0x000000);
    PlotInfo pi;
    EXPECT_LT(GetPlotInfo(panel, kGraph, 3, &pi), 0);

    // -1 removes every plot but not the cursor; handles are not reused afterwards.
    SetGraphCursor(panel, kGraph, 1, 123.5, 456.5);
    EXPECT_EQ(DeleteGraphPlot(panel, kGraph, -1, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_EQ(GetPlotCount(panel, kGraph), 0);
    double x = 0, y = 0;
    EXPECT_EQ(GetGraphCursor(panel, kGraph, 1, &x, &y), 0);
    EXPECT_EQ(x, 123.5);
    EXPECT_EQ(y, 456.5);
    const int again = PlotArc(panel, kGraph, 0, 0, 1, 1, 0, 3600, 0, VAL_TRANSPARENT);
    for (int h : {line, a1, a2, a3})
        EXPECT_NE(again, h);
}

TEST_F(GraphPanel, PlotDataIsReadByItsTypeAndRefusedWhenBad) {
    // Unsigned 16-bit words above 32767 must not turn negative; types may differ per axis.
    const std::uint16_t xs[] = {65535, 40000, 1};
    const double ys[] = {-0.5, 2.25, 1e6};
    ASSERT_GT(PlotXY(panel, kGraph, xs, ys, 3, VAL_UNSIGNED_SHORT_INTEGER, VAL_DOUBLE,
                     VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, 0x123456),
              0);
    const PlotInfo l = info(0);
    EXPECT_EQ(l.points, 3);
    EXPECT_EQ(l.x1, 65535);
    EXPECT_EQ(l.y1, -0.5);
    EXPECT_EQ(l.x2, 1);
    EXPECT_EQ(l.y2, 1e6);

    // Arc rectangles come back exactly as given, offsets and negative corners included.
    ASSERT_GT(
        PlotArc(panel, kGraph, -50, 0.025, 250.005, 300.05, 0, 3600, 0xFF80C0, VAL_TRANSPARENT), 0);
    const PlotInfo a = info(1);
    EXPECT_EQ(a.kind, PlotInfo::Arc);
    EXPECT_EQ(a.color, 0xFF80C0);
    EXPECT_EQ(a.x1, -50);
    EXPECT_EQ(a.y1, 0.025);
    EXPECT_EQ(a.x2, 250.005);
    EXPECT_EQ(a.y2, 300.05);

    const int bad[] = {
        PlotXY(panel, kGraph, xs, ys, 0, VAL_UNSIGNED_SHORT_INTEGER, VAL_DOUBLE, 5, 12, 0, 1, 0),
        PlotXY(panel, kGraph, xs, ys, 3, 99, VAL_DOUBLE, 5, 12, 0, 1, 0),
        PlotXY(panel, kStrip, xs, ys, 3, VAL_DOUBLE, VAL_DOUBLE, 5, 12, 0, 1, 0),
        PlotArc(panel, kMissing, 0, 0, 1, 1, 0, 3600, 0, VAL_TRANSPARENT),
    };
    for (int r : bad)
        EXPECT_LT(r, 0);
    EXPECT_EQ(GetPlotCount(panel, kGraph), 2);
}

TEST_F(GraphPanel, AxisScalingIsExactAndAutoscaleFitsThePlots) {
    int mode = -1;
    double lo = 0, hi = 0;
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_XAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 4095);

    EXPECT_EQ(SetAxisScalingMode(panel, kGraph, VAL_XAXIS, VAL_MANUAL, 1800.5, 2200.5), 0);
    EXPECT_EQ(SetAxisScalingMode(panel, kGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 800.25, 1200.25), 0);
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_XAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(lo, 1800.5);
    EXPECT_EQ(hi, 2200.5);
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(lo, 800.25);
    EXPECT_EQ(hi, 1200.25);

    // An empty or reversed range and unknown axes or modes are refused and change nothing.
    EXPECT_LT(SetAxisScalingMode(panel, kGraph, VAL_XAXIS, VAL_MANUAL, 9, 1), 0);
    EXPECT_LT(SetAxisScalingMode(panel, kGraph, 7, VAL_MANUAL, 0, 1), 0);
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_XAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(lo, 1800.5);

    const double xs[] = {0, 4095}, ys[] = {4095, 0};
    PlotXY(panel, kGraph, xs, ys, 2, VAL_DOUBLE, VAL_DOUBLE, 5, 12, 0, 1, 0xA0A0A0);
    PlotArc(panel, kGraph, -50, 100, 250, 5000, 0, 3600, 0, VAL_TRANSPARENT);
    EXPECT_EQ(SetAxisScalingMode(panel, kGraph, VAL_XAXIS, VAL_AUTOSCALE, 0, 0), 0);
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_XAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(mode, VAL_AUTOSCALE);
    EXPECT_LE(lo, -50);
    EXPECT_GE(hi, 4095);
    // The y axis stayed manual.
    EXPECT_EQ(GetAxisScalingMode(panel, kGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi), 0);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(hi, 1200.25);
}

TEST_F(GraphPanel, StripChartKeepsOneScreenOldestAtTheLeft) {
    ASSERT_EQ(SetCtrlAttribute(panel, kStrip, ATTR_POINTS_PER_SCREEN, 101), 0);
    // 100 records of 7 values: record r, trace t holds 10 * r + t.
    std::vector<double> all(700);
    for (int r = 0; r < 100; ++r)
        for (int t = 0; t < 7; ++t)
            all[7 * r + t] = 10 * r + t + 1;
    ASSERT_EQ(PlotStripChart(panel, kStrip, all.data(), 700, 0, 0, VAL_DOUBLE), 0);
    for (int t = 1; t <= 7; ++t) {
        const std::vector<double> v = trace(t);
        ASSERT_EQ(v.size(), 100u) << "trace " << t;
        EXPECT_EQ(v.front(), t);
        EXPECT_EQ(v.back(), 990 + t);
    }

    // Two more records: one screen holds 101, so the oldest record drops out at the left.
    const double more[] = {1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14, 15, 16, 17};
    ASSERT_EQ(PlotStripChart(panel, kStrip, more, 14, 0, 0, VAL_DOUBLE), 0);
    std::vector<double> v = trace(3);
    ASSERT_EQ(v.size(), 101u);
    EXPECT_EQ(v[0], 13); // record 1 of the first batch
    EXPECT_EQ(v[99], 3); // the two new ones at the right, in order
    EXPECT_EQ(v[100], 13);

    // Setting the span again empties the chart, as before every full replot.
    ASSERT_EQ(SetCtrlAttribute(panel, kStrip, ATTR_POINTS_PER_SCREEN, 101), 0);
    for (int t = 1; t <= 7; ++t)
        EXPECT_TRUE(trace(t).empty());
    int span = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, kStrip, ATTR_POINTS_PER_SCREEN, &span), 0);
    EXPECT_EQ(span, 101);

    // Unsigned words, a start index and a skip count: every second word from index 1.
    const std::uint16_t words[] = {0, 65535, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8};
    ASSERT_EQ(PlotStripChart(panel, kStrip, words, 8, 1, 1, VAL_UNSIGNED_SHORT_INTEGER), 0);
    EXPECT_EQ(trace(1), std::vector<double>({65535, 8}));
    EXPECT_EQ(trace(7), std::vector<double>({7}));

    EXPECT_LT(PlotStripChart(panel, kStrip, words, 8, 0, 0, 99), 0);
    EXPECT_LT(SetCtrlAttribute(panel, kStrip, ATTR_POINTS_PER_SCREEN, 0), 0);
}

TEST_F(GraphPanel, TraceVisibilityHidesTraceAndLegendEntry) {
    int v = -1;
    EXPECT_EQ(GetTraceAttribute(panel, kStrip, 6, ATTR_TRACE_VISIBLE, &v), 0);
    EXPECT_EQ(v, 1);
    const int entries = strip->legend->itemCount();
    EXPECT_EQ(entries, 7);

    EXPECT_EQ(SetTraceAttribute(panel, kStrip, 6, ATTR_TRACE_VISIBLE, 0), 0);
    EXPECT_EQ(SetTraceAttribute(panel, kStrip, 7, ATTR_TRACE_VISIBLE, 0), 0);
    EXPECT_EQ(GetTraceAttribute(panel, kStrip, 6, ATTR_TRACE_VISIBLE, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(strip->legend->itemCount(), 5);
    EXPECT_FALSE(strip->graph(5)->visible());
    EXPECT_TRUE(strip->graph(4)->visible());

    EXPECT_EQ(SetTraceAttribute(panel, kStrip, 6, ATTR_TRACE_VISIBLE, 1), 0);
    EXPECT_EQ(strip->legend->itemCount(), 6);
    EXPECT_TRUE(strip->graph(5)->visible());

    EXPECT_LT(SetTraceAttribute(panel, kStrip, 0, ATTR_TRACE_VISIBLE, 1), 0);
    EXPECT_LT(SetTraceAttribute(panel, kStrip, 8, ATTR_TRACE_VISIBLE, 1), 0);
    EXPECT_EQ(SetTraceAttribute(panel, kStrip, 1, ATTR_VISIBLE, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetTraceAttribute(panel, kGraph, 1, ATTR_TRACE_VISIBLE, 1), UIE_BAD_CONTROL);
}

// While polling, the cursor moves once a record; it is drawn with the displays of the same
// record, when the frame draws, and a faster stream of moves still replots once a frame.
TEST_F(GraphPanel, ACursorMoveAFrameAfterTheLastIsDrawnWithThePanel) {
    showGraph();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graph->window()));
    QTest::qWait(50); // a frame time and more since the last replot
    const int before = graph->replotCount();
    ASSERT_EQ(SetGraphCursor(panel, kGraph, 1, 100, 200), 0);
    EXPECT_EQ(graph->replotCount(), before);
    ProcessSystemEventsDrawLater();
    EXPECT_EQ(graph->replotCount(), before) << "replotted before the panel was drawn";
    QElapsedTimer sinceReplot;
    sinceReplot.start();
    DrawPanels();
    EXPECT_EQ(graph->replotCount(), before + 1);

    // A move right after waits for the frame time to pass. A machine that held this thread
    // for a frame time meanwhile makes it no longer "right after": then it is drawn at once.
    ASSERT_EQ(SetGraphCursor(panel, kGraph, 1, 300, 400), 0);
    DrawPanels();
    if (sinceReplot.elapsed() < 16) {
        EXPECT_EQ(graph->replotCount(), before + 1);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->replotCount() == before + 2; }, 5000));
}

// A change reaches the screen a frame after it is made, and a busy machine may hold that frame
// back: wait until the plot has drawn what it holds and its paint has been delivered.
static void SettleOnScreen(platform::CoalescedPlot *plot) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !plot->drawPending(); }, 5000));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// The moving cursor repaints only the strips it left and entered; what the screen then shows is
// what a full repaint draws: no trace of an old crosshair, no strip left blank.
TEST_F(GraphPanel, StripsRepaintedAfterCursorMovesMatchAFullRepaint) {
    showGraph();
    QWidget *frame = graph->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    const double xs[] = {0, 4000}, ys[] = {4000, 0};
    PlotXY(panel, kGraph, xs, ys, 2, VAL_DOUBLE, VAL_DOUBLE, 5, 12, 0, 1, 0);
    QTest::qWait(50);
    for (int i = 0; i < 12; ++i) {
        QTest::qWait(20); // a frame time: each move is drawn on its own
        ASSERT_EQ(SetGraphCursor(panel, kGraph, 1, 400 + 250 * i, 3000 - 180 * i), 0);
        DrawPanels();
    }
    SettleOnScreen(graph);
    const QPoint at = graph->mapTo(frame, QPoint(0, 0));
    const QImage shown =
        frame->screen()
            ->grabWindow(frame->winId(), at.x(), at.y(), graph->width(), graph->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage full = graph->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shown.isNull());
    ASSERT_EQ(shown.size(), full.size());
    EXPECT_TRUE(shown == full) << "the screen differs from a full repaint of the graph";
}

// Each record the program empties the strip chart and plots the whole history again. Only the
// traces are drawn anew; after records, a trace hidden, a scale widened and a history replaced
// wholesale, the screen shows what a full replot draws, and the traces the last 100 records.
TEST_F(GraphPanel, StripChartRedrawnPerRecordMatchesAFullReplot) {
    DisplayPanel(panel);
    QWidget *frame = strip->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    std::vector<double> history(700);
    long next = 0; // records so far; record r, trace t holds a value that moves with r and t
    // The first `moving` traces move with the record; the others stay at `offset`.
    const auto record = [&](double scale, double offset = 0, int moving = 7) {
        std::copy(history.begin() + 7, history.end(), history.begin());
        for (int t = 0; t < 7; ++t)
            history[693 + t] =
                offset + (t < moving ? scale * ((next * 37 + t * 500) % 4096) / 4096.0 : 0);
        ++next;
        ASSERT_EQ(SetCtrlAttribute(panel, kStrip, ATTR_POINTS_PER_SCREEN, 101), 0);
        ASSERT_EQ(PlotStripChart(panel, kStrip, history.data(), 700, 0, 0, VAL_DOUBLE), 0);
        QTest::qWait(20); // a frame time: each record is drawn on its own
        DrawPanels();
    };
    const auto matchesFullReplot = [&](const char *after) {
        SettleOnScreen(strip);
        for (int t = 1; t <= 7; ++t) {
            const QCPGraphDataContainer &drawn = *strip->graph(t - 1)->data();
            ASSERT_EQ(drawn.size(), 100) << after << ", trace " << t;
            for (int k = 0; k < 100; ++k) {
                ASSERT_EQ((drawn.constBegin() + k)->key, k);
                ASSERT_EQ((drawn.constBegin() + k)->value, history[size_t(7 * k + t - 1)])
                    << after << ", trace " << t << ", point " << k;
            }
        }
        const QPoint at = strip->mapTo(frame, QPoint(0, 0));
        const QImage shown =
            frame->screen()
                ->grabWindow(frame->winId(), at.x(), at.y(), strip->width(), strip->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        strip->replot(QCustomPlot::rpImmediateRefresh);
        const QImage full = strip->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), full.size());
        EXPECT_TRUE(shown == full) << "after " << after << " the screen differs from a full replot";
    };

    for (int i = 0; i < 101; ++i)
        record(4095);
    QTest::qWait(20);
    DrawPanels();
    const int full = strip->fullReplotCount();
    for (int i = 0; i < 8; ++i)
        record(4095);
    EXPECT_EQ(strip->fullReplotCount(), full) << "a record replotted axes, grid and legend";
    matchesFullReplot("records");

    ASSERT_EQ(SetTraceAttribute(panel, kStrip, 2, ATTR_TRACE_VISIBLE, 0), 0);
    for (int i = 0; i < 4; ++i)
        record(4095);
    matchesFullReplot("a trace hidden");

    for (int i = 0; i < 4; ++i)
        record(6000); // beyond the left scale: it widens
    matchesFullReplot("a wider scale");

    strip->resize(strip->width() - 60, strip->height() - 40);
    for (int i = 0; i < 4; ++i)
        record(4095);
    matchesFullReplot("a resize");

    for (double &v : history)
        v = 100;
    record(1000);
    matchesFullReplot("a history replaced");

    // Flat traces redraw only the strips they lie in; moved elsewhere, they leave none behind.
    for (int i = 0; i < 101; ++i)
        record(0, 500);
    for (double &v : history)
        v = 3000;
    record(0, 3000);
    matchesFullReplot("flat traces moved");
    for (int i = 0; i < 4; ++i)
        record(1000, 3000, 1);
    matchesFullReplot("one trace moving across flat ones");
}

TEST_F(GraphPanel, CallsChangeDataAtOnceButRepaintLater) {
    showGraph();
    const int before = graph->replotCount();
    const double xs[] = {0, 1}, ys[] = {1, 0};
    for (int i = 0; i < 500; ++i) {
        SetGraphCursor(panel, kGraph, 1, i, i);
        PlotXY(panel, kGraph, xs, ys, 2, VAL_DOUBLE, VAL_DOUBLE, 5, 12, 0, 1, 0);
    }
    EXPECT_EQ(graph->replotCount(), before) << "a call repainted synchronously";
    EXPECT_EQ(GetPlotCount(panel, kGraph), 500);
    // ... and the screen does catch up.
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->replotCount() > before; }, 5000));
}
