// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel model: panel values, live data display, evaluation-mode layout, colour teach table,
// tolerance auto-adjust and graphs.
#pragma once

#include <cstdint>

// Panel values: the nine parameter controls and the 75 table cells, to and from variables.
void GetPanelValues();
void SetPanelValues();
// What GetPanelValues would read, as block words 0 to 8 and 15 to 89 of `block` (90 words);
// words 9 to 14 and every variable are left alone.
void PeekPanelValues(std::uint16_t *block);

// Live data display: shows the last record (the data variables) and appends it to the
// history. Uses `source` as DispVis last read it.
void SetPanelData();

// Evaluation-mode layout and visibility. InitEval uses `pmod` and `outmode` as the caller's
// last GetPanelValues or CopyPPtoVars left them; it reads EVALMODE and MAXCOL-No. itself.
void InitEval();
void DispVis();
void ParaVis();
void ParaInVis();
// Row labels of the teach table: rows 1 to maxcolno green (checked), the others red.
void MarkActiveRows(int panelHandle);

// Colour teach table. TeachDataTo takes the last record from the data variables.
void TeachDataTo();
// TeachDataTo with the given values in place of the last record's.
void TeachValuesTo(std::uint16_t x, std::uint16_t y, std::uint16_t intensity, std::uint16_t red,
                   std::uint16_t green, std::uint16_t blue);
void ResetTable();
void ApplyFromAll();
// Draws the grey boundary line X + Y = 4095 of the colour plane on a graph control.
void ShowBoundaryLine(int panelHandle, int graph);
// Draws the boundary line and three arcs per table row on a graph control, from `ctt` as the
// caller's GetPanelValues left it.
void ShowTeachPlot(int graph);

// Tolerance auto-adjust.
void AutoAdjust();

// Graphs.
void ShowGraph();
void ShowGraphData2();
void ZoomGraphData2();

// Array helpers: status 0, -20003 for a count below 1, -20102 for a shift as large as count.
int Copy1D(const double *input, int count, double *output);
int Shift(const double *input, int count, int shift, double *output);
