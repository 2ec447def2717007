// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The panel's callbacks driven as an operator drives them: clicks, keys, right clicks.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "gui/gui.h"
#include "panel_fixture.h"
#include "platform/graph.h"
#include "platform/private/internal.h"
#include "platform/serial.h"

namespace {

constexpr int kGreen = 0x008000;
constexpr int kRed = 0xFF0000;

class Callbacks : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        InitVars();
    }
    QWidget *widget(int ctrl) {
        QWidget *w = platform::FindCtrl(panel, ctrl);
        EXPECT_NE(w, nullptr) << "control " << ctrl;
        return w;
    }
    // Clicks a control; check boxes and radio buttons on their indicator at the left.
    void click(int ctrl) {
        QWidget *w = widget(ctrl);
        const bool indicator = w->inherits("QCheckBox") || w->inherits("QRadioButton");
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier,
                          indicator ? QPoint(8, w->height() / 2) : w->rect().center());
    }
    void rightClick(int ctrl) {
        QWidget *w = widget(ctrl);
        QTest::mouseClick(w, Qt::RightButton, Qt::NoModifier, QPoint(w->width() / 2, 4));
    }
    // Types a number into a numeric control and presses Enter.
    void enter(int ctrl, int value) {
        auto *spin = qobject_cast<QSpinBox *>(widget(ctrl));
        ASSERT_NE(spin, nullptr);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(value));
        QTest::keyClick(spin, Qt::Key_Enter);
    }
    // Chooses a ring item by its value with the keyboard, as an operator would.
    void choose(int ctrl, int value) {
        auto *ring = qobject_cast<QComboBox *>(widget(ctrl));
        ASSERT_NE(ring, nullptr);
        const int index = IndexOfValue(ctrl, value);
        ASSERT_GE(index, 0) << "value " << value;
        ring->setFocus();
        QTest::keyClick(ring, Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(ring, Qt::Key_Down);
        ASSERT_EQ(u16Val(ctrl), value);
    }
    int IndexOfValue(int ctrl, int value) {
        auto *ring = qobject_cast<QComboBox *>(widget(ctrl));
        const QStringList values = ring->property("ringValues").toString().split(',');
        return values.indexOf(QString::number(value));
    }
    void expectRows(int greens) {
        for (int row = 1; row <= 15; ++row) {
            int color = -1;
            GetTableRowAttribute(panel, PANEL_TABLE, row, ATTR_LABEL_COLOR, &color);
            EXPECT_EQ(color, row <= greens ? kGreen : kRed) << "row " << row;
        }
    }
};

} // namespace

TEST_F(Callbacks, StartValues) {
    EXPECT_EQ(text(PANEL_STATUS), "InitVars");
    EXPECT_EQ(target, 1);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(anzpara, 90);
    EXPECT_EQ(tintaro::sync, 85);
    EXPECT_DOUBLE_EQ(waitdel, 0.1);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(xramp[i] + yramp[i], 4095) << i;
    EXPECT_EQ(xramp[0], 0);
    EXPECT_EQ(yramp[0], 4095);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 100);
    EXPECT_EQ(i32Val(PANEL_PARAVISIBLE), 1);
    EXPECT_EQ(attr(PANEL_POWER, ATTR_VISIBLE), 1);
    EXPECT_EQ(attr(PANEL_TABLE, ATTR_VISIBLE), 0);
    EXPECT_EQ(attr(PANEL_LOGOFRAME, ATTR_FRAME_COLOR), 0x0080FF);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_EEPROM), 0);
    EXPECT_EQ(i32Val(PANEL_SELECT_FILE), 0);
    // The panel's defaults became the variables' start values.
    EXPECT_EQ(power, u16Val(PANEL_POWER));
    EXPECT_EQ(maxcolno, u16Val(PANEL_MAXCOLNO));
    EXPECT_EQ(ctt[0], cell(1, 1));
}

