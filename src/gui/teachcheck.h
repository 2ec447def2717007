// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The teach check in the window: the Teach menu, the check window beside the panel that fills
// while polling, teaching a row from the mean of the last records, and the status-bar note
// when a row's circle is tighter than its noise. It reads the panel, never writes its globals.
#pragma once

// Adds the Teach menu to the menu bar. Called once by InstallMenus.
void InstallTeachMenu();

// The menu items' work, also reachable without the menu.
void OpenTeachCheck();  // shows the check window (filled from the records kept)
void ClearTeachCheck(); // forgets every record
// As TEACH DATA TO, with X, Y and INT (in a contrast mode the raw channel) the means of the
// last 20 records attributed to no other row. With fewer than 20 such records it teaches
// nothing and says so in an "INFO" pop-up.
void TeachMeanOfLastRecords();

// After a verified SEND: the sensor names colours by the new table from now on, so the records
// before it (numbered by the table it had) are forgotten.
void TableSentForCheck();
// Called by the polling loop for every record shown: O(rows), the window's row updated.
void CheckShownData();
// After a teach or AUTO ADJUST: follows the table and puts the rows whose circle is tighter
// than three times their noise in the status bar (or clears that note).
void CheckAfterTeach();
