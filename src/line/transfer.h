// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// What a reply is worth: why one was refused, whether a data record is consistent with itself,
// two agreeing reads of the parameter block, and the read-back that verifies a write. The
// window program and tintaro-cli both decide by these rules and nothing else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/protocol.h"

namespace line {

using Block = std::array<std::uint16_t, protocol::kParaWords>;

// How one reply came.
enum class Reply {
    kOk,         // exactly the expected length, then a quiet line
    kNone,       // nothing came within the reply time-out
    kIncomplete, // fewer bytes than the reply has
    kTooLong,    // more bytes than the reply has: stray bytes, noise
    kEcho,       // the request itself came back: a loopback plug or an echoing adapter
    kPortGone,   // the port failed: its device went away or it is not open
    kDiffer,     // two reads of the block gave different replies
};

// The link's words for it: "no reply", "reply incomplete", "reply too long (stray bytes)",
// "line echoes the request", "port gone", "replies differ"; "" for kOk.
const char *ReplyText(Reply reply);

// Classifies what a reply wait returned: `received` bytes of `reply` where `expected` were
// awaited, in answer to `request` (protocol::kRequestBytes). `portFailed`: the port reported an
// error during the wait. The length decides first; an echo is a reply that repeats the whole
// request, so a record or block that merely begins like one (00 55 00 05 ...) is a reply.
Reply ClassifyReply(int received, int expected, const char *reply, const char *request,
                    bool portFailed);

// ---- Data records --------------------------------------------------------------------------

// Counts X, Y and INT may lie from what RED, GREEN and BLUE give: 1 % of full scale (4095).
constexpr int kRecordTolerance = 41;

// True when the seven words of a data record (R, G, B, X, Y, INT, colour number) agree with
// themselves: X = R*4095/(R+G+B), Y = G*4095/(R+G+B) and INT = (R+G+B)/3 within
// kRecordTolerance, and the colour number a table row (0 to 14) or 255. With R+G+B = 0 the
// sensor has no chromaticity to give and reports X = Y = 0, so X, Y and INT must be near 0.
bool RecordPlausible(const std::uint16_t *record);

// ---- Parameter transfers -------------------------------------------------------------------

// The outcome of one parameter transfer, one value to show or to keep in a journal.
enum class Transfer {
    kVerified,     // a read: two replies agreed; a write: the read-back equals the block sent
    kNotConfirmed, // a write whose read-back failed: no reply, a refused one, replies differ
    kDiffers,      // a write: the sensor holds another block, the same in two reads
    kRefused,      // a read without two agreeing replies; nothing was taken
};

// "verified", "not confirmed", "differs", "refused".
const char *TransferText(Transfer transfer);

// One read of the parameter block from the memory in question, through the caller's link: it
// keeps the pacing between parameter transactions (a read is one), sends order 3 or 4, awaits
// the 180 bytes, and on kOk decodes them into `block`.
class BlockReader {
public:
    virtual ~BlockReader() = default;
    virtual Reply readBlock(Block *block) = 0;
};

// The block has no check of its own, so it is read twice and taken only when both replies are
// equal: kVerified with the block in `out`; otherwise kRefused, `out` untouched, and `why` says
// what went wrong (the first failed read's reason, or kDiffer). A failed first read is not
// repeated.
Transfer ReadAgreed(BlockReader &reader, Block *out, Reply *why);

// Reads the memory back after `sent` was written to it. One read equal to `sent`: kVerified. A
// read that differs is repeated, to tell a sensor that stores something else (the same block
// again: kDiffers, that block in `held`) from noise (the second equals `sent`: kVerified;
// neither: kNotConfirmed with kDiffer). A failed read: kNotConfirmed with its reason in `why`.
// `held` is written only for kDiffers, `why` always (kOk when verified or differing).
Transfer VerifyWrite(BlockReader &reader, const Block &sent, Block *held, Reply *why);

// The first differing words as "2 AVERAGE sent 1, sensor holds 2", at most `named` of them
// joined by "; ", then "; ..." when more differ. "" when the blocks are equal.
std::string DescribeDifference(const Block &sent, const Block &held, int named = 2);

} // namespace line
