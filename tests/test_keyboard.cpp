// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The panel by keyboard alone: Tab through both areas in reading order, F1 for help.
#include <QApplication>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <set>
#include <vector>

#include "Tintarov10/panel_ids.h"
#include "panel_fixture.h"
#include "platform/private/internal.h"
#include "platform/private/ui_private.h"

namespace {

class KeyboardTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        InitVars();
        DisplayPanel(panel);
        QWidget *frame = platform::FindPanel(panel)->frame;
        QApplication::setActiveWindow(frame);
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    }
    // The control that has the focus (a table cell editor counts as its table), or 0.
    int focused() {
        QWidget *pw = platform::FindPanel(panel)->window;
        for (QWidget *w = QApplication::focusWidget(); w && w != pw; w = w->parentWidget())
            if (w->parentWidget() == pw && w->property("ctrlId").isValid())
                return w->property("ctrlId").toInt();
        return 0;
    }
    // Presses Tab from `start` until the focus is back there; the controls in the order seen.
    std::vector<int> tabRound(int start) {
        platform::FindCtrl(panel, start)->setFocus(Qt::TabFocusReason);
        std::vector<int> seen{focused()};
        for (int i = 0; i < 100; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const int id = focused();
            if (id == start)
                return seen;
            seen.push_back(id);
        }
        ADD_FAILURE() << "Tab never came back to control " << start;
        return seen;
    }
    bool shown(int id) { return platform::FindCtrl(panel, id)->isVisibleTo(nullptr); }
};

std::size_t Pos(const std::vector<int> &v, int id) {
    return std::size_t(std::find(v.begin(), v.end(), id) - v.begin());
}

TEST_F(KeyboardTest, TabVisitsBothColumnsInReadingOrderAndComesRoundInBothAreas) {
    // Parameter area: the switch, the nine parameters, the command row, COM port; then the
    // right column: SOURCE, graph, RAM/EEPROM/FILE.
    const std::vector<int> params = tabRound(PANEL_PARAVISIBLE);
    const std::vector<int> expected = {
        PANEL_PARAVISIBLE, PANEL_POWER,  PANEL_PMOD,     PANEL_AVERAGE, PANEL_EVALMODE,
        PANEL_HOLD,        PANEL_INTLIM, PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_TRIGGER,
        PANEL_SEND,        PANEL_GET,    PANEL_GO,       PANEL_STOP,    PANEL_COMPORT};
    ASSERT_GE(params.size(), expected.size());
    EXPECT_EQ(std::vector<int>(params.begin(), params.begin() + long(expected.size())), expected);
    for (int id : {PANEL_SOURCE, PANEL_SELECT_RAM, PANEL_SELECT_EEPROM, PANEL_SELECT_FILE})
        EXPECT_LT(Pos(params, id), params.size()) << "control " << id;
    EXPECT_LT(Pos(params, PANEL_SELECT_RAM), Pos(params, PANEL_SELECT_EEPROM));
    EXPECT_LT(Pos(params, PANEL_SELECT_EEPROM), Pos(params, PANEL_SELECT_FILE));
    for (int id : params)
        EXPECT_TRUE(shown(id)) << "Tab stop on hidden control " << id;
    EXPECT_EQ(std::set<int>(params.begin(), params.end()).size(), params.size()) << "no repeats";
    // The zoom graph lies behind the X/Y graph: no stop there, only the graph in front.
    EXPECT_EQ(Pos(params, PANEL_GRAPHDATA1), Pos(params, PANEL_SOURCE) + 1);
    EXPECT_EQ(Pos(params, PANEL_GRAPHDATA2), params.size()) << "stop on the covered zoom graph";

    // Teach area: the table is one stop, every teach button is reached, and Tab leaves.
    SetCtrlVal(panel, PANEL_PARAVISIBLE, std::int32_t{0});
    CBF_ParaVisible(panel, PANEL_PARAVISIBLE, EVENT_COMMIT, nullptr, 0, 0);
    const std::vector<int> teach = tabRound(PANEL_PARAVISIBLE);
    for (int id : {PANEL_TABLE, PANEL_RESETTABLE, PANEL_TEACHDATATO, PANEL_APPLYFROMALL, PANEL_ZOOM,
                   PANEL_AUTOADJUST, PANEL_NO, PANEL_SEND, PANEL_GET, PANEL_GO, PANEL_STOP,
                   PANEL_SELECT_FILE})
        EXPECT_LT(Pos(teach, id), teach.size()) << "control " << id << " reached";
    EXPECT_EQ(std::count(teach.begin(), teach.end(), PANEL_TABLE), 1) << "one Tab stop";
    for (int id : {PANEL_HOLD, PANEL_POWER, PANEL_TRIGGER})
        EXPECT_EQ(Pos(teach, id), teach.size()) << "hidden parameter " << id << " skipped";
    for (int id : teach)
        EXPECT_TRUE(shown(id)) << "Tab stop on hidden control " << id;
    // With the zoom graph in front, it is the stop and the X/Y graph behind it is not.
    CBF_ButtonZoom(panel, PANEL_ZOOM, EVENT_COMMIT, nullptr, 0, 0);
    const std::vector<int> zoomed = tabRound(PANEL_PARAVISIBLE);
    EXPECT_LT(Pos(zoomed, PANEL_GRAPHDATA2), zoomed.size());
    EXPECT_EQ(Pos(zoomed, PANEL_GRAPHDATA1), zoomed.size());

    // Inside the table the arrows move between cells; Tab goes on to the next control.
    auto *table = qobject_cast<QTableWidget *>(platform::FindCtrl(panel, PANEL_TABLE));
    table->setFocus(Qt::TabFocusReason);
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Right);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->currentRow(), 1);
    EXPECT_EQ(table->currentColumn(), 1);
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_NE(focused(), PANEL_TABLE);
}

