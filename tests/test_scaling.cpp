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
#include "platform/private/internal.h"
#include "platform/private/ui_private.h"

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

TEST_F(ScalingTest, TheLogoIsDrawnFromItsLargeBitmapWhenEnlargedAndKeepsItsPlace) {
    InitVars();
    DisplayPanel(panel);
    auto *logo = qobject_cast<QLabel *>(platform::FindCtrl(panel, PANEL_LOGO));
    ASSERT_NE(logo, nullptr);
    const QRect design = logo->geometry();
    EXPECT_EQ(logo->pixmap().devicePixelRatio(), 1.0);
    resizeArea(QSize(2000, 1440));
    EXPECT_EQ(logo->pixmap().devicePixelRatio(), 2.0) << "the @2x bitmap beside the program";
    EXPECT_EQ(logo->pixmap().deviceIndependentSize().toSize(), design.size());
    EXPECT_EQ(logo->geometry(), QRect(design.topLeft() * 2, design.size() * 2));
    resizeArea(QSize(1000, 720));
    EXPECT_EQ(logo->pixmap().devicePixelRatio(), 1.0);
    EXPECT_EQ(logo->geometry(), design);
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

// ---- The real window under Xvfb -------------------------------------------------------------

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "support/sim_process.h"
#include "support/traffic_log.h"
#include "support/xserver.h"

namespace {

using testsupport::SimProcess;
using testsupport::XServer;

// The program in a real window on a private X server of the given screen size.
struct RealWindow {
    explicit RealWindow(const QString &screen, const QStringList &extraEnv = {}) : x(screen) {
        if (!x.ok() || !sim.started)
            return;
        QProcessEnvironment env = x.environment();
        env.insert("TINTARO_COM1", sim.link);
        for (const QString &kv : extraEnv)
            env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro"), QStringList{});
        if (app.waitForStarted(5000))
            id = x.xdotool({"search", "--sync", "--onlyvisible", "--name", "Tintaro V1.0"})
                     .section('\n', 0, 0);
        // Start-up's identification and parameter read: the block is sent, and a moment to
        // show it.
        testsupport::WaitUntil(
            [this] {
                const std::vector<Frame> log = ReadLog(sim.log);
                return log.size() >= 4 && log[2].rx && log[2].order == 3 && !log[3].rx;
            },
            20000);
        QThread::msleep(300);
    }
    ~RealWindow() {
        app.terminate();
        if (!app.waitForFinished(5000))
            app.kill();
    }
    // Position and size as the X server has them.
    QRect geometry() const {
        const QString out = x.xdotool({"getwindowgeometry", id});
        const QRegularExpression re(R"(Position: (-?\d+),(-?\d+).*Geometry: (\d+)x(\d+))",
                                    QRegularExpression::DotMatchesEverythingOption);
        const auto m = re.match(out);
        if (!m.hasMatch())
            return {};
        return QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                     m.captured(4).toInt());
    }
    QImage shot(const QString &file) const {
        QProcess p;
        p.setProcessEnvironment(x.environment());
        p.start(QStringLiteral("import"), {"-window", id, file});
        p.waitForFinished(15000);
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    XServer x;
    SimProcess sim{{"--fast"}};
    QProcess app;
    QString id;
};

TEST(RealWindowScaling, TheWholeWindowIsOnScreenOnALaptopAndAtScaleFactorTwo) {
    struct Case {
        const char *screen;
        QStringList env;
        int width, height; // the screen in the window's own (device) pixels
    };
    for (const Case &c : {Case{"1366x768x24", {}, 1366, 768},
                          Case{"1600x1200x24", {"QT_SCALE_FACTOR=2"}, 1600, 1200}}) {
        SCOPED_TRACE(c.screen);
        RealWindow w(QString::fromLatin1(c.screen), c.env);
        ASSERT_TRUE(w.x.ok()) << "Xvfb is installed by scripts/install-deps";
        ASSERT_FALSE(w.id.isEmpty()) << "the panel window appeared";
        const QRect g = w.geometry();
        ASSERT_FALSE(g.isEmpty());
        EXPECT_TRUE(QRect(0, 0, c.width, c.height).contains(g))
            << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        // Not a postage stamp either: most of the screen's height is used.
        EXPECT_GT(g.height(), c.height * 2 / 3);
    }
}

TEST(RealWindowScaling, AWindowResizedTo70PercentShowsThePanelScaledDown) {
    RealWindow w(QStringLiteral("1280x1024x24"));
    ASSERT_TRUE(w.x.ok());
    ASSERT_FALSE(w.id.isEmpty());
    QTemporaryDir dir;
    const QRect full = w.geometry();
    ASSERT_EQ(full.width(), 1000) << "design size where it fits";
    const int bars = full.height() - 720; // menu bar and status bar keep their height
    // The picture at design size once the program has drawn it all: two alike in a row.
    QImage big = w.shot(dir.filePath("full.png"));
    ASSERT_FALSE(big.isNull()) << "ImageMagick's import is installed by scripts/install-deps";
    QElapsedTimer clock;
    clock.start();
    for (QImage again;
         clock.elapsed() < 20000 && (again = w.shot(dir.filePath("full.png"))) != big;)
        big = again;

    // The panel begins under the menu bar, with the logo band's blue.
    const auto panelTop = [](const QImage &image) {
        for (int y = 0; y < image.height(); ++y) {
            const QRgb p = image.pixel(20, y);
            if (qBlue(p) > 200 && qRed(p) < 60)
                return y;
        }
        return -1;
    };
    const int bigTop = panelTop(big);
    ASSERT_GE(bigTop, 0);
    // The panel areas compared: the full one scaled down with smoothing against the real one.
    const QImage expected = big.copy(0, bigTop, 1000, 720)
                                .scaled(700, 504, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int far = 0;
    const auto meanDifference = [&far](const QImage &e, const QImage &a) {
        double sum = 0;
        far = 0;
        for (int y = 0; y < 504; ++y) {
            for (int x = 0; x < 700; ++x) {
                const QRgb p = e.pixel(x, y), q = a.pixel(x, y);
                const int d = (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                               std::abs(qBlue(p) - qBlue(q))) /
                              3;
                sum += d;
                far += d > 96;
            }
        }
        return sum / (700.0 * 504.0);
    };

    w.x.xdotool({"windowsize", "--sync", w.id, "700", QString::number(504 + bars)});
    // Pictures are taken until one shows the panel drawn at the new size (or 20 s pass): how
    // soon the program redraws after the resize is no property of the scaling.
    QImage small, actual;
    int smallTop = -1;
    double mean = 1e9;
    const auto scaledDown = [&] {
        small = w.shot(dir.filePath("small.png"));
        smallTop = panelTop(small);
        if (smallTop < 0 || small.width() < 700 || small.height() < smallTop + 504)
            return false;
        actual = small.copy(0, smallTop, 700, 504);
        mean = meanDifference(expected, actual);
        return mean < 10.0 && far < 700 * 504 / 20;
    };
    clock.restart();
    while (!scaledDown() && clock.elapsed() < 20000)
        QThread::msleep(50);
    ASSERT_GE(smallTop, 0);
    ASSERT_GE(small.width(), 700);
    ASSERT_GE(small.height(), smallTop + 504);
    // A panel left at design size in the corner would match its own unscaled corner instead.
    const int farScaled = far;
    const double unscaled = meanDifference(big.copy(0, bigTop, 700, 504), actual);
    far = farScaled;
    // Text is rendered afresh at the smaller size, so edges differ; the picture does not.
    EXPECT_LT(mean, 10.0);
    EXPECT_LT(far, 700 * 504 / 20) << "pixels far off";
    EXPECT_GT(unscaled, 2 * mean);
}

} // namespace