TEST_F(Callbacks, MemorySwitchesActAsOneChoiceWithRamAsFallback) {
    click(PANEL_SELECT_EEPROM);
    EXPECT_EQ(target, 2);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 0);
    EXPECT_EQ(i32Val(PANEL_SELECT_EEPROM), 1);

    click(PANEL_SELECT_FILE);
    EXPECT_EQ(target, 3);
    EXPECT_EQ(i32Val(PANEL_SELECT_FILE), 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_EEPROM), 0);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 0);

    click(PANEL_SELECT_FILE); // off again: back to RAM
    EXPECT_EQ(target, 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_FILE), 0);

    click(PANEL_SELECT_RAM); // RAM cannot be switched off
    EXPECT_EQ(target, 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 1);

    click(PANEL_SELECT_EEPROM);
    click(PANEL_SELECT_EEPROM);
    EXPECT_EQ(target, 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_RAM), 1);
    EXPECT_EQ(i32Val(PANEL_SELECT_EEPROM), 0);
}

TEST_F(Callbacks, PmodDimsPower) {
    choose(PANEL_PMOD, 1);
    EXPECT_EQ(pmod, 1);
    EXPECT_EQ(attr(PANEL_POWER, ATTR_DIMMED), 1);
    choose(PANEL_PMOD, 0);
    EXPECT_EQ(pmod, 0);
    EXPECT_EQ(attr(PANEL_POWER, ATTR_DIMMED), 0);
}

TEST_F(Callbacks, MaxcolNoCheckWarnsOnlyForDirectOutputsAndMarksRows) {
    choose(PANEL_OUTMODE, 1); // BINARY
    enter(PANEL_MAXCOLNO, 5);
    EXPECT_EQ(popups.count("INFO"), 0);
    expectRows(5);

    choose(PANEL_OUTMODE, 0); // DIRECT HI with 5 colours: the OUTMODE check warns
    EXPECT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown.back().message, InfoMaxColNo);
    enter(PANEL_MAXCOLNO, 7);
    EXPECT_EQ(popups.count("INFO"), 2);
    expectRows(7);
    EXPECT_EQ(u16Val(PANEL_MAXCOLNO), 7) << "the warning changes nothing";

    choose(PANEL_OUTMODE, 2); // DIRECT LO: warns, marking follows MAXCOL-No. alone
    EXPECT_EQ(popups.count("INFO"), 3);
    expectRows(7);

    enter(PANEL_MAXCOLNO, 4);
    EXPECT_EQ(popups.count("INFO"), 3) << "four colours never warn";
    expectRows(4);
    enter(PANEL_MAXCOLNO, 0);
    expectRows(0);
    enter(PANEL_MAXCOLNO, 15);
    expectRows(15);
}

