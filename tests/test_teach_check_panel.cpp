// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check in the window: the Teach menu, the check window filling while polling, the
// mean teach, the status-bar note, and the row numbers at the circles.
#include <string>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include "gui/gui.h"
#include "gui/recording.h"
#include "gui/teachcheck.h"
#include "link_fixture.h"
#include "platform/graph.h"
#include "platform/table_window.h"
#include "status/status.h"

namespace {

constexpr int kGradeColumn = 10;

class TeachCheckPanel : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        StartLinkStatus();
        InstallMenus();
        ClearTeachCheck();
    }
    void TearDown() override {
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }

    bool choose(const QString &menu, const QString &item) {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<QMainWindow *>(w);
            if (!window || !window->menuBar())
                continue;
            for (QAction *m : window->menuBar()->actions())
                if (m->menu() && m->menu()->title() == menu)
                    for (QAction *a : m->menu()->actions())
                        if (a->text() == item) {
                            a->trigger();
                            return true;
                        }
        }
        return false;
    }
    void pollRecords(long records) {
        long shown = 0;
        QTimer counter;
        counter.setInterval(0);
        QObject::connect(&counter, &QTimer::timeout, [&] {
            if (++shown >= records)
                poll = 0;
        });
        counter.start();
        GetData();
    }
    // The check window is the one top-level table window: found through its cells.
    static int checkWindow() {
        for (int w = 1; w < 100; ++w)
            if (TableWindowVisible(w) == 1)
                return w;
        return 0;
    }
    static std::string cell(int window, int row, int column) {
        char text[64] = {};
        GetTableWindowCell(window, row, column, text, sizeof text);
        return text;
    }
    std::string note(int *alert) {
        char text[200] = {};
        GetStatusBarNote(panel, text, sizeof text, alert);
        return text;
    }
    // Teaches the patch under the sensor into row `row` from one record, as the button does.
    void teachFrom(int patch, int row) {
        model.holdPatch(patch);
        pollRecords(1);
        SetCtrlVal(panel, PANEL_NO, std::int32_t(row));
        CBF_ButtonTeachDataTo(panel, PANEL_TEACHDATATO, EVENT_COMMIT, nullptr, 0, 0);
    }
};

} // namespace

TEST_F(TeachCheckPanel, WindowFillsWhilePollingAndClearEmptiesIt) {
    connect();
    teachFrom(0, 0);
    teachFrom(1, 1);
    SetCtrlVal(panel, PANEL_MAXCOLNO, u16{2});
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0); // RAM: the sensor uses it
    ASSERT_TRUE(choose("Teach", "Teach check..."));
    const int w = checkWindow();
    ASSERT_GT(w, 0);
    EXPECT_EQ(cell(w, 0, 0), "0");
    EXPECT_EQ(cell(w, 1, 0), "1");
    // The records of the teach were numbered by the sensor's old table: SEND forgot them.
    EXPECT_EQ(cell(w, 0, 6), "0");
    EXPECT_EQ(cell(w, 0, kGradeColumn), "not seen");

    model.holdPatch(1);
    long before = records();
    pollRecords(12);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(cell(w, 1, 6), std::to_string(records() - before)) << "every record is checked";
    EXPECT_EQ(cell(w, 1, 8), "1.000");
    EXPECT_EQ(cell(w, 1, kGradeColumn), "robust");
    int colour = 0;
    GetTableWindowCellColour(w, 1, kGradeColumn, &colour);
    EXPECT_EQ(colour, 0x7CD67C);
    EXPECT_EQ(cell(w, 0, kGradeColumn), "not seen");

    // A hand edit of the table is followed while the window is open.
    before = records() - std::stol(cell(w, 1, 6));
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 2), 77);
    pollRecords(1);
    EXPECT_EQ(cell(w, 1, 4), "77");
    EXPECT_EQ(cell(w, 1, 6), std::to_string(records() - before));

    QPushButton *clear = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        for (QPushButton *b : top->findChildren<QPushButton *>())
            if (b->text() == "Clear" && b->isVisible())
                clear = b;
    ASSERT_NE(clear, nullptr);
    clear->click();
    EXPECT_EQ(cell(w, 1, 6), "0");
    EXPECT_EQ(cell(w, 1, kGradeColumn), "not seen");
    EXPECT_EQ(popups.shown.size(), 0u);
}

