// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The commands of tintaro-cli. Frames, the reply wait, the parameter-file format and the CSV
// rows are the window program's own (src/protocol, src/line, src/platform/files).
#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "line/line.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "protocol/protocol.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace cli {
namespace {

using Block = std::array<std::uint16_t, protocol::kParaWords>;

constexpr char kUsageText[] =
    "Usage: tintaro-cli [--port PORT] COMMAND ...\n"
    "\n"
    "Talks to the colour sensor on PORT: COM1 to COM16 (TINTARO_COM<n> names the device, as in\n"
    "the window program) or a device path. Default COM1.\n"
    "\n"
    "Commands:\n"
    "  identify                      print the sensor's identification\n"
    "  read ram|eeprom [-o FILE]     the parameter block as a parameter file, on stdout or\n"
    "                                into FILE\n"
    "  write ram|eeprom FILE         send FILE's block, read it back, compare\n"
    "  diff A B                      compare two blocks; A and B are ram, eeprom or a file\n"
    "  poll [--count N] [--interval SECONDS]\n"
    "                                data records as CSV until N records or SIGINT/SIGTERM\n"
    "\n"
    "Options:\n"
    "  --port PORT   the sensor's port (default COM1)\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "\n"
    "Exit codes: 0 success, 1 the blocks differ, 2 usage error, 3 port missing or cannot be\n"
    "opened, 4 no reply or a refused reply, 5 parameter file refused or not written.\n";

volatile std::sig_atomic_t gStop = 0;

extern "C" void OnStopSignal(int) { gStop = 1; }

int UsageError(const char *what, const char *arg = nullptr) {
    if (arg)
        std::fprintf(stderr, "tintaro-cli: %s: %s\n\n", what, arg);
    else
        std::fprintf(stderr, "tintaro-cli: %s\n\n", what);
    std::fputs(kUsageText, stderr);
    return kUsage;
}

// ---- The port --------------------------------------------------------------------------------

// Port numbers 1..16 stand for COM1..COM16; a device path is opened behind number 1.
struct PortChoice {
    int number = 1;
    std::string path; // empty: the device the number maps to
    std::string name() const { return path.empty() ? "COM" + std::to_string(number) : path; }
};

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

class Link {
public:
    explicit Link(PortChoice choice) : port_(std::move(choice)) {}
    ~Link() {
        if (open_)
            CloseCom(port_.number);
    }
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Opens the port as the window program does (19200 8N1, no flow control). kOk or kNoPort.
    int open() {
        const std::string device = port_.path.empty() ? ComPortDevice(port_.number) : port_.path;
        const int result = OpenComConfig(port_.number, port_.path.c_str(), line::kBaudRate, 0, 8,
                                         1, 1024, 1024);
        if (result < 0) {
            if (port_.path.empty())
                std::fprintf(stderr, "tintaro-cli: %s (%s): %s\n", port_.name().c_str(),
                             device.empty() ? "no device" : device.c_str(), OpenFailure(result));
            else
                std::fprintf(stderr, "tintaro-cli: %s: %s\n", device.c_str(), OpenFailure(result));
            return kNoPort;
        }
        SetComTime(port_.number, line::kReplyTimeout);
        SetCTSMode(port_.number, 0);
        open_ = true;
        return kOk;
    }

    // Sends the request for `order` with `block` and waits for a reply of `expected` bytes
    // (none for 0). Refuses a reply of another length and a line that echoes the request.
    // kOk or kNoReply (with the reason on stderr).
    int transact(unsigned char order, const Block &block, int expected, double *sentAt = nullptr) {
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
        if (expected == 0)
            return kOk;
        received_ = line::WaitAndRead(port_.number, expected, start, reply_, int(sizeof reply_));
        if (protocol::EchoesRequest(reply_, std::size_t(received_), request_)) {
            std::fprintf(stderr,
                         "tintaro-cli: %s: the line echoes the request; no sensor answers\n",
                         port_.name().c_str());
            return kNoReply;
        }
        if (received_ != expected) {
            if (received_ == 0)
                std::fprintf(stderr, "tintaro-cli: %s: no reply from the sensor\n",
                             port_.name().c_str());
            else
                std::fprintf(stderr,
                             "tintaro-cli: %s: reply refused: %d bytes instead of %d\n",
                             port_.name().c_str(), received_, expected);
            return kNoReply;
        }
        return kOk;
    }

