// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor transactions: parameter write, parameter read and the data polling loop.
#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"
#include "com232/link.h"
#include "gui/gui.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"

void SendPara() {
    poll = 0;
    if (target == RAM) {
        order = 1;
        transbeg = Timer();
        waitdel = 0.2;
    } else {
        order = 2;
        transbeg = Timer();
        waitdel = 0.3;
    }
    GetPanelValues();
    CopyVarsToPP();
    nBytesW = static_cast<u16>(WriteRequest(static_cast<unsigned char>(order & 0xFF)));
    if (nBytesW != 2 * anzpara + 4)
        ReportTimeout();
}

void GetPara() {
    poll = 0;
    if (target == RAM)
        order = 3;
    else if (target == EEPROM)
        order = 4;
    transbeg = Timer();
    waitdel = 0.2;
    FlushInQ(com);
    FlushOutQ(com);
    WriteRequest(static_cast<unsigned char>(order & 0xFF));
    WaitAndReadReply(2 * anzpara);
    if (nBytesR != 2 * anzpara) {
        ReportTimeout();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
    SetPanelValues();
    InitEval();
}

void GetData() {
    order = 5;
    poll = 1;
    while (poll == 1) {
        FlushInQ(com);
        FlushOutQ(com);
        WriteRequest(static_cast<unsigned char>(order & 0xFF));
        WaitAndReadReply(2 * anzdata);
        if (nBytesR == 2 * anzdata) {
            GetRxBufData();
            CopyDatatoVars();
            SetPanelData();
            ShowGraph();
        } else {
            ReportTimeout();
            poll = 0;
        }
        ProcessSystemEvents();
    }
}
