// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check in the window.
#include "gui/teachcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Tintarov10/state.h"
#include "check/teach_check.h"
#include "gui/gui.h"
#include "platform/table_window.h"
#include "platform/ui.h"

namespace {

constexpr int kMeanRecords = 20;
enum Column {
    kRow,
    kX,
    kY,
    kInt,
    kCto,
    kIto,
    kRecords,
    kNoise,
    kHitRate,
    kSeparation,
    kGrade,
    kColumns
};
constexpr const char *kHeadings[kColumns] = {"row",      "X",          "Y",       "INT",
                                             "CTO",      "ITO",        "records", "noise X/Y, INT",
                                             "hit rate", "separation", "grade"};
// Grade colours: green, amber, red (not seen: the table's own).
constexpr int kGradeColour[] = {VAL_TRANSPARENT, 0x7CD67C, 0xFFC83C, 0xFF7070};

check::TeachCheck teachCheck;
int window_ = 0;
// The block words the check last took from the panel: EVALMODE, INTLIM, MAXCOL-No. and the
// table.
std::uint16_t seen_[protocol::kParaWords] = {};
bool haveTable_ = false;

bool WindowShown() {
    return window_ > 0 && TableWindowVisible(window_) == 1;
}

void ShowRow(int row) {
    const check::RowResult r = teachCheck.result(row);
    char text[kColumns][40];
    std::snprintf(text[kRow], sizeof text[0], "%d", r.row);
    std::snprintf(text[kX], sizeof text[0], "%u", unsigned(r.x));
    std::snprintf(text[kY], sizeof text[0], "%u", unsigned(r.y));
    std::snprintf(text[kInt], sizeof text[0], "%u", unsigned(r.intensity));
    if (teachCheck.contrast())
        std::snprintf(text[kCto], sizeof text[0], "%g", r.tolerance); // the half band
    else
        std::snprintf(text[kCto], sizeof text[0], "%u", unsigned(r.cto));
    std::snprintf(text[kIto], sizeof text[0], "%u", unsigned(r.ito));
    std::snprintf(text[kRecords], sizeof text[0], "%ld", r.records);
    text[kNoise][0] = text[kHitRate][0] = '\0';
    if (r.records > 0) {
        std::snprintf(text[kNoise], sizeof text[0], "%.1f, %.1f", r.noiseXY, r.noiseInt);
        std::snprintf(text[kHitRate], sizeof text[0], "%.3f", r.hitRate);
    }
    text[kSeparation][0] = '\0';
    if (r.hasNeighbour)
        std::snprintf(text[kSeparation], sizeof text[0], "%.1f to row %d%s", r.separation,
                      r.neighbour, r.bandsOverlap ? "" : ", INT apart");
    std::snprintf(text[kGrade], sizeof text[0], "%s", check::GradeName(r.grade));
    for (int c = 0; c < kColumns; ++c)
        SetTableWindowCell(window_, row, c, text[c]);
    SetTableWindowCellColour(window_, row, kGrade, kGradeColour[int(r.grade)]);
}

void ShowAllRows() {
    if (window_ <= 0)
        return;
    SetTableWindowRows(window_, teachCheck.rowCount());
    for (int row = 0; row < teachCheck.rowCount(); ++row)
        ShowRow(row);
}

// Takes the table as the panel shows it now (edited, taught, adjusted, read); the records kept
// go to the rows anew when it changed.
void FollowPanelTable() {
    std::uint16_t block[protocol::kParaWords] = {};
    PeekPanelValues(block);
    const bool same = haveTable_ && block[3] == seen_[3] && block[5] == seen_[5] &&
                      block[6] == seen_[6] &&
                      std::memcmp(block + protocol::kTableBegin, seen_ + protocol::kTableBegin,
                                  sizeof(std::uint16_t) * kTeachRows * kTeachCols) == 0;
    if (same)
        return;
    std::memcpy(seen_, block, sizeof seen_);
    haveTable_ = true;
    check::Table table{};
    std::memcpy(table.data(), block + protocol::kTableBegin, sizeof(std::uint16_t) * table.size());
    teachCheck.setTable(table, block[6], block[3], block[5]);
    if (WindowShown())
        ShowAllRows();
}

void OnClear(int) {
    ClearTeachCheck();
}
void OnCheckItem(int, int) {
    OpenTeachCheck();
}
void OnMeanItem(int, int) {
    TeachMeanOfLastRecords();
}

} // namespace

void InstallTeachMenu() {
    AddMenuBarItem(panel, "Teach", "Teach check...", OnCheckItem);
    AddMenuBarItem(panel, "Teach", "Teach the mean of the last 20 records", OnMeanItem);
}

void OpenTeachCheck() {
    if (window_ <= 0 || TableWindowVisible(window_) < 0) // none yet, or gone with its panel
        window_ = NewTableWindow(panel, "Teach check", kColumns, kHeadings, "Clear", OnClear);
    if (window_ <= 0)
        return;
    FollowPanelTable();
    ShowAllRows();
    ShowTableWindow(window_);
}

void ClearTeachCheck() {
    teachCheck.clear();
    ShowAllRows();
}

void TableSentForCheck() {
    ClearTeachCheck();
}

void CheckShownData() {
    // While the window shows the figures, they follow the table as the operator edits it.
    if (WindowShown() || !haveTable_)
        FollowPanelTable();
    const int row =
        teachCheck.add(check::Record{dataR, dataG, dataB, dataX, dataY, dataINT, dataCOL});
    if (row != check::kNone && WindowShown())
        ShowRow(row);
}

void CheckAfterTeach() {
    FollowPanelTable();
    char note[160] = "";
    int tight = 0;
    std::size_t used = 0;
    for (int row = 0; row < teachCheck.rowCount(); ++row) {
        const check::RowResult r = teachCheck.result(row);
        if (r.records == 0 || r.tolerance >= 3.0 * r.noiseXY)
            continue;
        const int n =
            std::snprintf(note + used, sizeof note - used, "%s%d", tight ? ", " : "", row);
        if (n > 0 && used + std::size_t(n) < sizeof note)
            used += std::size_t(n);
        ++tight;
    }
    if (tight > 0) {
        char text[sizeof note + 64]; // room for the longest list of rows
        std::snprintf(text, sizeof text, "%s %s %s: expect misses", tight > 1 ? "rows" : "row",
                      note, tight > 1 ? "tighter than their noise" : "tighter than its noise");
        SetStatusBarNote(panel, text, 1);
    } else {
        SetStatusBarNote(panel, "", 0);
    }
}

void TeachMeanOfLastRecords() {
    FollowPanelTable();
    u16 n = 0;
    GetCtrlVal(panel, PANEL_NO, &n);
    const int row = teachCheck.contrast() ? 0 : int(n);
    check::Record mean;
    const int found = teachCheck.recentMean(row, kMeanRecords, &mean);
    if (found < kMeanRecords) {
        static char message[200];
        std::snprintf(message, sizeof message,
                      " ATTENTION! \n \n ONLY %d OF THE %d RECORDS NEEDED \n"
                      " PRESS GO WITH THE COLOUR UNDER THE SENSOR \n ",
                      found, kMeanRecords);
        MessagePopup("INFO", message);
        return;
    }
    // As the TEACH DATA TO button: the zoom graph goes behind the X/Y graph.
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    TeachValuesTo(mean.x, mean.y, mean.intensity, mean.r, mean.g, mean.b);
    CheckAfterTeach();
}
