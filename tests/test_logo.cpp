// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The logo band: each branding's colour, picture position and text lines.
#include <string>
#include <vector>

#include "logo/logo.h"
#include "panel_fixture.h"

namespace {

struct Line {
    int left, top, size, color, background;
};

class Logo : public PanelTest {
protected:
    // Draws a variant and returns the text lines it created, in creation order.
    std::vector<Line> draw(int variant) {
        const int before = NewCtrl(panel, CTRL_TEXT_MSG, "", 0, 0); // the next free identifier
        ShowLogo(variant);
        std::vector<Line> lines;
        for (int id = before + 1;; ++id) {
            Line l{};
            if (GetCtrlAttribute(panel, id, ATTR_LEFT, &l.left) != 0)
                break;
            GetCtrlAttribute(panel, id, ATTR_TOP, &l.top);
            GetCtrlAttribute(panel, id, ATTR_TEXT_POINT_SIZE, &l.size);
            GetCtrlAttribute(panel, id, ATTR_TEXT_COLOR, &l.color);
            GetCtrlAttribute(panel, id, ATTR_TEXT_BGCOLOR, &l.background);
            lines.push_back(l);
        }
        return lines;
    }
};

} // namespace

TEST_F(Logo, StartUpBrandingIsBlueWithTitleAndThreeWhiteLines) {
    const auto lines = draw(5);
    EXPECT_EQ(attr(PANEL_LOGOFRAME, ATTR_FRAME_COLOR), 0x0080FF);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_TOP), 6);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_LEFT), 325);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].left, 323);
    EXPECT_EQ(lines[0].top, 30);
    EXPECT_EQ(lines[0].size, 18);
    const int tops[] = {5, 20, 35};
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(lines[i].left, 15);
        EXPECT_EQ(lines[i].top, tops[i - 1]);
        EXPECT_EQ(lines[i].size, 12);
    }
    for (const Line &l : lines) {
        EXPECT_EQ(l.color, 0xFFFFFF);
        EXPECT_EQ(l.background, VAL_TRANSPARENT);
    }
}

TEST_F(Logo, TitleTextAndStylesOfTheOtherVariants) {
    // Variant 0: only a black title, the picture moved aside.
    auto lines = draw(0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].left, 280);
    EXPECT_EQ(lines[0].top, 20);
    EXPECT_EQ(lines[0].size, 22);
    EXPECT_EQ(lines[0].color, 0x000000);
    EXPECT_EQ(lines[0].background, 0xFFFFFF);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_LEFT), 800);
    EXPECT_EQ(attr(PANEL_LOGOFRAME, ATTR_FRAME_COLOR), 0xFFFFFF);

    // Grey text in style 1 with two further lines; black in style 2 with three.
    lines = draw(1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].top, 13);
    EXPECT_EQ(lines[2].top, 32);
    for (const Line &l : lines)
        EXPECT_EQ(l.color, 0x808080);
    lines = draw(6);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].left, 340);
    EXPECT_EQ(lines[3].top, 5);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_LEFT), 599);

    EXPECT_EQ(draw(12).size(), 1u);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_LEFT), 650);
    EXPECT_EQ(draw(9).size(), 1u);
    EXPECT_EQ(attr(PANEL_LOGO, ATTR_TOP), 2);
}

TEST_F(Logo, IndexOutsideTheTableDrawsNothing) {
    draw(5);
    EXPECT_TRUE(draw(13).empty());
    EXPECT_TRUE(draw(-1).empty());
    EXPECT_EQ(attr(PANEL_LOGOFRAME, ATTR_FRAME_COLOR), 0x0080FF) << "the last drawing stays";
    char title[64] = {};
    // The title of the start-up variant is the product name.
    const int probe = NewCtrl(panel, CTRL_TEXT_MSG, "", 0, 0);
    ShowLogo(5);
    GetCtrlVal(panel, probe + 1, title, sizeof title);
    EXPECT_STREQ(title, "Tintaro V1.0");
}
