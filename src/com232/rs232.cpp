// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Opening the serial port, the line check, and the reply wait shared by all transactions.
#include <cstring>

#include "Tintarov10/state.h"
#include "com232/com232.h"
#include "com232/link.h"
#include "line/line.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

namespace {

constexpr double kReplyTimeout = line::kReplyTimeout;
constexpr int kIdentBytes = protocol::kIdentReplyBytes;
constexpr char kEchoWarning[] =
    " ATTENTION! \n \n LINE ECHOES THE REQUEST \n NO SENSOR ANSWERS ON THIS PORT";

bool portFailed = false; // the last reply wait saw a port error

} // namespace

const char *ComErrorText(int result) {
    switch (result) {
    case COM_UNKNOWN_SYSTEM_ERROR:
        return "Unknown system error";
    case COM_INVALID_PORT:
        return "Invalid port number";
    case COM_PORT_NOT_OPEN:
        return "Port is not open";
    case COM_IO_ERROR:
        // The operator's manual and existing sensor documentation quote this text as it is.
        return "Unknown I/0 error";
    case COM_NO_PORT_FOUND:
        return "No serial port found";
    case COM_CANNOT_OPEN:
        return "Cannot open port";
    case COM_TIMEOUT:
        return "Timeout";
    default:
        return "RS-232 error!";
    }
}

int WriteRequest(unsigned char orderCode) {
    FillTxBuf(orderCode);
    return ComWrt(com, szWriteBuf, 2 * anzpara + 4);
}

void WaitAndReadReply(int expected, void (*meanwhile)()) {
    tstart = Timer();
    double waited = 0.0;
    const int count =
        line::WaitAndRead(com, expected, tstart, szReadBuf, static_cast<int>(sizeof szReadBuf),
                          &waited, meanwhile, &portFailed);
    tdiff = waited;
    nBytesR = static_cast<u16>(count);
}

line::Reply LastReply(int expected) {
    return line::ClassifyReply(nBytesR, expected, szReadBuf, szWriteBuf, portFailed);
}

void ReportTimeout() {
    SetCtrlVal(panel, PANEL_STATUS, "TIMEOUT");
    MessagePopup("INFO", InfoTimeout);
}

void InitRS232(int port) {
    poll = 0;
    NotePortOpening(port);
    ret = static_cast<i16>(OpenComConfig(port, "", line::kBaudRate, 0, 8, 1, 1024, 1024));
    if (ret < 0) {
        std::strncpy(szStatus, ComErrorText(ret), sizeof szStatus - 1);
        szStatus[sizeof szStatus - 1] = '\0';
        SetCtrlVal(panel, PANEL_STATUS, szStatus);
        NoteLinkPortError(szStatus);
        return;
    }
    SetComTime(port, kReplyTimeout);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    CheckComLine();
}

void CheckComLine() {
    order = 7;
    WriteRequest(static_cast<unsigned char>(order & 0xFF));
    WaitAndReadReply(kIdentBytes);
    // A loopback plug or an echoing adapter sends the request back; its bytes would pass for
    // an identification and the program's own block for the sensor's.
    const line::Reply reply = LastReply(kIdentBytes);
    if (reply == line::Reply::kEcho) {
        SetCtrlVal(panel, PANEL_STATUS, "LINE ECHOES THE REQUEST");
        NoteLinkEchoes();
        MessagePopup("INFO", kEchoWarning);
        return;
    }
    if (reply != line::Reply::kOk) {
        NoteLinkFault(reply); // before the pop-up: the status bar says why while it is open
        ReportTimeout();
        return;
    }
    char ident[kIdentBytes / 2 + 1];
    protocol::DecodeIdent(szReadBuf, ident);
    SetCtrlVal(panel, PANEL_STATUS, ident);
    NoteLinkIdentified(ident);
    // With FILE selected the sensor's RAM is read: there is no file to read from here.
    if (target == DATFILE)
        order = 3;
    GetPara();
}
