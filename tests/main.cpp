// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Test entry: one application object for every test, on the offscreen platform.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/ui.h"

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Every transfer is journalled: the tests' go to a journal of their own, never the user's.
    std::string journalDir = (std::filesystem::temp_directory_path() / "tintaro-test-XXXXXX");
    if (!mkdtemp(journalDir.data()))
        return 2;
    setenv("TINTARO_JOURNAL", (journalDir + "/journal.sqlite").c_str(), 1);
    testing::InitGoogleTest(&argc, argv);
    SetProcessArgs(argc, argv);
    if (!InitRTEEx(nullptr, nullptr, nullptr))
        return 2;
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(journalDir, ignored);
    return result;
}
