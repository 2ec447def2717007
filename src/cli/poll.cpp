// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// poll: data records as CSV on stdout.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/common.h"
#include "cli/mqtt.h"
#include "line/line.h"
#include "line/transfer.h"
#include "platform/timer.h"

namespace cli {

int Poll(Link &link, const Args &args) {
    long count = 0; // 0: until a signal
    double interval = 0.0;
    bool quiet = false;
    MqttPublisher mqtt;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--count") {
            if (!hasValue || !ParseCount(args[++i], &count))
                return UsageError("poll: --count needs a whole number of at least 1");
        } else if (args[i] == "--interval") {
            if (!hasValue || !ParseSeconds(args[++i], &interval))
                return UsageError("poll: --interval needs seconds from 0 to 86400");
        } else if (args[i] == "--quiet") {
            quiet = true;
        } else if (const int r = mqtt.option(args, &i); r >= 0) {
            if (r != kOk)
                return r;
        } else {
            return UsageError("poll: unexpected argument", args[i].c_str());
        }
    }
    if (const int r = mqtt.start(); r != kOk)
        return r;
    if (const int r = link.open(); r != kOk) {
        mqtt.state("no port");
        return r;
    }
    InstallStopSignals();
    if (mqtt.enabled())
        if (const int r = mqtt.identify(link); r != kOk)
            return r;

    if (!quiet) {
        std::fputs(line::CsvHeader(), stdout);
        std::fflush(stdout);
    }
    const Block none{};
    double first = -1.0;
    int result = kOk;
    long refused = 0;
    for (long n = 0; !gStop && (count == 0 || n < count); ++n) {
        if (n > 0 && interval > 0) {
            // Sleeps in short steps so that a signal ends the wait at once.
            const double until = Timer() + interval;
            for (double left = interval; left > 0 && !gStop; left = until - Timer())
                Delay(std::min(left, 0.05));
            if (gStop)
                break;
        }
        double sentAt = 0.0;
        result = link.transact(protocol::kReadData, none, protocol::kDataReplyBytes, &sentAt);
        if (result != kOk) {
            mqtt.state("no reply");
            break;
        }
        if (first < 0)
            first = sentAt;
        std::uint16_t record[protocol::kDataWords];
        protocol::DecodeWords(link.reply(), protocol::kDataWords, record);
        // A record that disagrees with its own RED, GREEN and BLUE is noise: no row for it.
        if (!line::RecordPlausible(record)) {
            ++refused;
            continue;
        }
        mqtt.record(sentAt - first, record);
        if (quiet)
            continue;
        const std::string row = line::CsvRow(sentAt - first, record);
        std::fwrite(row.data(), 1, row.size(), stdout);
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "tintaro-cli: standard output: %s\n", std::strerror(errno));
            return kBadFile;
        }
    }
    if (refused > 0)
        std::fprintf(stderr, "tintaro-cli: %s: %ld record%s refused: line noise?\n",
                     link.name().c_str(), refused, refused == 1 ? "" : "s");
    return result;
}

} // namespace cli
