// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor transactions: parameter write, parameter read and the data polling loop.
#include "Tintarov10/state.h"
#include "com232/com232.h"
#include "com232/link.h"
#include "gui/gui.h"
#include "gui/recording.h"
#include "gui/teachcheck.h"
#include "line/line.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

void SendPara() {
    poll = 0;
    if (target == RAM) {
        order = 1;
        transbeg = Timer();
        waitdel = line::kPacingAfterRamWrite;
    } else {
        order = 2;
        transbeg = Timer();
        waitdel = line::kPacingAfterEepromWrite;
    }
    GetPanelValues();
    CopyVarsToPP();
    nBytesW = static_cast<u16>(WriteRequest(static_cast<unsigned char>(order & 0xFF)));
    if (nBytesW != 2 * anzpara + 4) {
        ReportTimeout();
        NoteTransfer("TIMEOUT at SEND", true);
        NoteLinkNoReply();
        return;
    }
    NoteTransfer(order == 1 ? "RAM written" : "EEPROM written");
    KeepBlock(order == 1 ? "RAM" : "EEPROM", pp.data());
}

void GetPara() {
    poll = 0;
    if (target == RAM)
        order = 3;
    else if (target == EEPROM)
        order = 4;
    transbeg = Timer();
    waitdel = line::kPacingAfterRead;
    FlushInQ(com);
    FlushOutQ(com);
    WriteRequest(static_cast<unsigned char>(order & 0xFF));
    WaitAndReadReply(2 * anzpara);
    if (nBytesR != 2 * anzpara) {
        ReportTimeout();
        NoteTransfer("TIMEOUT at GET", true);
        NoteLinkNoReply();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
    SetPanelValues();
    InitEval();
    // The order sent says which memory answered (the line check may read RAM with FILE on).
    const char *memory = order == 4 ? "EEPROM" : "RAM";
    NoteTransfer(order == 4 ? "EEPROM read" : "RAM read");
    KeepBlock(memory, pp.data());
}

namespace {

bool loopRunning = false; // GetData is on the stack

} // namespace

bool PollingLoopRunning() {
    return loopRunning;
}

void GetData() {
    // Nested inside a running loop (GO pressed while polling) it would stack a loop per press.
    if (loopRunning)
        return;
    loopRunning = true;
    order = 5;
    poll = 1;
    NotePollingStarted();
    while (poll == 1) {
        FlushInQ(com);
        FlushOutQ(com);
        WriteRequest(static_cast<unsigned char>(order & 0xFF));
        // The record before is drawn while this request is on the wire, not between its reply
        // and this request, and after the first look at the line, not before the sensor (or
        // the system's serial driver) has had the processor to take the request.
        WaitAndReadReply(2 * anzdata, [] { DrawPanels(); });
        if (nBytesR == 2 * anzdata) {
            GetRxBufData();
            CopyDatatoVars();
            SetPanelData();
            ShowGraph();
            NoteRecord();
            RecordShownData();
            CheckShownData();
        } else {
            ReportTimeout();
            NoteDataFailed();
            poll = 0;
        }
        ProcessSystemEventsDrawLater();
    }
    NotePollingEnded();
    loopRunning = false;
    RecordingAfterPolling();
}
