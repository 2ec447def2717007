// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Benchmarks: the teach check's cost per record, on its own and in the window with the check
// window open (the part the polling loop pays for it).
#include <cstdint>

#include <benchmark/benchmark.h>

#include "Tintarov10/Tintarov10.h"
#include "check/teach_check.h"
#include "gui/teachcheck.h"
#include "platform/ui.h"

namespace {

// 15 active rows on a grid, CTO 60: records fall on every row in turn, with some spread.
check::Table GridTable() {
    check::Table t{};
    for (int r = 0; r < check::kRows; ++r) {
        const std::uint16_t row[5] = {std::uint16_t(800 + (r % 4) * 260),
                                      std::uint16_t(700 + (r / 4) * 300), 60, 1000, 150};
        for (int c = 0; c < 5; ++c)
            t[std::size_t(5 * r + c)] = row[c];
    }
    return t;
}

check::Record RecordNear(const check::Table &t, long i) {
    const int row = int(i % check::kRows);
    check::Record rec;
    rec.x = std::uint16_t(t[std::size_t(5 * row)] + (i * 7) % 31 - 15);
    rec.y = std::uint16_t(t[std::size_t(5 * row + 1)] + (i * 11) % 31 - 15);
    rec.intensity = 1000;
    rec.colour = std::uint16_t(i % 50 ? row : 255);
    return rec;
}

void BM_TeachCheckPerRecord(benchmark::State &state) {
    static check::TeachCheck c;
    const check::Table t = GridTable();
    c.clear();
    c.setTable(t, 15, 0, 0);
    long i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(c.add(RecordNear(t, i++)));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TeachCheckPerRecord)->Unit(benchmark::kMicrosecond);

// What the polling loop adds per record with the check window open: the record attributed,
// the panel's table followed, the row's line in the window updated and painted.
void BM_CheckShownDataWindowOpen(benchmark::State &state) {
    InitVars();
    const check::Table t = GridTable();
    SetCtrlVal(panel, PANEL_MAXCOLNO, u16{15});
    for (int r = 0; r < 15; ++r)
        for (int c = 0; c < 5; ++c)
            SetTableCellVal(panel, PANEL_TABLE, MakePoint(c + 1, r + 1), t[std::size_t(5 * r + c)]);
    OpenTeachCheck();
    ClearTeachCheck();
    long i = 0;
    for (auto _ : state) {
        const check::Record rec = RecordNear(t, i++);
        dataX = rec.x;
        dataY = rec.y;
        dataINT = rec.intensity;
        dataCOL = rec.colour;
        CheckShownData();
        ProcessSystemEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CheckShownDataWindowOpen)->Unit(benchmark::kMicrosecond);

} // namespace
