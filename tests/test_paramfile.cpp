// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Parameter files through SEND and GET with FILE selected: round trip, cancel, overwrite.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "com232/com232.h"
#include "panel_fixture.h"

namespace {

class ParamFile : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        InitVars();
        target = static_cast<u16>(DATFILE);
        path = ::testing::TempDir() + "tintaro_params_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
        std::remove(path.c_str());
    }
    void TearDown() override {
        std::remove(path.c_str());
        PanelTest::TearDown();
    }
    void send() { CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0); }
    void get() { CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0); }
    std::string contents() {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string path;
};

} // namespace

TEST_F(ParamFile, SaveThenLoadRestoresTheWholeBlock) {
    SetCtrlVal(panel, PANEL_AVERAGE, u16{77});
    SetCtrlVal(panel, PANEL_HOLD, u16{250});
    for (int r = 1; r <= 15; ++r)
        for (int c = 1; c <= 5; ++c)
            SetTableCellVal(panel, PANEL_TABLE, MakePoint(c, r),
                            r == 15 && c == 5 ? 65535 : r * 100 + c);
    pp[9] = 65535; // spare words, last read from the sensor
    pp[14] = 1234;
    popups.fileAnswers.push_back(path);
    send();
    EXPECT_EQ(popups.count("init"), 1);
    const auto saved = pp;

    // The file: 90 numbers, one a line, right-aligned in five characters.
    std::istringstream lines(contents());
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        EXPECT_EQ(line.size(), 5u) << "line " << n << ": '" << line << "'";
        EXPECT_EQ(std::stoi(line), saved[n]) << "word " << n;
        ++n;
    }
    EXPECT_EQ(n, 90);

    // Everything changes, then the file brings it back.
    pp.fill(0);
    SetCtrlVal(panel, PANEL_AVERAGE, u16{1});
    SetCtrlVal(panel, PANEL_HOLD, u16{0});
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 7), 9);
    popups.fileAnswers.push_back(path);
    get();
    EXPECT_EQ(pp, saved);
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 77);
    EXPECT_EQ(u16Val(PANEL_HOLD), 250);
    EXPECT_EQ(cell(3, 7), 703);
    EXPECT_EQ(cell(5, 15), 65535);
    EXPECT_EQ(ctt[74], 65535);
    EXPECT_EQ(popups.count("INFO"), 0);
}

TEST_F(ParamFile, CancelDoesNothing) {
    pp.fill(5);
    const auto before = pp;
    SetCtrlVal(panel, PANEL_AVERAGE, u16{42});
    popups.fileAnswers.push_back(""); // cancel the save
    send();
    EXPECT_EQ(pp, before) << "the panel is not even read";
    popups.fileAnswers.push_back(""); // cancel the load
    get();
    EXPECT_EQ(pp, before);
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 42);
    EXPECT_EQ(popups.count("INFO"), 0);
    std::ifstream probe(path);
    EXPECT_FALSE(probe.good()) << "no file was written";
}

TEST_F(ParamFile, SavingOverAFileReplacesItWhole) {
    {
        std::ofstream old(path);
        for (int i = 0; i < 300; ++i)
            old << "99999 garbage that must go\n";
    }
    popups.fileAnswers.push_back(path);
    send();
    const std::string text = contents();
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 90);
}

TEST_F(ParamFile, FilesDoNotTouchPollingOrPacing) {
    poll = 1;
    transbeg = -1000.0; // long past: the pacing waits return at once
    waitdel = 0.3;
    order = 5;
    popups.fileAnswers.push_back(path);
    send();
    popups.fileAnswers.push_back(path);
    get();
    EXPECT_EQ(poll, 1);
    EXPECT_EQ(order, 5);
    EXPECT_DOUBLE_EQ(transbeg, -1000.0);
    EXPECT_DOUBLE_EQ(waitdel, 0.3);
    poll = 0;
}
