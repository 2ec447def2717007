// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor's side of the serial line: request frames in, replies out, timing and faults.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sensor_model.h"

namespace sensorsim {

constexpr std::size_t kFrameBytes = 184;
constexpr std::size_t kParaReplyBytes = 180;
constexpr std::size_t kDataReplyBytes = 14;
constexpr std::size_t kIdentReplyBytes = 96;
constexpr double kByteSeconds = 10.0 / 19200.0; // start bit, 8 data bits, stop bit
extern const char kIdentText[];

// How a reply to one order code goes wrong.
enum class Fault : std::uint8_t {
    None,
    Silence, // no reply at all
    Short,   // the last word is missing
    Long,    // two stray bytes follow the reply
    Garble,  // right length, scrambled content
    Split,   // delivered in small pieces with pauses between them
    Late,    // sent after 2.5 s, beyond the program's reply time-out
    Misstore, // a write stores AVERAGE one higher than sent (a sensor that keeps another block)
};

// Faults to inject, as given on the command line ("silence:5", "long:7", "exit-after:20").
struct Faults {
    std::array<Fault, 256> byOrder{};
    long exitAfter = -1;    // the sensor goes away after this many data records
    long silenceAfter = -1; // the sensor stops answering after this many data records

    // "silence:CODE", "short:CODE", "long:CODE", "garble:CODE", "split:CODE", "late:CODE",
    // "misstore:CODE", "exit-after:N", "silence-after:N". Returns false with a reason for anything else.
    bool add(const std::string &text, std::string *error);
    static const char *Help();
};

// The sensor's answer to one complete request frame, without faults: the reply bytes (empty
// for writes and unknown orders). Writes update the model's memories.
std::vector<std::uint8_t> Answer(SensorModel &model, const std::uint8_t *frame, double seconds,
                                 std::string *warning = nullptr);

// One line of the traffic log: "<seconds> RX <order> <hex>", "<seconds> TX <hex>" or
// "<seconds> SKIP <hex>" for bytes dropped while looking for the sync word.
std::string FormatLogLine(double seconds, const char *direction, int order,
                          const std::uint8_t *data, std::size_t count);

// Parses the byte stream from the program into frames, answers them through the model, and
// schedules each reply byte at the time it is ready to be read. Time is in seconds on the
// caller's clock. With `paced` the line runs at 19200 baud in both directions: a request is
// complete one wire time after its first byte, and reply bytes follow one byte time apart.
class SensorLink {
public:
    using LogFn = std::function<void(const std::string &line)>;

    SensorLink(SensorModel &model, Faults faults = {}, bool paced = false);

    // Bytes from the program, all arriving (their first at least) at `now`.
    void receive(const std::uint8_t *data, std::size_t count, double now);
    // Reply bytes ready at `now`.
    std::size_t ready(double now) const;
    // Takes up to `max` ready bytes.
    std::size_t take(std::uint8_t *out, std::size_t max, double now);
    // When the next pending reply byte gets ready; a negative value when none is pending.
    double nextReady() const { return tx_.empty() ? -1.0 : tx_.front().second; }

    // The sensor went away (exit-after): it takes no more requests.
    bool ended() const { return ended_; }
    long records() const { return records_; }
    Faults &faults() { return faults_; }
    void setLog(LogFn log) { log_ = std::move(log); }
    // A problem the operator of the simulator should hear about (EEPROM file not written);
    // cleared by reading.
    std::string takeWarning() { return std::exchange(warning_, std::string()); }

private:
    void handleFrame(double seconds);
    void schedule(std::vector<std::uint8_t> reply, Fault fault, double seconds);
    void flushSkipped(double seconds);
    void log(double seconds, const char *dir, int order, const std::uint8_t *d, std::size_t n);

    SensorModel &model_;
    Faults faults_;
    bool paced_;
    std::vector<std::uint8_t> rx_;
    std::vector<std::uint8_t> skipped_;
    double rxFree_ = 0; // when the program-to-sensor line is free again
    double txFree_ = 0; // when the sensor-to-program line is free again
    std::deque<std::pair<std::uint8_t, double>> tx_;
    long records_ = 0;
    bool ended_ = false;
    bool silent_ = false;
    std::mt19937 garble_{12345};
    LogFn log_;
    std::string warning_;
};

} // namespace sensorsim
