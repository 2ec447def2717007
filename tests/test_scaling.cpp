// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The panel scales uniformly with its window: geometry, program-facing positions, graph clicks.
#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <cmath>
#include <map>

#include <qcustomplot.h>

#include "Tintarov10/panel_ids.h"
#include "panel_fixture.h"
#include "platform/graph.h"
#include "platform/internal.h"
#include "platform/ui_private.h"

namespace {

class ScalingTest : public PanelTest {
protected:
    QMainWindow *frame() { return platform::FindPanel(panel)->frame; }
    QWidget *panelWindow() { return platform::FindPanel(panel)->window; }
    // Resizes the window so that the panel's area is `area`; returns the scale that fits it.
    double resizeArea(QSize area) {
        QWidget *host = frame()->centralWidget();
        frame()->resize(frame()->size() + area - host->size());
        QApplication::processEvents();
        return std::min(area.width() / 1000.0, area.height() / 720.0);
    }
    std::map<int, QRect> designGeometry() {
        std::map<int, QRect> g;
        for (auto &[id, c] : platform::FindPanel(panel)->controls)
            g[id] = c.widget->geometry();
        return g;
    }
};

TEST_F(ScalingTest, EveryControlKeepsItsDesignGeometryTimesTheScaleAndTheProgramSeesDesignUnits) {
    InitVars();
    DisplayPanel(panel);
    QApplication::processEvents();
    EXPECT_EQ(panelWindow()->size(), QSize(1000, 720)) << "design size where it fits";
    const auto design = designGeometry();
    const int logoLeft = attr(PANEL_LOGO, ATTR_LEFT), logoTop = attr(PANEL_LOGO, ATTR_TOP);

    // One window narrower than the panel's ratio, one wider: margins on the other side.
    for (QSize area : {QSize(700, 600), QSize(1800, 1080)}) {
        SCOPED_TRACE(testing::Message() << area.width() << "x" << area.height());
        const double s = resizeArea(area);
        QWidget *pw = panelWindow();
        EXPECT_NEAR(pw->width(), 1000 * s, 1.0);
        EXPECT_NEAR(pw->height(), 720 * s, 1.0);
        // Centred in the window.
        EXPECT_NEAR(pw->x() * 2 + pw->width(), area.width(), 1.0);
        EXPECT_NEAR(pw->y() * 2 + pw->height(), area.height(), 1.0);
        for (auto &[id, c] : platform::FindPanel(panel)->controls) {
            const QRect d = design.at(id), g = c.widget->geometry();
            EXPECT_NEAR(g.x(), d.x() * s, 1.0) << "control " << id;
            EXPECT_NEAR(g.y(), d.y() * s, 1.0) << "control " << id;
            auto *label = qobject_cast<QLabel *>(c.widget);
            if (label && label->pixmap().isNull()) {
                EXPECT_GE(g.width() + 1, d.width() * s) << "text label " << id; // never clipped
            } else {
                EXPECT_NEAR(g.width(), d.width() * s, 1.0) << "control " << id;
            }
            EXPECT_NEAR(g.height(), d.height() * s, 1.0) << "control " << id;
        }
        EXPECT_EQ(attr(PANEL_LOGO, ATTR_LEFT), logoLeft) << "positions stay in design units";
        EXPECT_EQ(attr(PANEL_LOGO, ATTR_TOP), logoTop);
        // A position set by the program lands at design x scale.
        SetCtrlAttribute(panel, PANEL_STATUS, ATTR_LEFT, design.at(PANEL_STATUS).x() + 10);
        EXPECT_NEAR(platform::FindCtrl(panel, PANEL_STATUS)->x(),
                    (design.at(PANEL_STATUS).x() + 10) * s, 1.0);
        EXPECT_EQ(attr(PANEL_STATUS, ATTR_LEFT), design.at(PANEL_STATUS).x() + 10);
        SetCtrlAttribute(panel, PANEL_STATUS, ATTR_LEFT, design.at(PANEL_STATUS).x());
    }
    // Back to the design size: every control exactly where the resource puts it.
    resizeArea(QSize(1000, 720));
    for (auto &[id, c] : platform::FindPanel(panel)->controls) {
        if (c.kind != platform::Kind::Label) {
            EXPECT_EQ(c.widget->geometry(), design.at(id)) << "control " << id;
        }
    }
}

TEST_F(ScalingTest, AClickOnTheZoomGraphLandsOnTheGraphCoordinatesUnderTheMouseAtEveryScale) {
    InitVars();
    DisplayPanel(panel);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 0);
    auto *plot = qobject_cast<QCustomPlot *>(platform::FindCtrl(panel, PANEL_GRAPHDATA2));
    ASSERT_NE(plot, nullptr);
    plot->show();
    plot->raise();
    for (QSize area : {QSize(700, 504), QSize(1000, 720), QSize(2000, 1440)}) {
        SCOPED_TRACE(testing::Message() << area.width() << "x" << area.height());
        resizeArea(area);
        plot->replot();
        // The axis ranges the graph shows now, and a point a third of the way in.
        const QCPRange xr = plot->xAxis->range();
        const QCPRange yr = plot->yAxis->range();
        const double gx = xr.lower + xr.size() / 3, gy = yr.lower + yr.size() * 2 / 3;
        const QPoint at(int(std::lround(plot->xAxis->coordToPixel(gx))),
                        int(std::lround(plot->yAxis->coordToPixel(gy))));
        ASSERT_TRUE(plot->axisRect()->rect().contains(at));
        // The cursor as the button goes down (on release the zoom re-centres on it).
        QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, at);
        double cx = 0, cy = 0;
        ASSERT_EQ(GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &cx, &cy), 0);
        QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, at);
        QApplication::processEvents();
        // Within one pixel's worth of graph units at this scale.
        const double perPixelX = xr.size() / plot->axisRect()->width();
        const double perPixelY = yr.size() / plot->axisRect()->height();
        EXPECT_NEAR(cx, gx, perPixelX + 1e-9);
        EXPECT_NEAR(cy, gy, perPixelY + 1e-9);
    }
}

} // namespace
