// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Test device: answers each request frame with a scripted reply that trickles in piece by piece.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/serial.h"

// Answers every complete 184-byte request with the reply that `onRequest` fills in, handed out
// one piece per poll of the line, so a reply can arrive in many small writes.
class ScriptedDevice : public ComDevice {
public:
    static constexpr std::size_t kFrameBytes = 184;

    // Fills `reply` and its `pieces` (their sizes, each > 0, summing to reply.size()) for a
    // request with order code `order`.
    std::function<void(int order, std::vector<char> &reply, std::vector<std::size_t> &pieces)>
        onRequest;
    long requests = 0;

    std::size_t write(const char *data, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) {
            frame_[framed_++] = data[i];
            if (framed_ < kFrameBytes)
                continue;
            framed_ = 0;
            ++requests;
            reply_.clear();
            pieces_.clear();
            piece_ = 0;
            pos_ = 0;
            inPiece_ = 0;
            if (onRequest)
                onRequest(static_cast<unsigned char>(frame_[3]), reply_, pieces_);
        }
        return count;
    }

    // Hands out the rest of the current piece; the next call returns 0, so each poll of the
    // line sees one more piece.
    std::size_t read(char *data, std::size_t max) override {
        if (paused_) {
            paused_ = false;
            return 0;
        }
        if (piece_ >= pieces_.size())
            return 0;
        const std::size_t n = std::min(max, pieces_[piece_] - inPiece_);
        std::copy_n(reply_.begin() + static_cast<std::ptrdiff_t>(pos_), n, data);
        pos_ += n;
        inPiece_ += n;
        if (inPiece_ == pieces_[piece_]) {
            ++piece_;
            inPiece_ = 0;
            paused_ = true;
        }
        return n;
    }

    std::size_t available() override { return pending() ? pieces_[piece_] - inPiece_ : 0; }
    // The next piece is due at the next look; with none left the line is quiet, so the wait for
    // a quiet line after a reply ends at once.
    double nextByteIn() override { return pending() ? 0.0 : kNever; }
    // Never sleeps, so the layer's idle wait for the line returns at once: the tests drive time
    // with a fake clock, not by sleeping.
    bool waitForByte(double /*seconds*/) override { return true; }

    bool pending() const { return piece_ < pieces_.size(); }

private:
    char frame_[kFrameBytes] = {};
    std::size_t framed_ = 0;
    std::vector<char> reply_;
    std::vector<std::size_t> pieces_;
    std::size_t piece_ = 0, pos_ = 0, inPiece_ = 0;
    bool paused_ = false;
};
