// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The sensor transactions: parameter write, parameter read and the data polling loop.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "Tintarov10/state.h"
#include "com232/com232.h"
#include "com232/link.h"
#include "gui/gui.h"
#include "gui/journaling.h"
#include "gui/recording.h"
#include "gui/teachcheck.h"
#include "line/line.h"
#include "line/transfer.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

namespace {

line::Transfer lastTransfer = line::Transfer::kRefused; // of the last SendPara or GetPara

constexpr char kWriteNotConfirmed[] =
    " ATTENTION! \n \n %s WRITE NOT CONFIRMED \n THE SENSOR GAVE NO USABLE READ-BACK (%s)";
constexpr char kWriteDiffers[] =
    " ATTENTION! \n \n %s WRITE DIFFERS \n THE SENSOR HOLDS ANOTHER BLOCK THAN SENT";

// The pacing wait, as the SEND, GET and GO callbacks do it: the sensor gets `waitdel` seconds
// after the start of the last parameter transaction.
void WaitForPacing() {
    for (double left = waitdel - (Timer() - transbeg); left > 0;
         left = waitdel - (Timer() - transbeg))
        Delay(left);
}

// Reads of the parameter block on the program's port, for the agreeing read and the read-back.
// Each read is a parameter transaction of its own: it sets the pacing pair, and every read
// after the first (and with `paceFirst` the first too) waits for the pacing before it.
class PortBlockReader : public line::BlockReader {
public:
    PortBlockReader(unsigned char orderCode, bool paceFirst)
        : order_(orderCode), pace_(paceFirst) {}

    line::Reply readBlock(line::Block *block) override {
        if (pace_)
            WaitForPacing();
        pace_ = true;
        order = order_;
        transbeg = Timer();
        waitdel = line::kPacingAfterRead;
        FlushInQ(com);
        FlushOutQ(com);
        WriteRequest(order_);
        WaitAndReadReply(2 * anzpara);
        const line::Reply reply = LastReply(2 * anzpara);
        if (reply == line::Reply::kOk)
            protocol::DecodeWords(szReadBuf, block->size(), block->data());
        return reply;
    }

private:
    unsigned char order_;
    bool pace_;
};

// Tells the operator of a write that the read-back did not confirm.
void ReportWrite(const char *memory, line::Transfer outcome, line::Reply why,
                 const line::Block &sent, const line::Block &held) {
    char text[320];
    char popup[200];
    if (outcome == line::Transfer::kDiffers) {
        std::snprintf(text, sizeof text, "%s write differs: %s", memory,
                      line::DescribeDifference(sent, held).c_str());
        std::snprintf(popup, sizeof popup, kWriteDiffers, memory);
    } else {
        NoteLinkFault(why);
        std::snprintf(text, sizeof text, "%s write not confirmed: %s", memory,
                      line::ReplyText(why));
        std::string reason = line::ReplyText(why);
        for (char &c : reason)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        std::snprintf(popup, sizeof popup, kWriteNotConfirmed, memory, reason.c_str());
    }
    NoteTransfer(text, true);
    MessagePopup("INFO", popup);
}

} // namespace

line::Transfer ReadAgreedBlock(bool eeprom, line::Block *block, line::Reply *why) {
    PortBlockReader reader(eeprom ? protocol::kReadEeprom : protocol::kReadRam, true);
    return line::ReadAgreed(reader, block, why);
}

