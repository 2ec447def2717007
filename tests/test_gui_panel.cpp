// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel model on the real panel: value transfer, live display, layout, teach table and graphs.
#include <gtest/gtest.h>

#include "panel_fixture.h"

#include "gui/gui.h"
#include "platform/graph.h"

namespace {

class GuiPanel : public PanelTest {
protected:
    void setCell(int col, int row, int v) {
        ASSERT_EQ(SetTableCellVal(panel, PANEL_TABLE, MakePoint(col, row), v), 0);
    }
    void set(int ctrl, int v) { ASSERT_EQ(SetCtrlVal(panel, ctrl, std::int32_t(v)), 0) << ctrl; }
    int trace(int t) {
        int v = -1;
        GetTraceAttribute(panel, PANEL_GRAPHRAW1, t, ATTR_TRACE_VISIBLE, &v);
        return v;
    }
    int rowColour(int row) {
        int v = -1;
        GetTableRowAttribute(panel, PANEL_TABLE, row, ATTR_LABEL_COLOR, &v);
        return v;
    }
    std::string label(int col) {
        char buf[16] = {};
        GetTableColumnAttribute(panel, PANEL_TABLE, col, ATTR_LABEL_TEXT, buf, sizeof buf);
        return buf;
    }
    // x min, x max, y min, y max of the zoom graph.
    std::array<double, 4> zoomAxes() {
        std::array<double, 4> a{};
        int mode = -1;
        GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, &mode, &a[0], &a[1]);
        GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_LEFT_YAXIS, &mode, &a[2], &a[3]);
        return a;
    }
};

const int kParams[] = {PANEL_POWER,  PANEL_PMOD,     PANEL_AVERAGE, PANEL_EVALMODE, PANEL_HOLD,
                       PANEL_INTLIM, PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_TRIGGER};

} // namespace

TEST_F(GuiPanel, ValuesTransferInOrderAndFullWidth) {
    const int vals[] = {777, 1, 33, 4, 55, 66, 7, 2, 1};
    for (int i = 0; i < 9; ++i)
        set(kParams[i], vals[i]);
    for (int r = 1; r <= 15; ++r)
        for (int c = 1; c <= 5; ++c)
            setCell(c, r, 100 * r + c);
    const auto ppBefore = pp;
    GetPanelValues();
    const u16 *vars[] = {&power,  &pmod,     &average, &evalmode, &hold,
                         &intlim, &maxcolno, &outmode, &trigger};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(*vars[i], vals[i]) << i;
    EXPECT_EQ(ctt[7], 203); // cell (3, 2)
    EXPECT_EQ(ctt[74], 1505);
    EXPECT_TRUE(anzpara == 90 && anzdata == 7 && pp == ppBefore);

    for (int fill : {65535, 0}) {
        ctt.fill(u16(fill));
        SetPanelValues();
        ctt.fill(u16(fill ^ 0xFFFF));
        GetPanelValues();
        for (int i = 0; i < 75; ++i)
            ASSERT_EQ(ctt[i], fill) << i;
    }
    EXPECT_EQ(u16Val(PANEL_POWER), 777);
}

