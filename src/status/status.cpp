// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The status bar's texts: port, link, polling, last transfer, and the panel-differs marker.
#include "status/status.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "Tintarov10/state.h"
#include "gui/gui.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "protocol/protocol.h"

namespace {

enum Field { kPortField, kLinkField, kPollField, kTransferField, kPanelField, kRecordField };

constexpr double kRateWindow = 1.0; // seconds over which the records per second are counted
constexpr int kNamedWords = 3;      // differing words named in the marker

char ident_[64] = {};    // the last identification, UTF-8
char identRaw_[64] = {}; // the same as the sensor sent it
bool answered_ = false;  // the last transaction got its reply
std::array<std::uint16_t, protocol::kParaWords> kept_{};
char keptFrom_[64] = {}; // "" while no block has been read or written
double rateStart_ = 0.0;
long rateCount_ = 0;
char lastRecordTime_[16] = {}; // time of day of the last accepted record
bool dataFailed_ = false;      // polling ended on a refused data reply
bool polling_ = false;         // between NotePollingStarted and its end
int paused_ = 0;               // pop-ups open while polling (they nest)
long refused_ = 0;             // implausible records since polling started
char pollText_[64] = {};       // the polling field's text before the refused count
bool pollAlert_ = false;

void Show(int field, const char *text, bool alert = false) {
    SetStatusBarText(panel, field, text);
    SetStatusBarAlert(panel, field, alert ? 1 : 0);
}

// The time of day as HH:MM:SS.
const char *Clock(char *out, std::size_t size) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(out, size, "%H:%M:%S", &local);
    return out;
}

// The sensor's text is single-byte (Latin-1); the status bar takes UTF-8.
void Latin1ToUtf8(const char *in, char *out, std::size_t size) {
    std::size_t n = 0;
    for (; *in && n + 2 < size; ++in) {
        const auto c = static_cast<unsigned char>(*in);
        if (c < 0x80) {
            out[n++] = char(c);
        } else {
            out[n++] = char(0xC0 | (c >> 6));
            out[n++] = char(0x80 | (c & 0x3F));
        }
    }
    out[n] = '\0';
}

void ShowLink() {
    char text[96];
    if (ident_[0])
        std::snprintf(text, sizeof text, "identified: %s", ident_);
    else
        std::snprintf(text, sizeof text, "sensor answers");
    Show(kLinkField, text);
}

// The polling field: its state, then how many records were refused since polling started.
void ShowPoll(const char *state, bool alert = false) {
    if (state != pollText_)
        std::snprintf(pollText_, sizeof pollText_, "%s", state);
    pollAlert_ = alert;
    if (paused_)
        return; // the pop-up still holds the loop; its close shows the latest state
    char text[128];
    if (refused_ > 0)
        std::snprintf(text, sizeof text, "%s, %ld record%s refused: line noise?", pollText_,
                      refused_, refused_ == 1 ? "" : "s");
    else
        std::snprintf(text, sizeof text, "%s", pollText_);
    Show(kPollField, text, alert || refused_ > 0);
}

// The control event observer: an edit may have made the panel differ.
void AfterControlEvent(int, int, int) {
    CheckPanelBlock();
}

// A pop-up opened while polling runs holds the loop until it closes: say so meanwhile.
void AroundPopup(int opening) {
    if (opening) {
        if (!paused_ && !(polling_ && poll == 1))
            return;
        if (paused_++ == 0)
            Show(kPollField, "polling paused");
    } else if (paused_ > 0 && --paused_ == 0) {
        ShowPoll(pollText_, pollAlert_);
    }
}

} // namespace

void StartLinkStatus() {
    ident_[0] = '\0';
    identRaw_[0] = '\0';
    Show(kPortField, "");
    Show(kLinkField, "not connected");
    polling_ = false;
    paused_ = 0;
    refused_ = 0;
    ShowPoll("polling off");
    Show(kTransferField, "no transfer yet");
    Show(kPanelField, "panel from the panel file");
    Show(kRecordField, "not recording");
    SetControlEventObserver(AfterControlEvent);
    SetPopupObserver(AroundPopup);
}

void NotePortOpening(int port) {
    char text[300];
    const std::string device = ComPortDevice(port);
    const std::string stable = ComStableName(device);
    std::snprintf(text, sizeof text, "COM%d %s%s%s%s", port,
                  device.empty() ? "(no device)" : device.c_str(), stable.empty() ? "" : " (",
                  stable.c_str(), stable.empty() ? "" : ")");
    Show(kPortField, text);
}

void NoteLinkIdentified(const char *ident) {
    Latin1ToUtf8(ident, ident_, sizeof ident_);
    std::snprintf(identRaw_, sizeof identRaw_, "%s", ident);
    answered_ = true;
    ShowLink();
}

void NoteLinkNoReply() {
    NoteLinkFault(line::Reply::kNone);
}

