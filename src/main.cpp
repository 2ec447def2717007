// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Process entry: hands the arguments to the run-time layer and runs the program.
#include "Tintarov10/Tintarov10.h"
#include "platform/ui.h"

int main(int argc, char **argv) {
    SetProcessArgs(argc, argv);
    return WinMain(nullptr, nullptr, nullptr, 1);
}
