// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Test entry: one application object for every test, on the offscreen platform.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/ui.h"

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    SetProcessArgs(argc, argv);
    if (!InitRTEEx(nullptr, nullptr, nullptr))
        return 2;
    return RUN_ALL_TESTS();
}
