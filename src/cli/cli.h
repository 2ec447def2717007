// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
#pragma once

namespace cli {

// Exit codes.
enum {
    kOk = 0,
    kDifferent = 1,   // diff found a difference, write read back another block, or
                      // check graded a row marginal or failing
    kUsage = 2,       // usage error; usage on stderr
    kNoPort = 3,      // port missing or cannot be opened
    kNoReply = 4,     // no reply, or a reply refused (wrong length, echo, stray bytes)
    kBadFile = 5,     // parameter file refused; nothing sent
    kMqttRefused = 6, // the MQTT broker refused the user, the password or the certificate
    kNoJournal = 7,   // the journal is missing or damaged, or has no such entry
};

// Runs the command line; returns the exit code.
int Run(int argc, char **argv);

} // namespace cli
