// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Waiting on a descriptor, for the POSIX devices that poll theirs (ttys and sockets).
#pragma once

#include <poll.h>
#include <time.h>

#include <algorithm>

namespace platform {

// Waits up to `seconds` for `events` on the descriptor; returns what it saw (0 on time-out).
// ppoll, because the quiet gap after a reply is shorter than poll's millisecond.
inline short WaitOn(int fd, short events, double seconds) {
    seconds = std::max(seconds, 0.0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    pollfd p{fd, events, 0};
    return ::ppoll(&p, 1, &ts, nullptr) > 0 ? p.revents : 0;
}

} // namespace platform
