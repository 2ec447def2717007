// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Reply wait and failure report shared by the line check and the transactions.
#pragma once

#include "line/transfer.h"

// Writes the request frame for `orderCode` (184 bytes) on `com`; returns ComWrt's result.
int WriteRequest(unsigned char orderCode);

// Waits up to 2.0 s until at least `expected` bytes are waiting and, when exactly that many
// came, until the line has been quiet for two character times; then reads all that are
// waiting (at most the reply buffer) into szReadBuf. Sets tstart, tdiff and nBytesR.
// `meanwhile` runs once while the reply is awaited (see line::WaitAndRead).
void WaitAndReadReply(int expected, void (*meanwhile)() = nullptr);
// What the last reply wait got, awaiting `expected` bytes (line::ClassifyReply).
line::Reply LastReply(int expected);

// "TIMEOUT" in the status control and the "INFO" pop-up.
void ReportTimeout();