TEST_F(GuiPanel, LiveRecordLimitsAndHistory) {
    alldata.fill(0);
    dataR = 11, dataG = 22, dataB = 33, dataX = 1000, dataY = 2000, dataINT = 22, dataCOL = 255;
    set(PANEL_RAW, 4321);
    setCell(1, 1, 2150);
    setCell(2, 1, 1850);
    set(PANEL_NO, 2);
    // source, INT and ITO of table row 3, expected limits, expected raw display.
    const int cases[][6] = {{0, 0, 0, 2150, 1850, 4321},       {1, 0, 0, 2150, 1850, 4321},
                            {2, 0, 0, 2150, 1850, 11},         {5, 1000, 150, 1150, 850, 11},
                            {5, 4000, 150, 4095, 3850, 11},    {5, 100, 150, 250, 0, 11},
                            {5, 60000, 10000, 4095, 4095, 11}, {5, 1, 1, 2, 0, 11}};
    for (const auto &k : cases) {
        source = u16(k[0]);
        setCell(4, 3, k[1]);
        setCell(5, 3, k[2]);
        SetPanelData();
        EXPECT_EQ(alldata[698], k[3]) << k[0] << " " << k[1];
        EXPECT_EQ(alldata[699], k[4]) << k[0] << " " << k[1];
        EXPECT_EQ(u16Val(PANEL_RAW), k[5]) << k[0];
    }
    EXPECT_EQ(u16Val(PANEL_X), 1000);
    EXPECT_EQ(u16Val(PANEL_COL), 255);
    EXPECT_EQ(alldata[697], 255.0);

    source = 1; // the 101st record pushes the first one out
    for (int k = 1; k <= 101; ++k) {
        dataR = u16(k);
        SetPanelData();
    }
    EXPECT_EQ(alldata[0], 2.0);
    EXPECT_EQ(alldata[693], 101.0);
}

TEST_F(GuiPanel, InitEvalForEveryMode) {
    for (int mode : {0, 1, 2, 3, 4, 5}) {
        SCOPED_TRACE(mode);
        const int start[][2] = {{PANEL_EVALMODE, mode}, {PANEL_SOURCE, 1},   {PANEL_TRIGGER, 1},
                                {PANEL_INTLIM, 40},     {PANEL_MAXCOLNO, 7}, {PANEL_OUTMODE, 2}};
        for (const auto &s : start)
            set(s[0], s[1]);
        outmode = 2;
        pmod = u16(mode % 2);
        popups.shown.clear();
        InitEval();
        const bool contrast = mode >= 2 && mode <= 4;
        EXPECT_EQ(u16Val(PANEL_SOURCE), contrast ? mode : (mode == 5 ? 0 : 1));
        EXPECT_EQ(source, u16Val(PANEL_SOURCE));
        EXPECT_EQ(u16Val(PANEL_TRIGGER), mode >= 2 ? 0 : 1);
        EXPECT_EQ(attr(PANEL_TRIGGER, ATTR_DIMMED), mode >= 2 ? 1 : 0);
        for (int c : {PANEL_INTLIM, PANEL_MAXCOLNO, PANEL_OUTMODE})
            EXPECT_EQ(attr(c, ATTR_DIMMED), contrast ? 1 : 0) << c;
        EXPECT_EQ(u16Val(PANEL_INTLIM), contrast ? 0 : 40);
        EXPECT_EQ(u16Val(PANEL_OUTMODE), contrast ? 1 : 2);
        EXPECT_EQ(maxcolno, contrast ? 1 : 7);
        EXPECT_EQ(popups.count("INFO"), contrast ? 0 : 1);
        EXPECT_EQ(attr(PANEL_POWER, ATTR_DIMMED), mode % 2);
        EXPECT_EQ(label(1) + label(2) + label(3) + label(5), contrast ? "ULLL" : "XYCTOITO");
        EXPECT_EQ(rowColour(1), 0x008000);
        EXPECT_EQ(rowColour(2), contrast ? 0xFF0000 : 0x008000);
        EXPECT_EQ(rowColour(8), 0xFF0000);
    }
    set(PANEL_EVALMODE, 0);
    outmode = 1; // BINARY never warns
    popups.shown.clear();
    for (int n : {15, 0}) {
        set(PANEL_MAXCOLNO, n);
        InitEval();
        EXPECT_EQ(rowColour(15), n ? 0x008000 : 0xFF0000);
        EXPECT_EQ(rowColour(1), n ? 0x008000 : 0xFF0000);
    }
    EXPECT_TRUE(popups.shown.empty());
}

