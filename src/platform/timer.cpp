// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The seconds timer on the monotonic clock.
#include "platform/timer.h"

#include <chrono>

namespace {

double (*g_source)() = nullptr;

} // namespace

double Timer() {
    if (g_source)
        return g_source();
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SetTimerSource(double (*source)()) {
    g_source = source;
}