    const char *reply() const { return reply_; }
    const std::string name() const { return port_.name(); }

private:
    PortChoice port_;
    bool open_ = false;
    double lastBegin_ = 0.0;
    double pacing_ = 0.0;
    char request_[protocol::kRequestBytes] = {};
    char reply_[1024] = {};
    int received_ = 0;
};

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
    Block loaded{};
    const int result = FileToArray(path.c_str(), loaded.data(), VAL_UNSIGNED_SHORT_INTEGER,
                                   protocol::kParaWords, 1, 0, 0, 1);
    if (result < 0) {
        std::fprintf(stderr, "tintaro-cli: parameter file refused: %s: %s\n", path.c_str(),
                     line::ParamFileRefusal(result));
        return kBadFile;
    }
    *block = loaded;
    return kOk;
}

int ReadBlock(Link &link, bool eeprom, Block *block) {
    const Block none{};
    const int result = link.transact(eeprom ? protocol::kReadEeprom : protocol::kReadRam, none,
                                     protocol::kParaReplyBytes);
    if (result != kOk)
        return result;
    protocol::DecodeWords(link.reply(), protocol::kParaWords, block->data());
    return kOk;
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

// ---- Commands --------------------------------------------------------------------------------

int Identify(Link &link) {
    if (const int r = link.open(); r != kOk)
        return r;
    const Block none{};
    if (const int r = link.transact(protocol::kIdentify, none, protocol::kIdentReplyBytes);
        r != kOk)
        return r;
    char ident[protocol::kIdentReplyBytes / 2 + 1];
    protocol::DecodeIdent(link.reply(), ident);
    std::printf("%s\n", ident);
    return kOk;
}

int Read(Link &link, const std::vector<std::string> &args) {
    bool eeprom = false;
    bool haveMemory = false;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size())
                return UsageError("read: -o needs a file name");
            output = args[++i];
        } else if (!haveMemory && ParseMemory(args[i], &eeprom)) {
            haveMemory = true;
        } else {
            return UsageError("read: unexpected argument", args[i].c_str());
        }
    }
    if (!haveMemory)
        return UsageError("read: name the memory: ram or eeprom");
    if (const int r = link.open(); r != kOk)
        return r;
    Block block{};
    if (const int r = ReadBlock(link, eeprom, &block); r != kOk)
        return r;
    if (!output.empty()) {
        const int result = ArrayToFile(output.c_str(), block.data(), VAL_UNSIGNED_SHORT_INTEGER,
                                       protocol::kParaWords, 1, 0, 0, 0, 5, 1, 0);
        if (result < 0) {
            std::fprintf(stderr, "tintaro-cli: %s: not written: %s\n", output.c_str(),
                         result == FILE_NOT_REGULAR ? "not a regular file"
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

int Write(Link &link, const std::vector<std::string> &args) {
    bool eeprom = false;
    if (args.size() != 2 || !ParseMemory(args[0], &eeprom))
        return UsageError("write: expected ram|eeprom FILE");
    Block block{};
    // The file is checked before the port is touched: a refused file sends nothing.
    if (const int r = LoadFile(args[1], &block); r != kOk)
        return r;
    if (const int r = link.open(); r != kOk)
        return r;
    if (const int r = link.transact(eeprom ? protocol::kWriteEeprom : protocol::kWriteRam, block,
                                    0);
        r != kOk)
        return r;
    Block back{};
    if (const int r = ReadBlock(link, eeprom, &back); r != kOk)
        return r;
    if (back == block)
        return kOk;
    std::fprintf(stderr, "tintaro-cli: %s %s does not hold %s; differing words (file, sensor):\n",
                 link.name().c_str(), eeprom ? "EEPROM" : "RAM", args[1].c_str());
    PrintDifferences(block, back);
    return kDifferent;
}

int Diff(Link &link, const std::vector<std::string> &args) {
    if (args.size() != 2)
        return UsageError("diff: expected two blocks: ram, eeprom or a file");
    Block blocks[2]{};
    bool fromSensor[2] = {false, false};
    bool eeprom[2] = {false, false};
    // Files first: a refused file ends the command before the sensor is asked.
    for (int i = 0; i < 2; ++i) {
        fromSensor[i] = ParseMemory(args[std::size_t(i)], &eeprom[i]);
        if (!fromSensor[i])
            if (const int r = LoadFile(args[std::size_t(i)], &blocks[i]); r != kOk)
                return r;
    }
    if (fromSensor[0] || fromSensor[1]) {
        if (const int r = link.open(); r != kOk)
            return r;
        for (int i = 0; i < 2; ++i)
            if (fromSensor[i])
                if (const int r = ReadBlock(link, eeprom[i], &blocks[i]); r != kOk)
                    return r;
    }
    return PrintDifferences(blocks[0], blocks[1]) == 0 ? kOk : kDifferent;
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

int Poll(Link &link, const std::vector<std::string> &args) {
    long count = 0; // 0: until a signal
    double interval = 0.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--count") {
            if (!hasValue || !ParseCount(args[++i], &count))
                return UsageError("poll: --count needs a whole number of at least 1");
        } else if (args[i] == "--interval") {
            if (!hasValue || !ParseSeconds(args[++i], &interval))
                return UsageError("poll: --interval needs seconds from 0 to 86400");
        } else {
            return UsageError("poll: unexpected argument", args[i].c_str());
        }
    }
    if (const int r = link.open(); r != kOk)
        return r;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::fputs(line::CsvHeader(), stdout);
    std::fflush(stdout);
    const Block none{};
    double first = -1.0;
    int result = kOk;
    for (long n = 0; !gStop && (count == 0 || n < count); ++n) {
        if (n > 0 && interval > 0) {
            // Sleeps in short steps so that a signal ends the wait at once.
            const double until = Timer() + interval;
            for (double left = interval; left > 0 && !gStop; left = until - Timer())
                Delay(std::min(left, 0.05));
            if (gStop)
                break;
        }
        double sentAt = 0.0;
        result = link.transact(protocol::kReadData, none, protocol::kDataReplyBytes, &sentAt);
        if (result != kOk)
            break;
        if (first < 0)
            first = sentAt;
        std::uint16_t record[protocol::kDataWords];
        protocol::DecodeWords(link.reply(), protocol::kDataWords, record);
        const std::string row = line::CsvRow(sentAt - first, record);
        std::fwrite(row.data(), 1, row.size(), stdout);
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "tintaro-cli: standard output: %s\n", std::strerror(errno));
            return kBadFile;
        }
    }
    return result;
}

} // namespace

