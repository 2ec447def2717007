// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Sensor link: serial port and line check, frames, transactions, and parameter files.
#pragma once

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
void SendPara();
// Reads the block from RAM or EEPROM by `target`. With FILE selected it sends `order` as its
// caller left it: CheckComLine sets 3 first, so that the line check reads the sensor's RAM.
void GetPara();
void GetData();
// True while GetData's loop runs (also while a callback runs nested inside it).
bool PollingLoopRunning();

// Parameter files.
void SendParaToFile();
void ReadParaFromFile();
