// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor's side of the serial line: request frames in, replies out, timing and faults.
#include "sensor_link.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sensorsim {

const char kIdentText[] = "TINTARO RGB COLOUR SENSOR SIMULATOR V1.0";

namespace {

constexpr double kSplitPause = 0.02; // between the pieces of a split reply
constexpr std::size_t kSplitPiece = 3;
constexpr double kLateDelay = 2.5;

void PutWord(std::vector<std::uint8_t> &out, std::uint16_t w) {
    out.push_back(std::uint8_t(w >> 8));
    out.push_back(std::uint8_t(w & 0xFF));
}

bool ParseCount(const std::string &s, long max, long *value) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    long v = std::strtol(s.c_str(), nullptr, 10);
    if (errno != 0 || v > max)
        return false;
    *value = v;
    return true;
}

} // namespace

const char *Faults::Help() {
    return "silence:CODE  no reply to order CODE\n"
           "short:CODE    reply to CODE lacks its last word\n"
           "long:CODE     two stray bytes follow the reply to CODE\n"
           "garble:CODE   reply to CODE has the right length but scrambled bytes\n"
           "split:CODE    reply to CODE comes in 3-byte pieces 20 ms apart\n"
           "late:CODE     reply to CODE comes 2.5 s late\n"
           "misstore:CODE a write with CODE (1 or 2) stores AVERAGE one higher than sent\n"
           "exit-after:N  the sensor goes away after N data records\n"
           "silence-after:N  the sensor stops answering after N data records\n";
}

bool Faults::add(const std::string &text, std::string *error) {
    const std::size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    long n = 0;
    if (kind == "exit-after" || kind == "silence-after") {
        if (!ParseCount(arg, 1000000000L, &n)) {
            if (error)
                *error = "bad fault \"" + text + "\": " + kind + " needs a record count";
            return false;
        }
        (kind == "exit-after" ? exitAfter : silenceAfter) = n;
        return true;
    }
    static const std::pair<const char *, Fault> kinds[] = {
        {"silence", Fault::Silence}, {"short", Fault::Short}, {"long", Fault::Long},
        {"garble", Fault::Garble},   {"split", Fault::Split}, {"late", Fault::Late},
        {"misstore", Fault::Misstore}};
    for (const auto &k : kinds) {
        if (kind != k.first)
            continue;
        if (!ParseCount(arg, 255, &n)) {
            if (error)
                *error = "bad fault \"" + text + "\": " + kind + " needs an order code 0 to 255";
            return false;
        }
        byOrder[std::size_t(n)] = k.second;
        return true;
    }
    if (error)
        *error = "unknown fault \"" + text + "\"";
    return false;
}

std::vector<std::uint8_t> Answer(SensorModel &model, const std::uint8_t *frame, double seconds,
                                 std::string *warning) {
    ParamBlock block{};
    for (std::size_t i = 0; i < kParaWords; ++i)
        block[i] = std::uint16_t(frame[4 + 2 * i] << 8 | frame[5 + 2 * i]);
    std::vector<std::uint8_t> reply;
    switch (frame[3]) {
    case 1:
        model.writeRam(block);
        break;
    case 2:
        model.writeEeprom(block, warning);
        break;
    case 3:
    case 4:
        for (std::uint16_t w : frame[3] == 3 ? model.ram() : model.eeprom())
            PutWord(reply, w);
        break;
    case 5: {
        const Record r = model.measure(seconds);
        for (std::uint16_t w : {r.r, r.g, r.b, r.x, r.y, r.intensity, r.colour})
            PutWord(reply, w);
        break;
    }
    case 7: {
        const std::size_t len = std::strlen(kIdentText);
        for (std::size_t i = 0; i < kIdentReplyBytes / 2; ++i)
            PutWord(reply, i < len ? std::uint8_t(kIdentText[i]) : ' ');
        break;
    }
    default:
        break; // the sensor ignores orders it does not know
    }
    return reply;
}

std::string FormatLogLine(double seconds, const char *direction, int order,
                          const std::uint8_t *data, std::size_t count) {
    std::string line(32 + 3 * count, '\0');
    int n = order >= 0
                ? std::snprintf(&line[0], line.size(), "%.6f %s %d", seconds, direction, order)
                : std::snprintf(&line[0], line.size(), "%.6f %s", seconds, direction);
    line.resize(std::size_t(std::max(n, 0)));
    static const char hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        line += ' ';
        line += hex[data[i] >> 4];
        line += hex[data[i] & 15];
    }
    return line;
}

