// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The logo area across the top of the panel: thirteen brandings.
#pragma once

void ShowLogo(int variant);
void ShowInfoText1(int id, const char *text, int left, int top, int size);
void ShowInfoText2(int id, const char *text, int left, int top, int size);
void ShowInfoText3(int id, const char *text, int left, int top, int size);
