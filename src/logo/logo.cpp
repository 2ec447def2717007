// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The logo area: thirteen brandings, each a band colour, a bitmap and up to four text lines.
#include "logo/logo.h"

#include <iterator>

#include "Tintarov10/state.h"
#include "platform/ui.h"

namespace {

constexpr char kTitle[] = "Tintaro V1.0";

using TextRoutine = void (*)(int, const char *, int, int, int);

struct TextLine {
    const char *text;
    int left, top, size;
};

struct Variant {
    int areaColor;
    int pictureTop, pictureLeft;
    const char *bitmap; // nullptr: no bitmap
    TextRoutine style;  // the title and the further lines share one style
    TextLine title;
    TextLine lines[3];
    int lineCount;
};

// Further lines: the maker's own (variant 5) and a reseller's (the others).
constexpr char kMaker[] = "Tintaro Colour Sensing";
constexpr char kMakerPhone[] = "Tel. +00 000 000000";
constexpr char kMakerWeb[] = "www.example.com";
constexpr char kReseller[] = "Example Automation Supplies";
constexpr char kResellerTown[] = "1 Example Street, Exampletown";
constexpr char kResellerPhone[] = "Tel. +00 000 000000";

const Variant kVariants[] = {
    {0xFFFFFF, 5, 800, nullptr, ShowInfoText2, {kTitle, 280, 20, 22}, {}, 0},
    {0xFFFFFF,
     5,
     646,
     "logo_v1.bmp",
     ShowInfoText1,
     {kTitle, 280, 20, 22},
     {{kReseller, 15, 13, 14}, {kResellerTown, 15, 32, 14}},
     2},
    {0xFFFFFF,
     5,
     705,
     "logo_v2.bmp",
     ShowInfoText2,
     {kTitle, 280, 20, 22},
     {{kReseller, 15, 21, 14}, {kResellerTown, 15, 37, 14}, {kResellerPhone, 15, 5, 14}},
     3},
    {0xFFFFFF, 6, 572, "logo_v3.bmp", ShowInfoText1, {kTitle, 20, 16, 25}, {}, 0},
    {0xFFFFFF, 6, 636, "logo_v4.bmp", ShowInfoText1, {kTitle, 20, 16, 25}, {}, 0},
    {0x0080FF,
     6,
     325,
     "logo_v5.bmp",
     ShowInfoText3,
     {kTitle, 323, 30, 18},
     {{kMaker, 15, 5, 12}, {kMakerPhone, 15, 20, 12}, {kMakerWeb, 15, 35, 12}},
     3},
    {0xFFFFFF,
     6,
     599,
     "logo_v6.bmp",
     ShowInfoText2,
     {kTitle, 340, 20, 22},
     {{kReseller, 15, 20, 14}, {kResellerTown, 15, 35, 14}, {kResellerPhone, 15, 5, 14}},
     3},
    {0xFFFFFF,
     5,
     649,
     "logo_v7.bmp",
     ShowInfoText1,
     {kTitle, 280, 20, 22},
     {{kReseller, 15, 13, 14}, {kResellerTown, 15, 32, 14}},
     2},
    {0xFFFFFF,
     5,
     594,
     "logo_v8.bmp",
     ShowInfoText1,
     {kTitle, 280, 20, 22},
     {{kReseller, 15, 13, 14}, {kResellerTown, 15, 32, 14}},
     2},
    {0xFFFFFF, 2, 7, "logo_v9.bmp", ShowInfoText3, {kTitle, 280, 20, 22}, {}, 0},
    {0xFFFFFF, 6, 640, "logo_v10.bmp", ShowInfoText1, {kTitle, 20, 16, 25}, {}, 0},
    {0xFFFFFF, 6, 640, "logo_v11.bmp", ShowInfoText1, {kTitle, 20, 16, 25}, {}, 0},
    {0xFFFFFF, 6, 650, "logo_v12.bmp", ShowInfoText1, {kTitle, 20, 16, 25}, {}, 0},
};

// Creates one text line in the given colours.
void ShowInfoText(int id, const char *text, int left, int top, int size, int textColor,
                  int backColor) {
    id = NewCtrl(panel, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(panel, id, ATTR_TEXT_FONT, "AppFont");
    SetCtrlAttribute(panel, id, ATTR_TEXT_BGCOLOR, backColor);
    SetCtrlAttribute(panel, id, ATTR_TEXT_COLOR, textColor);
    SetCtrlAttribute(panel, id, ATTR_TEXT_POINT_SIZE, size);
    SetCtrlVal(panel, id, text);
}

} // namespace

void ShowInfoText1(int id, const char *text, int left, int top, int size) {
    ShowInfoText(id, text, left, top, size, 0x808080, 0xFFFFFF);
}

void ShowInfoText2(int id, const char *text, int left, int top, int size) {
    ShowInfoText(id, text, left, top, size, 0x000000, 0xFFFFFF);
}

void ShowInfoText3(int id, const char *text, int left, int top, int size) {
    ShowInfoText(id, text, left, top, size, 0xFFFFFF, VAL_TRANSPARENT);
}

void ShowLogo(int variant) {
    if (variant < 0 || variant >= static_cast<int>(std::size(kVariants)))
        return;
    const Variant &v = kVariants[variant];
    SetCtrlAttribute(panel, PANEL_LOGOFRAME, ATTR_FRAME_COLOR, v.areaColor);
    SetCtrlAttribute(panel, PANEL_LOGO, ATTR_TOP, v.pictureTop);
    SetCtrlAttribute(panel, PANEL_LOGO, ATTR_LEFT, v.pictureLeft);
    if (v.bitmap)
        DisplayImageFile(panel, PANEL_LOGO, v.bitmap);
    v.style(textIDsoft, v.title.text, v.title.left, v.title.top, v.title.size);
    for (int i = 0; i < v.lineCount; ++i)
        v.style(textIDsoft, v.lines[i].text, v.lines[i].left, v.lines[i].top, v.lines[i].size);
}