TEST_F(Callbacks, RightClickShowsTheHelpTextAndChangesNothing) {
    const std::pair<int, const char *> helps[] = {
        {PANEL_COMPORT, InfoEditConnect},
        {PANEL_SEND, InfoButtonSend},
        {PANEL_GET, InfoButtonGet},
        {PANEL_GO, InfoButtonGo},
        {PANEL_STOP, InfoButtonStop},
        {PANEL_SELECT_RAM, InfoSelectMEM},
        {PANEL_SELECT_EEPROM, InfoSelectMEM},
        {PANEL_SELECT_FILE, InfoSelectMEM},
        {PANEL_PARAVISIBLE, InfoSwitchPara},
        {PANEL_SOURCE, InfoSelectSource},
        {PANEL_EVALMODE, InfoEditEvalmode},
        {PANEL_MAXCOLNO, InfoEditMaxcolNo},
        {PANEL_OUTMODE, InfoEditOutmode},
        {PANEL_PMOD, InfoEditPmod},
        {PANEL_AVERAGE, InfoEditAverage},
        {PANEL_TRIGGER, InfoEditTrigger},
        {PANEL_INTLIM, InfoEditIntlim},
        {PANEL_HOLD, InfoEditHold},
        {PANEL_X, InfoDispX},
        {PANEL_Y, InfoDispY},
        {PANEL_INT, InfoDispINT},
        {PANEL_COL, InfoDispCOL},
        {PANEL_RED, InfoDispBars},
        {PANEL_GREEN, InfoDispBars},
        {PANEL_BLUE, InfoDispBars},
        {PANEL_STATUS, InfoStatus},
        {PANEL_GRAPHDATA1, InfoGraph},
        {PANEL_POWER, InfoEditPower},
    };
    const auto values = [&] {
        std::map<int, int> v;
        for (int c : {PANEL_COMPORT, PANEL_SOURCE, PANEL_EVALMODE, PANEL_MAXCOLNO, PANEL_OUTMODE,
                      PANEL_PMOD, PANEL_AVERAGE, PANEL_POWER, PANEL_X})
            v[c] = u16Val(c);
        for (int c : {PANEL_SELECT_RAM, PANEL_SELECT_EEPROM, PANEL_SELECT_FILE, PANEL_PARAVISIBLE})
            v[c] = i32Val(c);
        return v;
    };
    const auto before = values();
    const u16 targetBefore = target;
    for (const auto &[ctrl, help] : helps) {
        popups.shown.clear();
        rightClick(ctrl);
        ASSERT_EQ(popups.shown.size(), 1u) << "control " << ctrl;
        EXPECT_EQ(popups.shown[0].title, "Info");
        EXPECT_EQ(popups.shown[0].message, help) << "control " << ctrl;
    }
    EXPECT_EQ(values(), before);
    EXPECT_EQ(target, targetBefore);
    EXPECT_EQ(text(PANEL_STATUS), "InitVars");

    // The teach area's controls and the signal graph, shown in turn.
    SetCtrlVal(panel, PANEL_PARAVISIBLE, std::int32_t{0});
    ParaInVis();
    SetCtrlVal(panel, PANEL_SOURCE, u16{1});
    DispVis();
    const std::pair<int, const char *> teach[] = {
        {PANEL_NO, InfoEditNo},
        {PANEL_AUTOINC, InfoRadioInc},
        {PANEL_RESETTABLE, InfoButtonResetTable},
        {PANEL_TEACHDATATO, InfoButtonTeachDataTo},
        {PANEL_APPLYFROMALL, InfoButtonApplyFromAll},
        {PANEL_ZOOM, InfoButtonZoom},
        {PANEL_AUTOADJUST, InfoButtonAutoAdjust},
        {PANEL_GRAPHRAW1, InfoGraph},
    };
    const u16 cellBefore = cell(1, 1);
    for (const auto &[ctrl, help] : teach) {
        popups.shown.clear();
        rightClick(ctrl);
        ASSERT_EQ(popups.shown.size(), 1u) << "control " << ctrl;
        EXPECT_EQ(popups.shown[0].message, help) << "control " << ctrl;
    }
    EXPECT_EQ(cell(1, 1), cellBefore);
    SetCtrlVal(panel, PANEL_SOURCE, u16{2});
    DispVis();
    popups.shown.clear();
    rightClick(PANEL_RAW);
    ASSERT_EQ(popups.shown.size(), 1u);
    EXPECT_EQ(popups.shown[0].message, InfoDispRAW);
}

TEST_F(Callbacks, ViewSwitchSwapsParameterAndTeachAreas) {
    const int parameterArea[] = {PANEL_PMOD,        PANEL_AVERAGE,     PANEL_TRIGGER,
                                 PANEL_INTLIM,      PANEL_POWER,       PANEL_MAXCOLNO,
                                 PANEL_OUTMODE,     PANEL_HOLD,        PANEL_EVALMODE,
                                 PANEL_PARA_DECO_1, PANEL_PARA_DECO_2, PANEL_PARA_DECO_3,
                                 PANEL_PARA_DECO_4, PANEL_PARA_DECO_5, PANEL_PARA_DECO_6,
                                 PANEL_PARA_DECO_7, PANEL_PARA_DECO_8, PANEL_PARA_DECO_9};
    const int teachArea[] = {PANEL_TABLE, PANEL_RESETTABLE, PANEL_TEACHDATATO, PANEL_APPLYFROMALL,
                             PANEL_ZOOM,  PANEL_AUTOADJUST, PANEL_NO,          PANEL_AUTOINC};
    click(PANEL_PARAVISIBLE);
    EXPECT_EQ(i32Val(PANEL_PARAVISIBLE), 0);
    for (int c : parameterArea)
        EXPECT_EQ(attr(c, ATTR_VISIBLE), 0) << "control " << c;
    for (int c : teachArea)
        EXPECT_EQ(attr(c, ATTR_VISIBLE), 1) << "control " << c;
    click(PANEL_PARAVISIBLE);
    for (int c : parameterArea)
        EXPECT_EQ(attr(c, ATTR_VISIBLE), 1) << "control " << c;
    for (int c : teachArea)
        EXPECT_EQ(attr(c, ATTR_VISIBLE), 0) << "control " << c;
}

