// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check: attribution of records to rows, noise, hit rate, separation and grade.
#include "check/teach_check.h"

#include <cmath>

namespace check {
namespace {

bool IsContrast(int evalmode) {
    return evalmode == 2 || evalmode == 3 || evalmode == 4;
}

// The intensity bands INT +- ITO meet, the way the auto-adjust decides it (ends inclusive, a
// band may reach below zero).
bool BandsMeet(const std::uint16_t *a, const std::uint16_t *b) {
    const int lowA = int(a[3]) - a[4], highA = int(a[3]) + a[4];
    const int lowB = int(b[3]) - b[4], highB = int(b[3]) + b[4];
    return (lowB >= lowA && lowB <= highA) || (lowA >= lowB && lowA <= highB);
}

// The raw channel a contrast mode compares with the limits.
double Channel(int evalmode, const Record &r) {
    return evalmode == 2 ? r.r : (evalmode == 3 ? r.g : r.b);
}

} // namespace

Record RecordFromWords(const std::uint16_t *w) {
    Record r;
    r.r = w[0];
    r.g = w[1];
    r.b = w[2];
    r.x = w[3];
    r.y = w[4];
    r.intensity = w[5];
    r.colour = w[6];
    return r;
}

const char *GradeName(Grade grade) {
    switch (grade) {
    case Grade::Robust:
        return "robust";
    case Grade::Marginal:
        return "marginal";
    case Grade::Failing:
        return "failing";
    case Grade::NotSeen:
        break;
    }
    return "not seen";
}

TeachCheck::TeachCheck() {
    setTable(Table{}, 0, 0, 0);
}

void TeachCheck::setTable(const Table &table, int maxcolno, int evalmode, int intlim) {
    table_ = table;
    evalmode_ = evalmode;
    intlim_ = intlim;
    contrast_ = IsContrast(evalmode);
    rows_ = contrast_ ? 1 : (maxcolno < 0 ? 0 : (maxcolno > kRows ? kRows : maxcolno));
    for (int i = 0; i < kRows; ++i) {
        const std::uint16_t *w = &table_[std::size_t(kCols * i)];
        RowResult &f = fixed_[i];
        f = RowResult{};
        f.row = i;
        f.x = w[0];
        f.y = w[1];
        f.cto = w[2];
        f.intensity = w[3];
        f.ito = w[4];
        if (contrast_) {
            const double half = (double(w[0]) - double(w[1])) / 2.0;
            f.tolerance = half > 0 ? half : 0.0;
            reach2_[i] = 2.0 * std::fabs(half);
            continue;
        }
        f.tolerance = w[2];
        reach2_[i] = 4.0 * double(w[2]) * double(w[2]);
    }
    if (!contrast_) {
        for (int i = 0; i < rows_; ++i) {
            const std::uint16_t *wi = &table_[std::size_t(kCols * i)];
            RowResult &f = fixed_[i];
            double nearest = 0;
            for (int j = 0; j < rows_; ++j) {
                if (j == i)
                    continue;
                const std::uint16_t *wj = &table_[std::size_t(kCols * j)];
                const double d = std::hypot(double(wi[0]) - wj[0], double(wi[1]) - wj[1]);
                const bool meet = BandsMeet(wi, wj);
                // EVALMODE 1 looks at the colour circle only: intensity keeps nothing apart.
                if (d < double(wi[2]) + wj[2] && (meet || evalmode_ == 1))
                    f.conflict = true;
                if (!f.hasNeighbour || d < nearest) {
                    nearest = d;
                    f.hasNeighbour = true;
                    f.neighbour = j;
                    f.separation = d - wi[2] - wj[2];
                    f.bandsOverlap = meet;
                }
            }
        }
    }
    // The records kept go to the rows of the new table.
    for (Stats &s : stats_)
        s = Stats{};
    total_ = 0;
    for (int k = 0; k < kept_; ++k) {
        const int slot = (head_ - kept_ + k + kHistory) % kHistory;
        attributed_[slot] = attribute(history_[slot]);
        ++total_;
        if (attributed_[slot] != kNone)
            accumulate(attributed_[slot], history_[slot]);
    }
}

int TeachCheck::attribute(const Record &rec) const {
    if (int(rec.intensity) < intlim_)
        return kNone;
    if (contrast_) {
        if (rows_ < 1)
            return kNone;
        const std::uint16_t *w = &table_[0];
        const double middle = (double(w[0]) + double(w[1])) / 2.0;
        return std::fabs(Channel(evalmode_, rec) - middle) <= reach2_[0] ? 0 : kNone;
    }
    // The nearest row alone decides: a wide circle farther off never takes the records that a
    // tight one nearer by lets go (they are that colour's misses, not the wide row's).
    int best = kNone;
    double bestD2 = 0;
    for (int i = 0; i < rows_; ++i) {
        const double dx = double(rec.x) - table_[std::size_t(kCols * i)];
        const double dy = double(rec.y) - table_[std::size_t(kCols * i + 1)];
        const double d2 = dx * dx + dy * dy;
        if (best == kNone || d2 < bestD2) {
            best = i;
            bestD2 = d2;
        }
    }
    return best != kNone && bestD2 <= reach2_[best] ? best : kNone;
}

void TeachCheck::accumulate(int row, const Record &rec) {
    // Welford's running mean and sum of squared deviations: stable over long runs.
    Stats &s = stats_[row];
    ++s.n;
    if (rec.colour == row)
        ++s.hits;
    const double vx = contrast_ ? Channel(evalmode_, rec) : rec.x;
    const double vy = contrast_ ? 0.0 : rec.y;
    const double vi = rec.intensity;
    const double n = double(s.n);
    const double dx = vx - s.mx, dy = vy - s.my, di = vi - s.mi;
    s.mx += dx / n;
    s.my += dy / n;
    s.mi += di / n;
    s.sx += dx * (vx - s.mx);
    s.sy += dy * (vy - s.my);
    s.si += di * (vi - s.mi);
}

int TeachCheck::add(const Record &rec) {
    const int row = attribute(rec);
    history_[head_] = rec;
    attributed_[head_] = row;
    head_ = (head_ + 1) % kHistory;
    if (kept_ < kHistory)
        ++kept_;
    ++total_;
    if (row != kNone)
        accumulate(row, rec);
    return row;
}

void TeachCheck::clear() {
    for (Stats &s : stats_)
        s = Stats{};
    total_ = 0;
    head_ = 0;
    kept_ = 0;
}

RowResult TeachCheck::result(int row) const {
    RowResult r = fixed_[row];
    const Stats &s = stats_[row];
    r.records = s.n;
    r.hits = s.hits;
    if (s.n == 0)
        return r; // not seen
    const double n = double(s.n);
    r.noiseXY = std::sqrt((s.sx + s.sy) / n);
    r.noiseInt = std::sqrt(s.si / n);
    r.hitRate = double(s.hits) / n;
    // The rates in whole records, so that 99 of 100 is exactly at the threshold.
    const bool hitsRobust = s.hits * 100 >= s.n * 99;
    const bool hitsFailing = s.hits * 10 < s.n * 9;
    if (hitsFailing || r.tolerance < r.noiseXY)
        r.grade = Grade::Failing;
    else if (hitsRobust && r.tolerance >= 3.0 * r.noiseXY && !r.conflict)
        r.grade = Grade::Robust;
    else
        r.grade = Grade::Marginal;
    return r;
}

int TeachCheck::recentMean(int row, int count, Record *mean) const {
    double sum[6] = {};
    int found = 0;
    for (int k = 0; k < kept_ && found < count; ++k) {
        const int slot = (head_ - 1 - k + kHistory) % kHistory;
        const Record &r = history_[slot];
        if ((attributed_[slot] != kNone && attributed_[slot] != row) || int(r.intensity) < intlim_)
            continue;
        const double v[6] = {double(r.r), double(r.g), double(r.b),
                             double(r.x), double(r.y), double(r.intensity)};
        for (int w = 0; w < 6; ++w)
            sum[w] += v[w];
        ++found;
    }
    if (found == 0)
        return 0;
    std::uint16_t m[6];
    for (int w = 0; w < 6; ++w)
        m[w] = std::uint16_t(std::lround(sum[w] / found));
    *mean = Record{m[0], m[1], m[2], m[3], m[4], m[5], std::uint16_t(row < 0 ? 255 : row)};
    return found;
}

} // namespace check
