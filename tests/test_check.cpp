// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check on its own: attribution, noise, hit rate, separation, grades.
#include <gtest/gtest.h>

#include "check/teach_check.h"

using check::Grade;
using check::Record;
using check::TeachCheck;

namespace {

// A table whose rows are (x, y, cto, int, ito) as given; the rest 1.
check::Table MakeTable(std::initializer_list<std::array<std::uint16_t, 5>> rows) {
    check::Table t;
    t.fill(1);
    std::size_t r = 0;
    for (const auto &row : rows) {
        for (std::size_t c = 0; c < 5; ++c)
            t[5 * r + c] = row[c];
        ++r;
    }
    return t;
}

Record At(std::uint16_t x, std::uint16_t y, std::uint16_t colour, std::uint16_t intensity = 500) {
    Record r;
    r.x = x;
    r.y = y;
    r.intensity = intensity;
    r.colour = colour;
    return r;
}

// `n` records around (x, y): alternately (+3, +4) and (-3, -4), RMS distance 5 from the mean;
// the first `misses` with colour number 255, the others `colour`.
void Feed(TeachCheck &c, int n, std::uint16_t x, std::uint16_t y, std::uint16_t colour,
          int misses = 0) {
    for (int i = 0; i < n; ++i) {
        const int s = i % 2 ? -1 : 1;
        c.add(At(std::uint16_t(x + 3 * s), std::uint16_t(y + 4 * s),
                 i < misses ? std::uint16_t(255) : colour, std::uint16_t(500 + 2 * s)));
    }
}

} // namespace

TEST(TeachCheck, RecordsGoToTheNearestRowInReachOrToNone) {
    TeachCheck c;
    // Row 2 is inactive: a record on it belongs to nobody.
    c.setTable(
        MakeTable(
            {{1000, 1000, 50, 500, 150}, {1200, 1000, 30, 500, 150}, {3000, 500, 100, 500, 150}}),
        2, 0, 0);
    EXPECT_EQ(c.attribute(At(1010, 1000, 0)), 0);
    EXPECT_EQ(c.attribute(At(1150, 1000, 0)), 1); // inside row 0's reach too, nearer row 1
    EXPECT_EQ(c.attribute(At(1100, 1000, 0)), 0); // equally far: the lower row
    EXPECT_EQ(c.attribute(At(1000, 1100, 0)), 0); // exactly twice the CTO still counts
    EXPECT_EQ(c.attribute(At(1000, 1101, 0)), check::kNone);
    EXPECT_EQ(c.attribute(At(1261, 1000, 1)), check::kNone); // beyond row 1's 60
    EXPECT_EQ(c.attribute(At(3000, 500, 2)), check::kNone);  // inactive row
    EXPECT_EQ(c.rowCount(), 2);
    // A tight row's misses stay its own misses: a wide row farther off does not take them.
    c.setTable(MakeTable({{1000, 1000, 100, 500, 150}, {1200, 1000, 10, 500, 150}}), 2, 0, 0);
    EXPECT_EQ(c.attribute(At(1170, 1000, 255)), check::kNone);
    // Below INTLIM the sensor names no colour and X, Y are noise: the dark belt is nobody's,
    // even where its X and Y land on a circle.
    c.setTable(MakeTable({{1000, 1000, 50, 500, 150}}), 1, 0, 200);
    EXPECT_EQ(c.add(At(1000, 1000, 255, 199)), check::kNone);
    EXPECT_EQ(c.add(At(1000, 1000, 0, 200)), 0);
    EXPECT_EQ(c.result(0).records, 1);
    Record mean;
    EXPECT_EQ(c.recentMean(0, 20, &mean), 1) << "nor is the belt part of a teach";
}

