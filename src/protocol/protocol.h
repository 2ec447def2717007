// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor's parameter block and frames as data: sizes, order codes and the words' names.
// Plain C++ without the panel or the globals, shared by the window program and its tools.
#pragma once

#include <cstddef>

namespace protocol {

constexpr int kParaWords = 90;   // words in the parameter block
constexpr int kDataWords = 7;    // words in a data record
constexpr int kSpareBegin = 9;   // words 9 to 14 are carried, never interpreted
constexpr int kTableBegin = 15;  // the COLOR TEACH TABLE: 15 rows of 5 words from word 15
constexpr int kTableRows = 15;
constexpr int kTableCols = 5;
constexpr int kRequestBytes = 4 + 2 * kParaWords; // sync word, order word, the block
constexpr int kParaReplyBytes = 2 * kParaWords;
constexpr int kDataReplyBytes = 2 * kDataWords;
constexpr int kIdentReplyBytes = 96; // 48 words, one character in each low byte
constexpr unsigned kSync = 0x0055;

// Order codes of the requests.
enum Order : unsigned char {
    kWriteRam = 1,
    kWriteEeprom = 2,
    kReadRam = 3,
    kReadEeprom = 4,
    kReadData = 5,
    kIdentify = 7,
};

// The name of block word `index` as the operator knows it: "POWER" ... "TRIGGER" for words 0
// to 8, "spare 9" to "spare 14", then "X row 0", "Y row 0", "CTO row 0", "INT row 0",
// "ITO row 0" ... "ITO row 14". Written into `out` (always terminated); returns `out`.
const char *WordName(int index, char *out, std::size_t size);

} // namespace protocol
