// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The seconds timer.
#pragma once

// Seconds from a monotonic clock with an arbitrary origin; never decreases.
double Timer();

// Sleeps for `seconds` (nothing for zero or less) without processing events, so that a wait
// for the sensor costs no CPU. Follows the monotonic clock, not a test's timer source.
void Delay(double seconds);

// Seam for tests: makes Timer() return `source()` instead of the monotonic clock, so that a
// test can let reply time-outs pass at once. nullptr restores the monotonic clock.
void SetTimerSource(double (*source)());
