// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Test fixture: the real main panel loaded offscreen, with pop-ups recorded instead of shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "Tintarov10/Tintarov10.h"
#include "platform/ui.h"

// Records every pop-up; file pop-ups take their answers from `fileAnswers` (cancel when empty).
struct PopupRecorder {
    std::vector<PopupRequest> shown;
    std::deque<std::string> fileAnswers; // "" = cancel
    std::deque<int> questionAnswers;     // 1 yes, 0 no; yes when empty

    void install() {
        SetPopupHandler([this](const PopupRequest &r) {
            shown.push_back(r);
            PopupAnswer a;
            if (r.kind == PopupRequest::Question && !questionAnswers.empty()) {
                a.result = questionAnswers.front();
                questionAnswers.pop_front();
            }
            if (r.kind == PopupRequest::FileSelect) {
                if (fileAnswers.empty() || fileAnswers.front().empty()) {
                    a.result = 0;
                } else {
                    a.path = fileAnswers.front();
                }
                if (!fileAnswers.empty())
                    fileAnswers.pop_front();
            }
            return a;
        });
    }
    int count(const std::string &title) const {
        int n = 0;
        for (const auto &r : shown)
            n += r.title == title;
        return n;
    }
    ~PopupRecorder() { SetPopupHandler(nullptr); }
};

// A shortcut key presses its button and clicks it a moment later (an animated click): runs
// events until no button is held down any more, so that the click and its callback are over,
// however long the machine takes. False when one is still down after 30 s.
inline bool ShortcutClicksDone() {
    return QTest::qWaitFor(
        [] {
            for (QWidget *w : QApplication::allWidgets())
                if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isDown())
                    return false;
            return true;
        },
        30000);
}

// Loads the panel into the global `panel` the way start-up does (callbacks registered first),
// without opening a serial port. InitVars is left to each test.
class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPanelCallbacks();
        panel = LoadPanel(0, "Tintarov10.uir", PANEL);
        ASSERT_GT(panel, 0) << "panel resource did not load";
        popups.install();
    }
    void TearDown() override {
        poll = 0;
        if (panel > 0)
            DiscardPanel(panel);
        panel = 0;
    }

    u16 u16Val(int ctrl) {
        u16 v = 0;
        EXPECT_EQ(GetCtrlVal(panel, ctrl, &v), 0) << "control " << ctrl;
        return v;
    }
    int i32Val(int ctrl) {
        std::int32_t v = 0;
        EXPECT_EQ(GetCtrlVal(panel, ctrl, &v), 0) << "control " << ctrl;
        return v;
    }
    std::string text(int ctrl) {
        char buf[256] = {};
        EXPECT_EQ(GetCtrlVal(panel, ctrl, buf, sizeof buf), 0);
        return buf;
    }
    int attr(int ctrl, int attribute) {
        int v = -12345;
        EXPECT_EQ(GetCtrlAttribute(panel, ctrl, attribute, &v), 0)
            << "control " << ctrl << " attribute " << attribute;
        return v;
    }
    u16 cell(int col, int row) {
        u16 v = 0;
        EXPECT_EQ(GetTableCellVal(panel, PANEL_TABLE, MakePoint(col, row), &v), 0);
        return v;
    }

    PopupRecorder popups;
};