TEST_F(GuiPanel, DispVisForEverySourceAndAreaSwitch) {
    set(PANEL_EVALMODE, 3);
    // Visible traces per source (bit t-1 for trace t) with the contrast mode on green.
    const int traces[] = {-1, 0x07, 0x01, 0x62, 0x04, 0x68, 0x10};
    for (int s : {5, 0, 1, 2, 3, 4, 5, 6}) {
        SCOPED_TRACE(s);
        set(PANEL_SOURCE, s);
        DispVis();
        EXPECT_EQ(source, s);
        const bool raw = s >= 2 && s <= 4;
        EXPECT_EQ(attr(PANEL_GRAPHDATA1, ATTR_VISIBLE), s == 0);
        EXPECT_EQ(attr(PANEL_GRAPHRAW1, ATTR_VISIBLE), s != 0);
        EXPECT_EQ(attr(PANEL_RAW, ATTR_VISIBLE) + attr(PANEL_RAW_DECO, ATTR_VISIBLE), 2 * raw);
        EXPECT_EQ(attr(PANEL_X, ATTR_VISIBLE) + attr(PANEL_COL_DECO, ATTR_VISIBLE), 2 * !raw);
        const int mask = s == 0 ? 0x68 : traces[s]; // source 0 keeps those of source 5
        for (int t = 1; t <= 7; ++t)
            EXPECT_EQ(trace(t), (mask >> (t - 1)) & 1) << "trace " << t;
        if (raw) {
            const int bg[] = {0xFF0000, 0x00FF00, 0x0000FF}, fg[] = {0xFFFFFF, 0, 0xFFFFFF};
            EXPECT_EQ(attr(PANEL_RAW, ATTR_TEXT_BGCOLOR), bg[s - 2]);
            EXPECT_EQ(attr(PANEL_RAW, ATTR_TEXT_COLOR), fg[s - 2]);
        }
    }

    const int teach[] = {PANEL_TABLE, PANEL_RESETTABLE, PANEL_TEACHDATATO, PANEL_APPLYFROMALL,
                         PANEL_ZOOM,  PANEL_AUTOADJUST, PANEL_NO,          PANEL_AUTOINC};
    for (int shown : {0, 1}) {
        shown ? ParaVis() : ParaInVis();
        for (int c : kParams)
            EXPECT_EQ(attr(c, ATTR_VISIBLE), shown) << c;
        EXPECT_EQ(attr(PANEL_PARA_DECO_1, ATTR_VISIBLE) + attr(PANEL_PARA_DECO_9, ATTR_VISIBLE),
                  2 * shown);
        for (int c : teach)
            EXPECT_EQ(attr(c, ATTR_VISIBLE), !shown) << c;
    }
}

TEST_F(GuiPanel, TeachColourAndContrast) {
    dataX = 1000, dataY = 2000, dataINT = 555, dataR = 2000, dataG = 0, dataB = 4095;
    set(PANEL_EVALMODE, 0);
    set(PANEL_NO, 3);
    set(PANEL_AUTOINC, 0);
    TeachDataTo();
    const int row4[] = {1000, 2000, 150, 555, 150};
    for (int c = 1; c <= 5; ++c)
        EXPECT_EQ(cell(c, 4), row4[c - 1]);
    EXPECT_EQ(u16Val(PANEL_NO), 3);
    set(PANEL_AUTOINC, 1);
    TeachDataTo();
    EXPECT_EQ(u16Val(PANEL_NO), 4);
    set(PANEL_NO, 14);
    TeachDataTo();
    EXPECT_EQ(cell(4, 15), 555);
    EXPECT_EQ(u16Val(PANEL_NO), 14); // 15 is asked for and coerced by the control; no wrap

    const int cases[][3] = {{2, 2150, 1850}, {3, 300, 0}, {4, 4095, 3795}}; // mode, UL, LL
    for (const auto &k : cases) {
        set(PANEL_EVALMODE, k[0]);
        set(PANEL_NO, 5);
        setCell(3, 9, 77);
        TeachDataTo();
        EXPECT_EQ(cell(1, 1), k[1]);
        EXPECT_EQ(cell(2, 1), k[2]);
        EXPECT_EQ(cell(3, 9), 1);
        EXPECT_EQ(u16Val(PANEL_NO), 0); // and no auto-increment
    }
    ResetTable();
    for (int r = 1; r <= 15; ++r)
        for (int c = 1; c <= 5; ++c)
            ASSERT_EQ(cell(c, r), 1);
}

