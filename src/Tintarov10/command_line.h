// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The program's command-line options, read before the run-time layer starts.
#pragma once

#include <cstdio>
#include <string>

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    int port = 0;        // --port COMn: the COM number to start on (0: the default COM1)
    std::string device;  // --port DEVICE: the device that stands for COM1
    std::string journal; // --journal PATH: the setup journal (empty: the default place)
    double quietMs = -1; // --quiet-ms: the quiet gap ending a reply on a network port (-1: default)
    std::string message; // Error: what was wrong
};

// Reads the options; Qt's own "-platform NAME" is let through for the run-time layer.
CommandLine ParseCommandLine(int argc, const char *const *argv);
// The text of --help and of --version.
std::string UsageText();
std::string VersionText();

// Handles --help, --version and errors (printing to out or err) and returns the exit code;
// returns -1 when the program is to run. With --port DEVICE it sets TINTARO_COM1.
int ApplyCommandLine(const CommandLine &cl, std::FILE *out, std::FILE *err);