TEST_F(TeachCheckPanel, TeachTheMeanTakesTheLastRecordsOfThisColourOnly) {
    connect();
    SetCtrlVal(panel, PANEL_AUTOINC, std::int32_t{1});
    SetCtrlVal(panel, PANEL_NO, std::int32_t{0});
    model.holdPatch(0);
    pollRecords(5);
    ASSERT_TRUE(choose("Teach", "Teach the mean of the last 20 records"));
    ASSERT_EQ(popups.count("INFO"), 1) << "five records are not enough";
    EXPECT_EQ(u16Val(PANEL_NO), 0);

    model.holdPatch(0);
    pollRecords(20);
    const u16 x = dataX, y = dataY, intensity = dataINT; // without noise, every record alike
    ASSERT_TRUE(choose("Teach", "Teach the mean of the last 20 records"));
    EXPECT_EQ(popups.count("INFO"), 1);
    std::uint16_t v = 0;
    const std::uint16_t expected[5] = {x, y, 150, intensity, 150};
    for (int c = 0; c < 5; ++c) {
        GetTableCellVal(panel, PANEL_TABLE, MakePoint(c + 1, 1), &v);
        EXPECT_EQ(v, expected[c]) << "column " << c + 1;
    }
    EXPECT_EQ(u16Val(PANEL_NO), 1) << "AUTO INC as with TEACH DATA TO";
}

TEST_F(TeachCheckPanel, StatusBarWarnsOfCirclesTighterThanTheirNoise) {
    model.setNoise(24.0); // the sensor's own noise: X and Y spread by some 18 counts
    connect();
    teachFrom(0, 0);
    teachFrom(1, 1);
    SetCtrlVal(panel, PANEL_MAXCOLNO, u16{2});
    model.holdPatch(0);
    pollRecords(60);
    int alert = 0;
    CheckAfterTeach();
    EXPECT_EQ(note(&alert), "") << "CTO 150 is wide enough";

    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 1), 12); // row 0 drawn in by hand
    CBF_AutoAdjust(panel, PANEL_AUTOADJUST, EVENT_COMMIT, nullptr, 0, 0);
    // AUTO ADJUST grows both far apart rows to 200 again: nothing to say.
    EXPECT_EQ(note(&alert), "");
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 1), 12);
    teachFrom(1, 1); // a teach of row 1 looks at every row
    EXPECT_EQ(note(&alert), "row 0 tighter than its noise: expect misses");
    EXPECT_EQ(alert, 1);
}

TEST_F(TeachCheckPanel, CirclesAreNamedByTheirRow) {
    InitVars();
    ResetTable();
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(1, 4), 1000); // row 3 at (1000, 2000), CTO 100
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(2, 4), 2000);
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 4), 100);
    ApplyFromAll();
    ShowGraphData2();
    for (int graph : {PANEL_GRAPHDATA1, PANEL_GRAPHDATA2}) {
        EXPECT_EQ(GetPlotCount(panel, graph), 46) << "the circles stay as they were";
        ASSERT_EQ(GetLabelCount(panel, graph), 15);
        LabelInfo l;
        ASSERT_EQ(GetLabelInfo(panel, graph, 3, &l), 0);
        EXPECT_STREQ(l.text, "3");
        EXPECT_EQ(l.color, int(sicolarr[3]));
        EXPECT_NEAR(l.x, 1071, 1);
        EXPECT_NEAR(l.y, 2071, 1);
        ASSERT_EQ(GetLabelInfo(panel, graph, 14, &l), 0);
        EXPECT_STREQ(l.text, "14");
    }
    DeleteGraphPlot(panel, PANEL_GRAPHDATA1, -1, VAL_IMMEDIATE_DRAW);
    EXPECT_EQ(GetLabelCount(panel, PANEL_GRAPHDATA1), 0);
}