int Run(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    PortChoice port;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        if (a == "--version") {
            std::printf("tintaro-cli " TINTARO_VERSION "\n");
            return kOk;
        }
        if (a == "--port") {
            if (i + 1 >= args.size())
                return UsageError("--port needs a port: COM1 to COM16 or a device path");
            if (!ParsePort(args[++i], &port))
                return UsageError("not a port (COM1 to COM16 or a device path)",
                                  args[i].c_str());
            continue;
        }
        if (a.compare(0, 7, "--port=") == 0) {
            if (!ParsePort(a.substr(7), &port))
                return UsageError("not a port (COM1 to COM16 or a device path)", a.c_str() + 7);
            continue;
        }
        if (!a.empty() && a[0] == '-')
            return UsageError("unknown option", a.c_str());
        break;
    }
    if (i >= args.size())
        return UsageError("no command given");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + std::ptrdiff_t(i) + 1, args.end());
    Link link(port);
    if (command == "identify")
        return rest.empty() ? Identify(link) : UsageError("identify takes no arguments");
    if (command == "read")
        return Read(link, rest);
    if (command == "write")
        return Write(link, rest);
    if (command == "diff")
        return Diff(link, rest);
    if (command == "poll")
        return Poll(link, rest);
    return UsageError("unknown command", command.c_str());
}

} // namespace cli
