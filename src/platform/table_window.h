// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A window of its own beside a panel's window: a table of plain-text cells under column
// headings and one push button. It is not modal: the panel goes on working while it is open.
#pragma once

#include <cstddef>

// Called when the window's button is pressed, with the window's handle.
using TableWindowCallback = void (*)(int window);

// Makes the window, hidden, for the panel `panel`: `title`, `columns` (1 to 32) headings, and a
// button labelled `button`. Returns a positive handle, UIE_BAD_PANEL, or UIE_BAD_ARGUMENT for a
// missing title, heading, button label or callback, or a column count out of range.
int NewTableWindow(int panel, const char *title, int columns, const char *const *headings,
                   const char *button, TableWindowCallback callback);
// Shows the window beside its panel's window (to the right where the screen has room, else
// to the left, else over it) and raises it; a window already shown is only raised. The columns
// are fitted to the cells then, with room to grow; the operator may widen them. Returns 0,
// or UIE_BAD_ARGUMENT for an unknown handle.
int ShowTableWindow(int window);
// 1 while the window is shown, 0 when hidden (the operator closed it), UIE_BAD_ARGUMENT for an
// unknown handle.
int TableWindowVisible(int window);
// The number of rows (0 to 64); new rows have empty cells. Returns 0 or UIE_BAD_ARGUMENT.
int SetTableWindowRows(int window, int rows);
// A cell's text (UTF-8), shown as plain text. Rows and columns count from 0. Returns 0, or
// UIE_BAD_ARGUMENT for an unknown handle, a cell outside the table or no text.
int SetTableWindowCell(int window, int row, int column, const char *text);
// A cell's background, 0xRRGGBB, or VAL_TRANSPARENT for the table's own. Same results.
int SetTableWindowCellColour(int window, int row, int column, int colour);
// A cell's text (UTF-8), truncated to size - 1 bytes and terminated, and its background.
// Same results; UIE_BAD_ARGUMENT also for a missing buffer.
int GetTableWindowCell(int window, int row, int column, char *text, std::size_t size);
int GetTableWindowCellColour(int window, int row, int column, int *colour);