TEST_F(GuiPanel, TeachPlotZoomAndLiveGraphs) {
    ResetTable();
    setCell(1, 2, 100);
    setCell(2, 2, 200);
    setCell(3, 2, 150);
    poll = 1;
    ApplyFromAll();
    EXPECT_EQ(poll, 0);
    ASSERT_EQ(GetPlotCount(panel, PANEL_GRAPHDATA1), 46);
    PlotInfo p[46];
    for (int i = 0; i < 46; ++i)
        GetPlotInfo(panel, PANEL_GRAPHDATA1, i, &p[i]);
    EXPECT_TRUE(p[0].kind == PlotInfo::Line && p[0].points == 4096 && p[0].color == 0xA0A0A0);
    EXPECT_TRUE(p[4].kind == PlotInfo::Arc && p[4].color == 0xFF0000); // row 1, first arc
    EXPECT_EQ(std::vector<double>({p[4].x1, p[4].y2, p[5].x1, p[6].y1, p[6].x2}),
              std::vector<double>({-50, 350, -50 + 0.025, 50 + 0.05, 250 + 0.005}));
    EXPECT_EQ(p[45].color, 0x800000);
    EXPECT_EQ(p[45].x1, 0.05);

    SetGraphCursor(panel, PANEL_GRAPHDATA2, 1, 2000.5, 1000.25);
    ZoomGraphData2();
    EXPECT_EQ(GetPlotCount(panel, PANEL_GRAPHDATA2), 46);
    EXPECT_EQ(zoomAxes(), (std::array<double, 4>{1800.5, 2200.5, 800.25, 1200.25}));
    SetGraphCursor(panel, PANEL_GRAPHDATA2, 1, 100, 4000);
    ZoomGraphData2();
    double cx = 0, cy = 0;
    GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &cx, &cy);
    EXPECT_TRUE(cx == 200 && cy == 3895);
    EXPECT_EQ(zoomAxes(), (std::array<double, 4>{0, 400, 3695, 4095}));

    // SOURCE 0 moves the live point only; any other source replots the signal graph.
    source = 0, dataX = 1234, dataY = 567;
    SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_POINTS_PER_SCREEN, 50);
    ShowGraph();
    GetGraphCursor(panel, PANEL_GRAPHDATA1, 1, &cx, &cy);
    EXPECT_TRUE(cx == 1234 && cy == 567);
    EXPECT_EQ(attr(PANEL_GRAPHRAW1, ATTR_POINTS_PER_SCREEN), 50);
    source = 4, dataX = 1;
    ShowGraph();
    EXPECT_EQ(attr(PANEL_GRAPHRAW1, ATTR_POINTS_PER_SCREEN), 101);
    GetGraphCursor(panel, PANEL_GRAPHDATA1, 1, &cx, &cy);
    EXPECT_EQ(cx, 1234);
}

TEST_F(GuiPanel, AutoAdjustOnThePanel) {
    ResetTable();
    set(PANEL_MAXCOLNO, 2);
    const int rows[3][5] = {
        {1000, 1000, 9, 500, 150}, {1101, 1000, 9, 500, 150}, {1050, 1000, 33, 500, 150}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            setCell(c + 1, r + 1, rows[r][c]);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    poll = 1;
    AutoAdjust();
    EXPECT_EQ(cell(3, 1), 51);
    EXPECT_EQ(cell(3, 2), 50);
    EXPECT_EQ(cell(3, 3), 33); // inactive: untouched and no obstacle
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 0);
    EXPECT_EQ(GetPlotCount(panel, PANEL_GRAPHDATA2), 46);
    EXPECT_EQ(zoomAxes(), (std::array<double, 4>{0, 4095, 0, 4095}));
}