TEST_F(Callbacks, GraphViewsFollowTheTeachButtons) {
    click(PANEL_PARAVISIBLE);
    click(PANEL_ZOOM);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 0);
    int mode = -1;
    double lo = -1, hi = -1;
    GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(lo, 0.0);
    EXPECT_DOUBLE_EQ(hi, 4096.0);
    EXPECT_EQ(GetPlotCount(panel, PANEL_GRAPHDATA2), 1 + 15 * 3);

    rightClick(PANEL_GRAPHDATA2);
    EXPECT_EQ(popups.shown.size(), 0u) << "the zoom graph has no help text";
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 100);

    click(PANEL_ZOOM);
    click(PANEL_APPLYFROMALL);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 100);
    EXPECT_EQ(attr(PANEL_GRAPHDATA1, ATTR_ZPLANE_POSITION), 0);
    EXPECT_EQ(GetPlotCount(panel, PANEL_GRAPHDATA1), 1 + 15 * 3);

    SetTableCellVal(panel, PANEL_TABLE, MakePoint(4, 9), 1234);
    click(PANEL_ZOOM);
    click(PANEL_RESETTABLE);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 100);
    for (int r = 1; r <= 15; ++r)
        for (int c = 1; c <= 5; ++c)
            ASSERT_EQ(cell(c, r), 1);

    click(PANEL_ZOOM);
    click(PANEL_TEACHDATATO);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 100);

    click(PANEL_AUTOADJUST);
    EXPECT_EQ(attr(PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION), 0);
}

TEST_F(Callbacks, StopWithoutPollingOnlyClearsTheFlag) {
    click(PANEL_STOP);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(text(PANEL_STATUS), "InitVars");
    EXPECT_EQ(popups.shown.size(), 0u);
}

TEST_F(Callbacks, SourceAndEvalmodeRingsRelayout) {
    choose(PANEL_SOURCE, 3);
    EXPECT_EQ(source, 3);
    EXPECT_EQ(attr(PANEL_RAW, ATTR_VISIBLE), 1);
    EXPECT_EQ(attr(PANEL_GRAPHRAW1, ATTR_VISIBLE), 1);
    choose(PANEL_EVALMODE, 5);
    EXPECT_EQ(evalmode, 5);
    EXPECT_EQ(u16Val(PANEL_SOURCE), 0);
    EXPECT_EQ(attr(PANEL_GRAPHDATA1, ATTR_VISIBLE), 1);
    EXPECT_EQ(attr(PANEL_TRIGGER, ATTR_DIMMED), 1);
}

TEST_F(Callbacks, ComPortChoiceReopensTheLine) {
    setenv("TINTARO_COM2", "/nonexistent/tintaro-com2", 1);
    poll = 1;
    choose(PANEL_COMPORT, 2);
    EXPECT_EQ(com, 2);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(text(PANEL_STATUS), "No serial port found");
    unsetenv("TINTARO_COM2");
    CloseCom(2);
    com = 1;
}

TEST_F(Callbacks, MovingTheZoomCursorRecentresTheView) {
    DisplayPanel(panel); // the graph lays out its plot area when shown
    click(PANEL_PARAVISIBLE);
    click(PANEL_ZOOM);
    QWidget *zoom = widget(PANEL_GRAPHDATA2);
    QTest::qWait(50);
    zoom->setFocus();
    QTest::mouseClick(zoom, Qt::LeftButton, Qt::NoModifier, zoom->rect().center());
    double cx = -1, cy = -1;
    ASSERT_EQ(GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &cx, &cy), 0);
    int mode = -1;
    double lo = 0, hi = 0;
    GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_NEAR(hi - lo, 400.0, 1e-9) << "a 400-unit window around the cursor";
    EXPECT_NEAR((lo + hi) / 2, cx, 1e-9);
    GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_LEFT_YAXIS, &mode, &lo, &hi);
    EXPECT_NEAR((lo + hi) / 2, cy, 1e-9);

    // An arrow key moves the cursor and the window follows.
    const double before = cx;
    QTest::keyClick(zoom, Qt::Key_Right);
    GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &cx, &cy);
    EXPECT_GT(cx, before);
    GetAxisScalingMode(panel, PANEL_GRAPHDATA2, VAL_XAXIS, &mode, &lo, &hi);
    EXPECT_NEAR((lo + hi) / 2, cx, 1e-9);
}