line::Transfer LastParamTransfer() {
    return lastTransfer;
}

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
    const int written = WriteRequest(static_cast<unsigned char>(order & 0xFF));
    nBytesW = static_cast<u16>(written);
    if (nBytesW != 2 * anzpara + 4) {
        lastTransfer = line::Transfer::kNotConfirmed;
        NoteLinkFault(written < 0 ? line::Reply::kPortGone : line::Reply::kNone);
        NoteTransfer("TIMEOUT at SEND", true);
        JournalTransfer(order == 1 ? journal::Action::WriteRam : journal::Action::WriteEeprom,
                        pp.data(), journal::Result::Refused, nullptr);
        ReportTimeout();
        return;
    }
    // The sensor never acknowledges a write: read the memory back, once its pacing has passed.
    const bool eeprom = order == 2;
    const char *memory = eeprom ? "EEPROM" : "RAM";
    line::Block sent{};
    std::copy(pp.begin(), pp.end(), sent.begin());
    line::Block held{};
    line::Reply why = line::Reply::kOk;
    PortBlockReader reader(eeprom ? protocol::kReadEeprom : protocol::kReadRam, true);
    lastTransfer = line::VerifyWrite(reader, sent, &held, &why);
    switch (lastTransfer) {
    case line::Transfer::kVerified: {
        char text[48];
        std::snprintf(text, sizeof text, "%s written and verified", memory);
        NoteTransfer(text);
        KeepBlock(memory, sent.data());
        TableSentForCheck();
        break;
    }
    case line::Transfer::kDiffers:
        // The sensor answered twice alike: what it holds is known, and the panel is compared
        // with that. The panel itself stays as the operator made it.
        KeepBlock(memory, held.data());
        ReportWrite(memory, lastTransfer, why, sent, held);
        break;
    default:
        ReportWrite(memory, lastTransfer, why, sent, held);
        break;
    }
    JournalTransfer(eeprom ? journal::Action::WriteEeprom : journal::Action::WriteRam, sent.data(),
                    journal::ResultOf(lastTransfer), nullptr);
}

void GetPara() {
    poll = 0;
    if (target == RAM)
        order = 3;
    else if (target == EEPROM)
        order = 4;
    transbeg = Timer();
    waitdel = line::kPacingAfterRead;
    // The block carries no check of its own: it counts only when two reads agree.
    PortBlockReader reader(static_cast<unsigned char>(order & 0xFF), false);
    line::Block block{};
    line::Reply why = line::Reply::kOk;
    lastTransfer = line::ReadAgreed(reader, &block, &why);
    if (lastTransfer != line::Transfer::kVerified) {
        // The status bar first: it tells why while the pop-up is open.
        NoteLinkFault(why);
        NoteTransfer(why == line::Reply::kDiffer ? "replies differ: line noise?" : "TIMEOUT at GET",
                     true);
        ReportTimeout();
        JournalTransfer(order == 4 ? journal::Action::ReadEeprom : journal::Action::ReadRam,
                        nullptr, journal::Result::Refused, nullptr);
        return;
    }
    std::copy(block.begin(), block.end(), pp.begin());
    CopyPPtoVars();
    SetPanelValues();
    InitEval();
    // The order sent says which memory answered (the line check may read RAM with FILE on).
    const char *memory = order == 4 ? "EEPROM" : "RAM";
    NoteTransfer(order == 4 ? "EEPROM read" : "RAM read");
    JournalTransfer(order == 4 ? journal::Action::ReadEeprom : journal::Action::ReadRam, pp.data(),
                    journal::Result::Verified, nullptr);
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
        std::uint16_t record[protocol::kDataWords];
        if (nBytesR == 2 * anzdata)
            protocol::DecodeWords(szReadBuf, protocol::kDataWords, record);
        if (nBytesR != 2 * anzdata) {
            NoteDataFailed(LastReply(2 * anzdata)); // before the pop-up, which ends polling
            ReportTimeout();
            poll = 0;
        } else if (!line::RecordPlausible(record)) {
            // Noise that kept the length: not shown, drawn or recorded; polling goes on.
            NoteRecordRefused();
        } else {
            GetRxBufData();
            CopyDatatoVars();
            SetPanelData();
            ShowGraph();
            NoteRecord();
            RecordShownData();
            CheckShownData();
        }
        ProcessSystemEventsDrawLater();
    }
    NotePollingEnded();
    loopRunning = false;
    RecordingAfterPolling();
}
