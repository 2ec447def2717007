// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The window's side of the setup journal: each parameter transfer recorded with one call, and
// the File menu's "Journal...", "Compare..." and "Export setup sheet...". A journal that cannot
// be opened or written never stops a transfer; the status bar says so in warning colours.
#pragma once

#include <cstdint>

#include "journal/journal.h"

// --journal PATH; an empty path: TINTARO_JOURNAL or the default place. Before the first transfer.
void SetJournalPath(const char *path);

// Records a transfer: `block` the 90 words sent, read, saved or loaded (nullptr: none came),
// `file` the parameter file's path where there is one.
void JournalTransfer(journal::Action action, const std::uint16_t *block, journal::Result result,
                     const char *file);
// A file just saved read back: verified when it holds `block`, else differs.
journal::Result SavedFileResult(const char *path, const std::uint16_t *block);

// The menu items' work.
void ShowJournal();      // the entries, this sensor's first; load one or see its differences
void ComparePanel();     // the panel against RAM, EEPROM, a file or an entry; the panel stays
void ExportSetupSheet(); // the panel's block as a one-page PDF
