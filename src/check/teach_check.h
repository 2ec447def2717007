// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check: how well a teach table holds on the live records. Each record is attributed
// to the taught row it belongs to, and per row the check keeps the noise of its records, how
// often the sensor named the row, how far the row's circle is from its nearest neighbour, and a
// grade. Plain C++, no allocation after construction: the window feeds it from the polling
// loop, tintaro-cli from its own.
//
// Colour modes (every EVALMODE but 2, 3, 4): a record goes to the nearest active row in the X/Y
// plane (the lower row when two are as near), or to none when it is farther than twice that
// row's CTO from it (a gap between cards). The noise is the RMS distance of a row's
// records from their mean in X/Y, and the standard deviation of their INT.
//
// In every mode a record whose INT is below INTLIM goes to none: the sensor names no colour
// for it, and its X and Y are the ratio of three small, noisy counts that may land anywhere,
// on a taught circle too (the dark belt between cards does).
//
// Contrast modes (EVALMODE 2, 3, 4 on RED, GREEN, BLUE): only row 0 counts, and its words 0
// and 1 are the limits UL and LL on the raw channel. The band's half-width (UL - LL) / 2 stands
// for the CTO and its middle for the centre: a record goes to row 0 when its channel is within
// twice the half-width of the middle. The X/Y noise is the standard deviation of the channel.
// There is no other row, so no separation.
#pragma once

#include <array>
#include <cstdint>

namespace check {

constexpr int kRows = 15;
constexpr int kCols = 5;
constexpr int kNone = -1;      // a record attributed to no row
constexpr int kHistory = 1024; // records kept for a table change and the teach mean
using Table = std::array<std::uint16_t, kRows * kCols>; // row r, word c at 5 * r + c

// One data record's words (wire order R, G, B, X, Y, INT, colour number).
struct Record {
    std::uint16_t r = 0, g = 0, b = 0, x = 0, y = 0, intensity = 0, colour = 255;
};
// From the seven words of a data reply in wire order.
Record RecordFromWords(const std::uint16_t *words);

enum class Grade { NotSeen, Robust, Marginal, Failing };
// "not seen", "robust", "marginal", "failing".
const char *GradeName(Grade grade);

struct RowResult {
    int row = 0;
    std::uint16_t x = 0, y = 0, cto = 0, intensity = 0, ito = 0; // the row's words
    double tolerance = 0; // the radius the noise is held against: CTO, or the half band
    long records = 0;
    long hits = 0;       // records whose colour number is this row
    double noiseXY = 0;  // RMS distance from the mean in X/Y (contrast: channel std dev)
    double noiseInt = 0; // standard deviation of INT
    double hitRate = 0;  // hits / records; 0 with no records
    bool hasNeighbour = false;
    int neighbour = kNone;     // the nearest other active row by centre distance
    double separation = 0;     // centre distance minus both CTOs; negative: the circles overlap
    bool bandsOverlap = false; // the intensity bands INT +- ITO of the two overlap or touch
    // Some other active row's circle overlaps this one and intensity does not keep them apart
    // (the bands meet, or EVALMODE 1 ignores intensity).
    bool conflict = false;
    Grade grade = Grade::NotSeen;
};

class TeachCheck {
public:
    TeachCheck();

    // The table to check (rows 0 to maxcolno - 1 active, at most 15) in evaluation mode
    // `evalmode`, with the sensor's INTLIM. The records kept are attributed anew, so the rows'
    // figures follow the table at once; nothing is lost.
    void setTable(const Table &table, int maxcolno, int evalmode, int intlim);
    // Takes a record; returns the row it was attributed to, or kNone. O(rows).
    int add(const Record &record);
    // Forgets every record; the table stays.
    void clear();

    // Rows to report: the active rows, or row 0 alone in a contrast mode (0 with MAXCOL-No. 0).
    int rowCount() const { return rows_; }
    bool contrast() const { return contrast_; }
    // The figures of row `row` (0 <= row < rowCount()).
    RowResult result(int row) const;
    long records() const { return total_; }

    // The mean of the last `count` records kept that are attributed to `row` or to none, leaving
    // out those below INTLIM: the colour under the sensor now, not a neighbour's or the belt's.
    // Every word but the colour number is the rounded mean. Returns how many records were found
    // (fewer than `count` when not enough were kept); with 0, `mean` is left untouched.
    int recentMean(int row, int count, Record *mean) const;

    // The row a record belongs to under the current table (kNone: none); does not keep it.
    int attribute(const Record &record) const;

private:
    struct Stats {
        long n = 0, hits = 0;
        double mx = 0, my = 0, mi = 0; // running means
        double sx = 0, sy = 0, si = 0; // running sums of squared deviations
    };
    void accumulate(int row, const Record &record);

    Table table_{};
    int rows_ = 0;
    int evalmode_ = 0;
    int intlim_ = 0;
    bool contrast_ = false;
    // Per active row, formed once per table: the reach (colour modes: twice the CTO, squared;
    // contrast: twice the half band) and the neighbour figures.
    double reach2_[kRows] = {};
    RowResult fixed_[kRows];
    Stats stats_[kRows];
    long total_ = 0;
    Record history_[kHistory];
    int attributed_[kHistory] = {}; // the row each kept record went to
    int head_ = 0;                  // next slot
    int kept_ = 0;
};

} // namespace check
