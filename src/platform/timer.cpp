// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The seconds timer on the monotonic clock.
#include "platform/timer.h"

#include <chrono>
#include <thread>

namespace {

double (*g_source)() = nullptr;

} // namespace

double Timer() {
    if (g_source)
        return g_source();
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Delay(double seconds) {
    if (seconds > 0.0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void SetTimerSource(double (*source)()) {
    g_source = source;
}
