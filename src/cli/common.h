// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// What the commands of tintaro-cli share: the port and the link to the sensor, parameter blocks
// from the sensor or from files, and the parsing of arguments. Each command lives in a file of
// its own and is listed in the table in cli.cpp.
#pragma once

#include <array>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "journal/journal.h"
#include "line/transfer.h"
#include "protocol/protocol.h"

namespace cli {

using Block = line::Block;
using Args = std::vector<std::string>;

// Set by SIGINT and SIGTERM once InstallStopSignals has run.
extern volatile std::sig_atomic_t gStop;
void InstallStopSignals();

// The message on stderr, then the usage; returns kUsage.
int UsageError(const char *what, const char *arg = nullptr);

// ---- The port --------------------------------------------------------------------------------

// Port numbers 1..16 stand for COM1..COM16; a device path is opened behind number 1.
struct PortChoice {
    int number = 1;
    std::string path; // empty: the device the number maps to
    std::string name() const { return path.empty() ? "COM" + std::to_string(number) : path; }
};

// COM1..COM16 (either case) or a path. False for anything else.
bool ParsePort(const std::string &text, PortChoice *choice);

// The sensor on one port, as the window program talks to it: the same frames, reply wait and
// pacing between parameter transactions.
class Link {
public:
    explicit Link(PortChoice choice);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Opens the port as the window program does (19200 8N1, no flow control). kOk or kNoPort.
    int open();

    // Sends the request for `order` with `block` and waits for a reply of `expected` bytes
    // (none for 0). Refuses a reply of another length and a line that echoes the request.
    // kOk or kNoReply (with the reason on stderr). `sentAt` receives the request's time.
    int transact(unsigned char order, const Block &block, int expected, double *sentAt = nullptr);

    const char *reply() const { return reply_; }
    // How the last reply came (kPortGone also when the request could not be sent).
    line::Reply lastReply() const { return lastReply_; }
    std::string name() const { return port_.name(); }
    const PortChoice &port() const { return port_; }

private:
    PortChoice port_;
    bool open_ = false;
    double lastBegin_ = 0.0;
    double pacing_ = 0.0;
    char request_[protocol::kRequestBytes] = {};
    char reply_[1024] = {};
    int received_ = 0;
    line::Reply lastReply_ = line::Reply::kOk;
};

// ---- Parameter blocks ------------------------------------------------------------------------

// "ram" or "eeprom" (either case); false for anything else.
bool ParseMemory(const std::string &text, bool *eeprom);
// A parameter file's block, or a journal entry's for "journal:ID"; kOk, or kBadFile with the
// reason on stderr (block untouched).
int LoadFile(const std::string &path, Block *block);
// The block in the sensor's RAM or EEPROM, read twice and taken only when both replies agree;
// kOk or kNoReply (with the reason on stderr).
int ReadBlock(Link &link, bool eeprom, Block *block);
// Single reads of one memory through `link`, for the agreeing read and a write's read-back.
class LinkBlockReader : public line::BlockReader {
public:
    LinkBlockReader(Link &link, bool eeprom) : link_(link), eeprom_(eeprom) {}
    line::Reply readBlock(Block *block) override;

private:
    Link &link_;
    bool eeprom_;
};
// Prints each differing word on stdout: index, name, the value in a, the value in b
// (tab-separated). Returns the number of differing words.
int PrintDifferences(const Block &a, const Block &b);

// ---- The journal (journal.cpp) ---------------------------------------------------------------

// --journal PATH; empty: TINTARO_JOURNAL or the default place.
extern std::string gJournalOption;
// Records a transfer on `link` in the journal (with the sensor's identification, asked once per
// run); a journal that cannot be opened or written is told on stderr and the command goes on.
// `id` (may be null) receives the entry's id, 0 when none was added.
void RecordTransfer(Link &link, journal::Action action, const Block &block, journal::Result result,
                    const std::string &file, long long *id = nullptr);
// The block of journal entry `id`; kOk, or kBadFile with the reason on stderr.
int LoadJournalBlock(long long id, Block *block);

// Writes `block` as a parameter file to `output`, or to stdout when it is empty or "-". kOk, or
// kBadFile with the reason on stderr (a link of another user or to nothing is not followed).
int WriteBlock(const Block &block, const std::string &output);

// ---- Arguments -------------------------------------------------------------------------------

// A whole number of at least 1.
bool ParseCount(const std::string &text, long *out);
// Seconds from 0 to 86400.
bool ParseSeconds(const std::string &text, double *out);

// ---- Commands (one file each) ----------------------------------------------------------------

int Identify(Link &link, const Args &args);
int Read(Link &link, const Args &args);
int Write(Link &link, const Args &args);
int Diff(Link &link, const Args &args);
int Poll(Link &link, const Args &args);
int Journal(Link &link, const Args &args);
int Sheet(Link &link, const Args &args);
int Scan(Link &link, const Args &args);
int Check(Link &link, const Args &args);

} // namespace cli
