// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor's parameter block and frames as data: sizes, order codes and the words' names.
// Plain C++ without the panel or the globals, shared by the window program and its tools.
#pragma once

#include <cstddef>
#include <cstdint>

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

// ---- Frames: every word travels high byte first ----------------------------------------------
// Writes a request: the sync word, the order word (its high byte 0), then `words` words of
// `block`. `out` takes 4 + 2 * words bytes.
void EncodeRequest(std::uint16_t sync, unsigned char order, const std::uint16_t *block,
                   std::size_t words, char *out);
// Joins `words` words from `bytes` (2 * words bytes) into `out`; 0xFF 0xFF is 65535.
void DecodeWords(const char *bytes, std::size_t words, std::uint16_t *out);
// The identification reply's text: the low byte of each of its 48 words, terminated after
// the 48th; a zero byte ends it early. `out` takes 49 bytes.
void DecodeIdent(const char *bytes, char *out);
// True when `reply` (n bytes) begins with the whole of `request` (kRequestBytes): the line
// sends the request back (a loopback plug, an echoing adapter) and no sensor answers. No reply
// is as long as a request, so a reply that merely starts like one is never taken for an echo.
bool EchoesRequest(const char *reply, std::size_t n, const char *request);

// The name of block word `index` as the operator knows it: "POWER" ... "TRIGGER" for words 0
// to 8, "spare 9" to "spare 14", then "X row 0", "Y row 0", "CTO row 0", "INT row 0",
// "ITO row 0" ... "ITO row 14". Written into `out` (always terminated); returns `out`.
const char *WordName(int index, char *out, std::size_t size);

} // namespace protocol
