// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// scan: which port the sensor is on. Every port is asked for its identification, and nothing
// else, a few at a time.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/common.h"
#include "line/scan.h"
#include "platform/serial.h"

namespace cli {

int Scan(Link & /*link*/, const Args &args) {
    std::vector<line::ScanTarget> targets;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--ports")
            return UsageError("scan: unknown argument", args[i].c_str());
        if (i + 1 >= args.size())
            return UsageError("scan: --ports needs a list: COM1,COM3,/dev/ttyUSB0,tcp://HOST:PORT");
        if (!line::ParseScanList(args[++i], &targets))
            return UsageError("scan: not a list of ports", args[i].c_str());
    }
    if (targets.empty())
        targets = line::DefaultScanTargets();
    std::vector<line::ScanResult> results(targets.size());
    line::ScanPorts(targets, &results, nullptr, nullptr);
    bool found = false;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const line::ScanResult &r = results[i];
        std::printf("%s\t%s\t%s\n", line::Printable(targets[i].name).c_str(),
                    line::Printable(line::ScanDeviceLabel(targets[i].device)).c_str(),
                    r.outcome == line::ScanOutcome::Identified ? line::Printable(r.ident).c_str()
                                                               : line::ScanOutcomeText(r.outcome));
        found = found || r.outcome == line::ScanOutcome::Identified;
    }
    std::fflush(stdout);
    return found ? kOk : kNoReply;
}

} // namespace cli