TEST_F(KeyboardTest, F1ShowsTheFocusedControlsHelpAsARightClickDoes) {
    for (int id : {PANEL_GO, PANEL_SELECT_EEPROM, PANEL_HOLD}) {
        popups.shown.clear();
        QTest::mouseClick(platform::FindCtrl(panel, id), Qt::RightButton);
        ASSERT_EQ(popups.shown.size(), 1u) << "control " << id;
        const PopupRequest byMouse = popups.shown.back();

        platform::FindCtrl(panel, id)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        ASSERT_EQ(popups.shown.size(), 2u) << "control " << id;
        EXPECT_EQ(popups.shown.back().title, "Info");
        EXPECT_EQ(popups.shown.back().message, byMouse.message) << "control " << id;
    }
}

} // namespace

namespace {

// Every control the operator can point at says what it is in one line, and the tooltip
// promises help exactly where a right click (and F1) gives it.
TEST_F(KeyboardTest, TooltipsAreOneLineAndPromiseHelpWhereARightClickGivesIt) {
    int withHelp = 0;
    for (auto &[id, c] : platform::FindPanel(panel)->controls) {
        if (c.kind == platform::Kind::Label || c.kind == platform::Kind::Deco)
            continue;
        const QString tip = c.widget->toolTip();
        EXPECT_FALSE(tip.isEmpty()) << "control " << id;
        EXPECT_FALSE(tip.contains('\n')) << "control " << id;
        EXPECT_LE(tip.size(), 90) << "control " << id;
        if (id == PANEL_GRAPHDATA2)
            continue; // its right click closes the zoom, and its tooltip says so
        popups.shown.clear();
        c.widget->show();
        QTest::mouseClick(c.widget, Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
        const bool helps = !popups.shown.empty() && popups.shown.back().title == "Info";
        withHelp += helps;
        EXPECT_EQ(tip.endsWith("Right click or F1: help"), helps)
            << "control " << id << ": " << tip.toStdString();
    }
    EXPECT_GT(withHelp, 30);
}

} // namespace
