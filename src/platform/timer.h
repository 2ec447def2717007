// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The seconds timer.
#pragma once

// Seconds from a monotonic clock with an arbitrary origin; never decreases.
double Timer();
