// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Sensor link: serial port and line check, frames, transactions, and parameter files.
#pragma once

#include "line/transfer.h"

// Serial port and line check.
void InitRS232(int port);
void CheckComLine();
// Status text for a port-opening result.
const char *ComErrorText(int result);

// Frames: the parameter block and the request/reply formats.
void CopyVarsToPP();
void CopyPPtoVars();
void CopyDatatoVars();
void FillTxBuf(unsigned char orderCode);
void GetRxBufPara();
void GetRxBufData();

// Transactions.
// Writes the block and reads the same memory back (line::VerifyWrite): the status bar says
// "RAM written and verified", or why not, with an "INFO" pop-up. The panel is never changed.
void SendPara();
// Reads the block from RAM or EEPROM by `target`. With FILE selected it sends `order` as its
// caller left it: CheckComLine sets 3 first, so that the line check reads the sensor's RAM.
// The block is read twice and taken only when both replies agree (line::ReadAgreed).
void GetPara();
// The outcome of the last SendPara or GetPara, for whoever keeps a record of the transfers.
line::Transfer LastParamTransfer();
// Reads RAM or EEPROM into `block` as GET does (two agreeing reads, pacing kept) without
// touching pp, the variables or the panel. `why` says what went wrong when not kVerified.
line::Transfer ReadAgreedBlock(bool eeprom, line::Block *block, line::Reply *why);
void GetData();
// True while GetData's loop runs (also while a callback runs nested inside it).
bool PollingLoopRunning();

// Parameter files.
void SendParaToFile();
void ReadParaFromFile();