SensorLink::SensorLink(SensorModel &model, Faults faults, bool paced)
    : model_(model), faults_(faults), paced_(paced) {
    rx_.reserve(kFrameBytes);
}

void SensorLink::log(double seconds, const char *dir, int order, const std::uint8_t *d,
                     std::size_t n) {
    if (log_)
        log_(FormatLogLine(seconds, dir, order, d, n));
}

void SensorLink::flushSkipped(double seconds) {
    if (skipped_.empty())
        return;
    log(seconds, "SKIP", -1, skipped_.data(), skipped_.size());
    skipped_.clear();
}

void SensorLink::receive(const std::uint8_t *data, std::size_t count, double now) {
    if (ended_)
        return;
    double t = now;
    for (std::size_t i = 0; i < count; ++i) {
        if (paced_) {
            t = std::max(now, rxFree_) + kByteSeconds;
            rxFree_ = t;
        }
        rx_.push_back(data[i]);
        // A frame starts with the sync word 00 55 and the order word's zero high byte; drop
        // bytes until one does.
        while ((!rx_.empty() && rx_[0] != 0x00) || (rx_.size() >= 2 && rx_[1] != 0x55) ||
               (rx_.size() >= 3 && rx_[2] != 0x00)) {
            skipped_.push_back(rx_[0]);
            rx_.erase(rx_.begin());
        }
        if (rx_.size() == kFrameBytes) {
            flushSkipped(t);
            handleFrame(t);
            rx_.clear();
            if (ended_)
                return;
        }
    }
    flushSkipped(t);
}

void SensorLink::handleFrame(double seconds) {
    const int order = rx_[3];
    log(seconds, "RX", order, rx_.data(), rx_.size());
    if (silent_)
        return; // a hung sensor neither answers nor takes parameters
    if (order == 5 && faults_.exitAfter >= 0 && records_ >= faults_.exitAfter) {
        ended_ = true;
        return;
    }
    if (order == 5 && faults_.silenceAfter >= 0 && records_ >= faults_.silenceAfter) {
        silent_ = true;
        return;
    }
    if ((order == 1 || order == 2) && faults_.byOrder[std::size_t(order)] == Fault::Misstore) {
        // Word 2, AVERAGE, at bytes 8 and 9 of the frame.
        const std::uint16_t average = std::uint16_t((rx_[8] << 8 | rx_[9]) + 1);
        rx_[8] = std::uint8_t(average >> 8);
        rx_[9] = std::uint8_t(average & 0xFF);
    }
    std::string warning;
    std::vector<std::uint8_t> reply = Answer(model_, rx_.data(), seconds, &warning);
    if (!warning.empty())
        warning_ = warning;
    if (order == 5)
        ++records_;
    if (!reply.empty())
        schedule(std::move(reply), faults_.byOrder[std::size_t(order)], seconds);
    if (order == 5 && records_ == faults_.exitAfter)
        ended_ = true; // the last record still goes out
}

void SensorLink::schedule(std::vector<std::uint8_t> reply, Fault fault, double seconds) {
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::Short:
        reply.resize(reply.size() - 2);
        break;
    case Fault::Long:
        reply.push_back(0xA5);
        reply.push_back(0x5A);
        break;
    case Fault::Garble:
        for (std::uint8_t &b : reply)
            b ^= std::uint8_t(1 + garble_() % 255);
        break;
    default:
        break;
    }
    double t = std::max(seconds, txFree_) + (fault == Fault::Late ? kLateDelay : 0.0);
    log(t, "TX", -1, reply.data(), reply.size());
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (fault == Fault::Split && i > 0 && i % kSplitPiece == 0)
            t += kSplitPause;
        if (paced_)
            t += kByteSeconds;
        tx_.emplace_back(reply[i], t);
    }
    txFree_ = t;
}

std::size_t SensorLink::ready(double now) const {
    std::size_t n = 0;
    for (const auto &b : tx_) {
        if (b.second > now)
            break;
        ++n;
    }
    return n;
}

std::size_t SensorLink::take(std::uint8_t *out, std::size_t max, double now) {
    std::size_t n = 0;
    while (n < max && !tx_.empty() && tx_.front().second <= now) {
        out[n++] = tx_.front().first;
        tx_.pop_front();
    }
    return n;
}

} // namespace sensorsim
