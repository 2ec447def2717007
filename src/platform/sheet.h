// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup sheet as a one-page PDF: a layer service that draws what the program has put into
// a SetupSheet. No Qt type appears here; it needs no display.
#pragma once

#include <string>
#include <vector>

struct SetupSheet {
    // Header lines, "label: value" each (UTF-8, shown as plain text).
    std::vector<std::pair<std::string, std::string>> header;
    struct Parameter {
        std::string name, value, meaning;
    };
    std::vector<Parameter> parameters;
    std::vector<std::string> columns; // the teach table's column labels
    struct Row {
        int number = 0;
        unsigned words[5] = {};
        bool active = false;
        int colour = 0; // 0xRRGGBB
    };
    std::vector<Row> rows;
    bool plane = true; // draw the X/Y plane with the active rows' circles (colour modes)
};

// Writes the sheet to `path` (file-name encoding). Returns 0, or -1 when the file cannot be
// written (the reason, if known, in *error).
int WriteSetupSheetPdf(const char *path, const SetupSheet &sheet, std::string *error);
