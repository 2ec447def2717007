// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The port, the link and the parameter blocks that the commands share.
#include "cli/common.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "line/line.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"

namespace cli {

volatile std::sig_atomic_t gStop = 0;

namespace {

extern "C" void OnStopSignal(int) {
    gStop = 1;
}

const char *OpenFailure(int result) {
    switch (result) {
    case COM_NO_PORT_FOUND:
        return "no such serial port";
    case COM_CANNOT_OPEN:
        return "cannot open port (busy or not permitted)";
    case COM_INVALID_PORT:
        return "invalid port number";
    default:
        return "cannot configure the port";
    }
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// ---- The port --------------------------------------------------------------------------------

bool ParsePort(const std::string &text, PortChoice *choice) {
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0)) {
        const std::string digits = text.substr(3);
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 2)
            return false;
        const int n = std::atoi(digits.c_str());
        if (n < 1 || n > kMaxComPort)
            return false;
        choice->number = n;
        choice->path.clear();
        return true;
    }
    if (text.empty())
        return false;
    choice->number = 1;
    choice->path = text;
    return true;
}

Link::Link(PortChoice choice) : port_(std::move(choice)) {}

Link::~Link() {
    if (open_)
        CloseCom(port_.number);
}

int Link::open() {
    const std::string device = port_.path.empty() ? ComPortDevice(port_.number) : port_.path;
    const int result =
        OpenComConfig(port_.number, port_.path.c_str(), line::kBaudRate, 0, 8, 1, 1024, 1024);
    if (result < 0) {
        if (port_.path.empty())
            std::fprintf(stderr, "tintaro-cli: %s (%s): %s\n", port_.name().c_str(),
                         device.empty() ? "no device" : line::EscapedForTerminal(device).c_str(),
                         OpenFailure(result));
        else
            std::fprintf(stderr, "tintaro-cli: %s: %s\n", line::EscapedForTerminal(device).c_str(),
                         OpenFailure(result));
        return kNoPort;
    }
    SetComTime(port_.number, line::kReplyTimeout);
    SetCTSMode(port_.number, 0);
    open_ = true;
    return kOk;
}

int Link::transact(unsigned char order, const Block &block, int expected, double *sentAt) {
    // The sensor is given the pause it needs after the last parameter transaction.
    const double pause = pacing_ - (Timer() - lastBegin_);
    if (pause > 0)
        Delay(pause);
    FlushInQ(port_.number);
    FlushOutQ(port_.number);
    protocol::EncodeRequest(protocol::kSync, order, block.data(), block.size(), request_);
    const double start = Timer();
    if (sentAt)
        *sentAt = start;
    const int written = ComWrt(port_.number, request_, protocol::kRequestBytes);
    if (written != protocol::kRequestBytes) {
        lastReply_ = written < 0 ? line::Reply::kPortGone : line::Reply::kNone;
        std::fprintf(stderr, "tintaro-cli: %s: the request could not be sent\n",
                     port_.name().c_str());
        return kNoReply;
    }
    if (order == protocol::kWriteRam || order == protocol::kWriteEeprom) {
        lastBegin_ = start;
        pacing_ = order == protocol::kWriteRam ? line::kPacingAfterRamWrite
                                               : line::kPacingAfterEepromWrite;
    } else if (order == protocol::kReadRam || order == protocol::kReadEeprom) {
        lastBegin_ = start;
        pacing_ = line::kPacingAfterRead;
    }
    lastReply_ = line::Reply::kOk;
    if (expected == 0)
        return kOk;
    bool portFailed = false;
    received_ = line::WaitAndRead(port_.number, expected, start, reply_, int(sizeof reply_),
                                  nullptr, nullptr, &portFailed);
    lastReply_ = line::ClassifyReply(received_, expected, reply_, request_, portFailed);
    switch (lastReply_) {
    case line::Reply::kOk:
        return kOk;
    case line::Reply::kEcho:
        std::fprintf(stderr, "tintaro-cli: %s: the line echoes the request; no sensor answers\n",
                     port_.name().c_str());
        break;
    case line::Reply::kNone:
        std::fprintf(stderr, "tintaro-cli: %s: no reply from the sensor\n", port_.name().c_str());
        break;
    case line::Reply::kPortGone:
        std::fprintf(stderr, "tintaro-cli: %s: port gone (device away or not open)\n",
                     port_.name().c_str());
        break;
    default:
        std::fprintf(stderr, "tintaro-cli: %s: reply refused: %d bytes instead of %d (%s)\n",
                     port_.name().c_str(), received_, expected, line::ReplyText(lastReply_));
        break;
    }
    return kNoReply;
}

