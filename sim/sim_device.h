// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The simulated sensor as an in-process serial device behind a port number.
#pragma once

#include <algorithm>
#include <chrono>

#include "platform/serial.h"
#include "sensor_link.h"

namespace sensorsim {

// Plugs a SensorLink into the serial layer (AttachComDevice) on the steady clock, so link
// tests and benchmarks run without a pty. Unpaced, replies are readable at once; paced, they
// arrive at 19200-baud speed.
class SimComDevice : public ComDevice {
public:
    explicit SimComDevice(SensorModel &model, Faults faults = {}, bool paced = false)
        : start_(std::chrono::steady_clock::now()), link_(model, faults, paced) {}

    std::size_t write(const char *data, std::size_t count) override {
        link_.receive(reinterpret_cast<const std::uint8_t *>(data), count, now());
        return count;
    }
    std::size_t read(char *data, std::size_t max) override {
        return link_.take(reinterpret_cast<std::uint8_t *>(data), max, now());
    }
    std::size_t available() override { return link_.ready(now()); }
    // The layer sleeps until the next reply byte is due instead of looking every millisecond.
    double nextByteIn() override {
        const double next = link_.nextReady();
        return next < 0 ? kNever : std::max(0.0, next - now());
    }

    SensorLink &link() { return link_; }
    // Seconds since the device was made: the clock of the link and of the scene.
    double now() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
    SensorLink link_;
};

} // namespace sensorsim