void NoteLinkFault(line::Reply why) {
    if (why == line::Reply::kOk)
        return;
    if (why == line::Reply::kEcho) {
        NoteLinkEchoes();
        return;
    }
    answered_ = false;
    // A closed connection or a pulled adapter is no silent sensor: the next GET, SEND or GO
    // takes the port up again.
    if (why == line::Reply::kNone && ComPortGone(com) == 1)
        why = line::Reply::kPortGone;
    Show(kLinkField, line::ReplyText(why), true);
}

void NoteLinkPortError(const char *message) {
    answered_ = false;
    ident_[0] = '\0';
    identRaw_[0] = '\0';
    char text[96];
    std::snprintf(text, sizeof text, "port error: %s", message);
    Show(kLinkField, text, true);
}

void NoteLinkEchoes() {
    answered_ = false;
    ident_[0] = '\0';
    identRaw_[0] = '\0';
    Show(kLinkField, "line echoes the request", true);
}

void LastIdentification(char *out, std::size_t size) {
    if (size > 0)
        std::snprintf(out, size, "%s", identRaw_);
}

void NoteRecording(const char *name, long records) {
    if (!name) {
        Show(kRecordField, "not recording");
        return;
    }
    char text[320];
    std::snprintf(text, sizeof text, "recording to %s (%ld records)", name, records);
    Show(kRecordField, text);
}

void NotePollingStarted() {
    rateStart_ = Timer();
    rateCount_ = 0;
    dataFailed_ = false;
    Clock(lastRecordTime_, sizeof lastRecordTime_);
    polling_ = true;
    refused_ = 0;
    ShowPoll("polling on");
}

void NoteRecord() {
    if (!answered_) {
        answered_ = true;
        ShowLink();
    }
    ++rateCount_;
    const double elapsed = Timer() - rateStart_;
    if (elapsed < kRateWindow)
        return;
    // Formatting the texts once a second keeps the polling loop's cost flat.
    Clock(lastRecordTime_, sizeof lastRecordTime_);
    char text[64];
    std::snprintf(text, sizeof text, "polling: %.1f records/s", double(rateCount_) / elapsed);
    ShowPoll(text);
    rateStart_ += elapsed;
    rateCount_ = 0;
}

void NoteRecordRefused() {
    ++refused_;
    ShowPoll(pollText_, pollAlert_);
}

void NoteDataFailed(line::Reply why) {
    if (rateCount_ > 0)
        Clock(lastRecordTime_, sizeof lastRecordTime_);
    char text[64];
    std::snprintf(text, sizeof text, "no data since %s", lastRecordTime_);
    polling_ = false; // the pop-up that follows ends polling, it does not pause it
    ShowPoll(text, true);
    dataFailed_ = true;
    NoteLinkFault(why);
}

void NotePollingEnded() {
    polling_ = false;
    if (!dataFailed_)
        ShowPoll("polling off");
}

void NoteTransfer(const char *what, bool failed) {
    char clock[16];
    char text[320];
    std::snprintf(text, sizeof text, "%s %s", what, Clock(clock, sizeof clock));
    Show(kTransferField, text, failed);
}

void NoteJournalProblem(const char *problem) {
    char now[320] = {};
    GetStatusBarText(panel, kTransferField, now, sizeof now);
    char text[640];
    std::snprintf(text, sizeof text, "%s; not in the journal: %s", now, problem);
    Show(kTransferField, text, true);
}

void KeepBlock(const char *where, const std::uint16_t *block) {
    std::copy(block, block + protocol::kParaWords, kept_.begin());
    std::snprintf(keptFrom_, sizeof keptFrom_, "%s", where);
    if (!answered_ && (std::strcmp(where, "RAM") == 0 || std::strcmp(where, "EEPROM") == 0)) {
        answered_ = true;
        ShowLink();
    }
    CheckPanelBlock();
}

void CheckPanelBlock() {
    if (!keptFrom_[0])
        return;
    std::array<std::uint16_t, protocol::kParaWords> now = kept_; // the spare words have no control
    PeekPanelValues(now.data());
    char text[256];
    int n = std::snprintf(text, sizeof text, "panel differs from %s:", keptFrom_);
    int named = 0;
    for (int i = 0; i < protocol::kParaWords && n < int(sizeof text); ++i) {
        if (now[std::size_t(i)] == kept_[std::size_t(i)])
            continue;
        if (named == kNamedWords) {
            n += std::snprintf(text + n, sizeof text - std::size_t(n), " ...");
            break;
        }
        char name[32];
        n += std::snprintf(text + n, sizeof text - std::size_t(n), "%s %d %s", named ? "," : "", i,
                           protocol::WordName(i, name, sizeof name));
        ++named;
    }
    if (named == 0)
        std::snprintf(text, sizeof text, "panel matches %s", keptFrom_);
    Show(kPanelField, text, named > 0);
}

bool PanelDiffersFromKept() {
    if (!keptFrom_[0])
        return false;
    std::array<std::uint16_t, protocol::kParaWords> now = kept_;
    PeekPanelValues(now.data());
    return now != kept_;
}