// ---- Parameter blocks ------------------------------------------------------------------------

bool ParseMemory(const std::string &text, bool *eeprom) {
    if (text == "ram" || text == "RAM") {
        *eeprom = false;
        return true;
    }
    if (text == "eeprom" || text == "EEPROM") {
        *eeprom = true;
        return true;
    }
    return false;
}

int LoadFile(const std::string &path, Block *block) {
    if (long long id = 0; journal::ParseReference(path, &id))
        return LoadJournalBlock(id, block);
    Block loaded{};
    const int result = FileToArray(path.c_str(), loaded.data(), VAL_UNSIGNED_SHORT_INTEGER,
                                   protocol::kParaWords, 1, 0, 0, 1);
    if (result < 0) {
        std::fprintf(stderr, "tintaro-cli: parameter file refused: %s: %s\n",
                     line::EscapedForTerminal(path).c_str(), line::ParamFileRefusal(result));
        return kBadFile;
    }
    *block = loaded;
    return kOk;
}

line::Reply LinkBlockReader::readBlock(Block *block) {
    const Block none{};
    if (link_.transact(eeprom_ ? protocol::kReadEeprom : protocol::kReadRam, none,
                       protocol::kParaReplyBytes) == kOk)
        protocol::DecodeWords(link_.reply(), protocol::kParaWords, block->data());
    return link_.lastReply();
}

int ReadBlock(Link &link, bool eeprom, Block *block) {
    LinkBlockReader reader(link, eeprom);
    line::Reply why = line::Reply::kOk;
    if (line::ReadAgreed(reader, block, &why) == line::Transfer::kVerified)
        return kOk;
    // A failed read has told why already.
    if (why == line::Reply::kDiffer)
        std::fprintf(stderr,
                     "tintaro-cli: %s: %s block refused: two reads gave different replies "
                     "(replies differ: line noise?)\n",
                     link.name().c_str(), eeprom ? "EEPROM" : "RAM");
    return kNoReply;
}

// Prints each differing word: index, name, the value in a, the value in b (tab-separated).
// Returns the number of differing words.
int PrintDifferences(const Block &a, const Block &b) {
    int differing = 0;
    for (int i = 0; i < protocol::kParaWords; ++i) {
        if (a[std::size_t(i)] == b[std::size_t(i)])
            continue;
        char name[32];
        std::printf("%d\t%s\t%u\t%u\n", i, protocol::WordName(i, name, sizeof name),
                    unsigned(a[std::size_t(i)]), unsigned(b[std::size_t(i)]));
        ++differing;
    }
    std::fflush(stdout);
    return differing;
}

bool ParseCount(const std::string &text, long *out) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < 1)
        return false;
    *out = v;
    return true;
}

bool ParseSeconds(const std::string &text, double *out) {
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400)
        return false;
    *out = v;
    return true;
}

// ---- Output ----------------------------------------------------------------------------------

int WriteBlock(const Block &block, const std::string &output) {
    if (!output.empty() && output != "-") {
        const int result = ArrayToFile(output.c_str(), block.data(), VAL_UNSIGNED_SHORT_INTEGER,
                                       protocol::kParaWords, 1, 0, 0, 0, 5, 1, 0);
        if (result < 0) {
            std::fprintf(stderr, "tintaro-cli: %s: not written: %s\n",
                         line::EscapedForTerminal(output).c_str(),
                         result == FILE_NOT_REGULAR   ? "not a regular file"
                         : result == FILE_UNSAFE_LINK ? "a symbolic link of another user or to "
                                                        "nothing; not followed"
                                                      : "folder or file not writable");
            return kBadFile;
        }
        return kOk;
    }
    std::string text;
    ArrayToText(block.data(), VAL_UNSIGNED_SHORT_INTEGER, protocol::kParaWords, 5, &text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tintaro-cli: standard output: %s\n", std::strerror(errno));
        return kBadFile;
    }
    return kOk;
}

} // namespace cli
