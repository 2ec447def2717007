// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// What a setup sheet says about a parameter block: the nine parameters with their meanings, the
// teach table with its active rows, the rows' plot colours. Qt-free; the layer draws it.
#pragma once

#include <string>

#include "journal/journal.h"
#include "platform/sheet.h"

namespace journal {

// The teach plot's colour of each table row (0xRRGGBB), as the panel draws it.
extern const int kRowColours[protocol::kTableRows];

// The mode name of a ring parameter's value ("X/Y INT" for EVALMODE 0), or "N (?)" for a value
// the panel does not list.
std::string RingText(int word, unsigned value);

struct SheetSource {
    std::string sensor; // identification (UTF-8), "" when unknown
    std::string source; // "RAM of COM1 /dev/ttyUSB0", "file init.dat", "journal entry 12"
    std::string entry;  // "12 (read RAM, 2026-12-08 18:55:05 UTC)", or "none"
    std::string user;   // who prints it
    std::string date;   // UTC, when it is printed
};

SetupSheet MakeSheet(const Words &words, const SheetSource &from);

// The UTC time of now as "2026-12-08 18:55:05 UTC".
std::string UtcNow();

} // namespace journal
