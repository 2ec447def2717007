// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Process entry: reads the options (no display needed for --help and --version), hands the
// arguments to the run-time layer and runs the program.
#include <cstdio>

#include "Tintarov10/Tintarov10.h"
#include "Tintarov10/command_line.h"
#include "platform/ui.h"

int main(int argc, char **argv) {
    const int code = ApplyCommandLine(ParseCommandLine(argc, argv), stdout, stderr);
    if (code >= 0)
        return code;
    SetProcessArgs(argc, argv);
    return WinMain(nullptr, nullptr, nullptr, 1);
}