TEST(TeachCheck, NoiseIsTheRmsDistanceAndTheIntensitySpread) {
    TeachCheck c;
    c.setTable(MakeTable({{1000, 1000, 15, 500, 150}}), 1, 0, 0);
    Feed(c, 100, 1000, 1000, 0);
    const check::RowResult r = c.result(0);
    EXPECT_EQ(r.records, 100);
    EXPECT_NEAR(r.noiseXY, 5.0, 1e-9);
    EXPECT_NEAR(r.noiseInt, 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(r.hitRate, 1.0);
    EXPECT_FALSE(r.hasNeighbour);
    EXPECT_EQ(r.grade, Grade::Robust); // CTO exactly three times the noise
}

TEST(TeachCheck, GradesAtTheirThresholds) {
    struct Case {
        std::uint16_t cto;
        int misses; // of 100
        Grade grade;
    };
    const Case cases[] = {
        {15, 1, Grade::Robust},    // hit rate 0.99
        {15, 2, Grade::Marginal},  // 0.98
        {15, 10, Grade::Marginal}, // 0.90
        {15, 11, Grade::Failing},  // 0.89
        {14, 0, Grade::Marginal},  // CTO below three times the noise of 5
        {5, 0, Grade::Marginal},   // CTO equal to the noise
        {4, 0, Grade::Failing},    // CTO below the noise
    };
    for (const Case &k : cases) {
        TeachCheck c;
        c.setTable(MakeTable({{1000, 1000, k.cto, 500, 150}}), 1, 0, 0);
        Feed(c, 100, 1000, 1000, 0, k.misses);
        EXPECT_EQ(c.result(0).grade, k.grade) << "CTO " << k.cto << ", misses " << k.misses;
    }
    TeachCheck c;
    EXPECT_EQ(c.result(0).grade, Grade::NotSeen);
    EXPECT_STREQ(check::GradeName(Grade::NotSeen), "not seen");
}

TEST(TeachCheck, OverlappingCirclesCountUnlessIntensityKeepsThemApart) {
    // Rows 100 apart with CTO 60 each: the circles overlap by 20.
    const auto table = [](std::uint16_t int1) {
        return MakeTable({{1000, 1000, 60, 500, 150}, {1100, 1000, 60, int1, 150}});
    };
    struct Case {
        std::uint16_t int1;
        int evalmode;
        bool bandsOverlap;
        Grade grade;
    };
    const Case cases[] = {
        {800, 0, true, Grade::Marginal},  // the bands touch at 650
        {801, 0, false, Grade::Robust},   // apart by intensity
        {801, 1, false, Grade::Marginal}, // X/Y alone does not look at intensity
    };
    for (const Case &k : cases) {
        TeachCheck c;
        c.setTable(table(k.int1), 2, k.evalmode, 0);
        Feed(c, 100, 1000, 1000, 0);
        const check::RowResult r = c.result(0);
        EXPECT_EQ(r.neighbour, 1);
        EXPECT_NEAR(r.separation, -20.0, 1e-9);
        EXPECT_EQ(r.bandsOverlap, k.bandsOverlap);
        EXPECT_EQ(r.grade, k.grade) << "INT " << k.int1 << ", EVALMODE " << k.evalmode;
    }
}

TEST(TeachCheck, TableChangeReattributesTheKeptRecordsAndTheMeanSkipsOtherRows) {
    TeachCheck c;
    c.setTable(MakeTable({{1000, 1000, 150, 500, 150}, {1400, 1000, 150, 500, 150}}), 2, 0, 0);
    Feed(c, 30, 1000, 1000, 0);
    Feed(c, 10, 1400, 1000, 1);
    EXPECT_EQ(c.result(0).records, 30);
    // Row 1 is taught elsewhere: its records now belong to nobody, row 0 keeps its own.
    c.setTable(MakeTable({{1000, 1000, 10, 500, 150}, {3000, 500, 10, 500, 150}}), 2, 0, 0);
    EXPECT_EQ(c.result(0).records, 30);
    EXPECT_EQ(c.result(0).grade, Grade::Marginal); // CTO 10 < 3 x 5
    EXPECT_EQ(c.result(1).records, 0);

    // Row 0's neighbour takes records of its own: the mean for row 1 leaves them out.
    c.setTable(MakeTable({{1000, 1000, 150, 500, 150}, {1400, 1000, 150, 500, 150}}), 2, 0, 0);
    Record mean;
    ASSERT_EQ(c.recentMean(1, 20, &mean), 10); // only row 1's own ten records
    EXPECT_EQ(mean.x, 1400);
    EXPECT_EQ(mean.y, 1000);
    c.add(At(2500, 2500, 255)); // attributed to none: part of anyone's mean
    ASSERT_EQ(c.recentMean(0, 1, &mean), 1);
    EXPECT_EQ(mean.x, 2500);
    c.clear();
    EXPECT_EQ(c.recentMean(0, 20, &mean), 0);
    EXPECT_EQ(c.result(0).records, 0);
}

TEST(TeachCheck, ContrastModesCheckRowZerosBandOnTheChannel) {
    // Row 0 holds UL 2150 and LL 1850 (a teach at 2000); MAXCOL-No. does not matter.
    const auto table = MakeTable({{2150, 1850, 1, 1, 1}, {1000, 1000, 150, 500, 150}});
    const int channels[] = {2, 3, 4};
    for (int mode : channels) {
        TeachCheck c;
        c.setTable(table, 5, mode, 0);
        EXPECT_TRUE(c.contrast());
        ASSERT_EQ(c.rowCount(), 1);
        for (int i = 0; i < 100; ++i) {
            Record r;
            const std::uint16_t v = std::uint16_t(i % 2 ? 1990 : 2010); // noise 10
            r.r = mode == 2 ? v : 100;
            r.g = mode == 3 ? v : 100;
            r.b = mode == 4 ? v : 100;
            r.colour = 0;
            EXPECT_EQ(c.add(r), 0);
        }
        Record far; // the other channels read 2000: it is the compared one that counts
        far.r = far.g = far.b = 2000;
        (mode == 2 ? far.r : mode == 3 ? far.g : far.b) = 2451; // beyond 2000 + 2 x 150
        EXPECT_EQ(c.add(far), check::kNone);
        const check::RowResult r = c.result(0);
        EXPECT_EQ(r.records, 100);
        EXPECT_NEAR(r.noiseXY, 10.0, 1e-9);
        EXPECT_DOUBLE_EQ(r.tolerance, 150.0);
        EXPECT_FALSE(r.hasNeighbour);
        EXPECT_EQ(r.grade, Grade::Robust) << "EVALMODE " << mode;
    }
    // Limits the wrong way round match nothing: the band has no room for any noise.
    TeachCheck c;
    c.setTable(MakeTable({{1850, 2150, 1, 1, 1}}), 1, 2, 0);
    Record r;
    r.r = 2000;
    ASSERT_EQ(c.add(r), 0);
    EXPECT_EQ(c.result(0).grade, Grade::Failing);
}
