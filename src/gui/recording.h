// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Recording the data records shown while polling into a CSV file (the CSV of
// `tintaro-cli poll`), and the menu bar that starts and stops it and shows "About Tintaro".
#pragma once

// Adds the File and Help menus to the main panel's window. Called once after the panel loads.
void InstallMenus();

// The menu items' work, also reachable without the menu.
void StartRecording(); // asks for a file; a file that cannot be written leaves recording off
void StopRecording();
void ShowAbout();
bool RecordingOn();

// Called by the polling loop for every record shown, and once when the loop has ended.
void RecordShownData();
void RecordingAfterPolling();
