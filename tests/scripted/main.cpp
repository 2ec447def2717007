// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-scripted: the program as shipped, driven by the script named in TINTARO_SCRIPT, for
// end-to-end tests and the documentation's screenshots. Built beside tintaro, never installed.
#include <cstdio>
#include <cstdlib>

#include "Tintarov10/Tintarov10.h"
#include "platform/ui.h"
#include "script_runner.h"

int main(int argc, char **argv) {
    SetProcessArgs(argc, argv);
    // Without its script this would be an unattended run that waits on dialogs: refuse it.
    const char *script = std::getenv("TINTARO_SCRIPT");
    if (!script || !*script) {
        std::fprintf(stderr, "tintaro-scripted: TINTARO_SCRIPT must name a script file\n");
        return 2;
    }
    if (!scripted::ArmScript(script))
        return 2;
    return WinMain(nullptr, nullptr, nullptr, 1);
}
