// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// identify, read, write and diff: the sensor's identification and its parameter block.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/common.h"
#include "line/line.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace cli {

int Identify(Link &link, const Args &args) {
    if (!args.empty())
        return UsageError("identify takes no arguments");
    if (const int r = link.open(); r != kOk)
        return r;
    const Block none{};
    if (const int r = link.transact(protocol::kIdentify, none, protocol::kIdentReplyBytes);
        r != kOk)
        return r;
    char ident[protocol::kIdentReplyBytes / 2 + 1];
    protocol::DecodeIdent(link.reply(), ident);
    // The text is the sensor's: an escape sequence in it must not reach the terminal.
    std::printf("%s\n", line::EscapedForTerminal(ident).c_str());
    return kOk;
}

int Read(Link &link, const Args &args) {
    bool eeprom = false;
    bool haveMemory = false;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size())
                return UsageError("read: -o needs a file name");
            output = args[++i];
            if (output.empty())
                return UsageError("read: -o needs a file name (- for standard output)");
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
    const journal::Action action = eeprom ? journal::Action::ReadEeprom : journal::Action::ReadRam;
    if (const int r = ReadBlock(link, eeprom, &block); r != kOk) {
        RecordTransfer(link, action, Block{}, journal::Result::Refused, output);
        return r;
    }
    // Two agreeing reads: the block is the sensor's.
    RecordTransfer(link, action, block, journal::Result::Verified, output);
    return WriteBlock(block, output);
}

int Write(Link &link, const Args &args) {
    bool eeprom = false;
    if (args.size() != 2 || !ParseMemory(args[0], &eeprom))
        return UsageError("write: expected ram|eeprom FILE");
    Block block{};
    // The file is checked before the port is touched: a refused file sends nothing.
    if (const int r = LoadFile(args[1], &block); r != kOk)
        return r;
    if (const int r = link.open(); r != kOk)
        return r;
    const journal::Action action =
        eeprom ? journal::Action::WriteEeprom : journal::Action::WriteRam;
    if (const int r =
            link.transact(eeprom ? protocol::kWriteEeprom : protocol::kWriteRam, block, 0);
        r != kOk) {
        RecordTransfer(link, action, block, journal::Result::Refused, args[1]);
        return r;
    }
    // The sensor never acknowledges a write: the same memory is read back (after the write's
    // pause) and compared, as the window program does it.
    LinkBlockReader reader(link, eeprom);
    Block back{};
    line::Reply why = line::Reply::kOk;
    const line::Transfer outcome = line::VerifyWrite(reader, block, &back, &why);
    RecordTransfer(link, action, block, journal::ResultOf(outcome), args[1]);
    if (outcome == line::Transfer::kVerified)
        return kOk;
    const char *memory = eeprom ? "EEPROM" : "RAM";
    if (outcome == line::Transfer::kNotConfirmed) {
        std::fprintf(stderr, "tintaro-cli: %s: %s write not confirmed: %s\n",
                     line::EscapedForTerminal(link.name()).c_str(), memory, line::ReplyText(why));
        return kNoReply;
    }
    std::fprintf(stderr, "tintaro-cli: %s %s does not hold %s; differing words (file, sensor):\n",
                 line::EscapedForTerminal(link.name()).c_str(), memory,
                 line::EscapedForTerminal(args[1]).c_str());
    PrintDifferences(block, back);
    return kDifferent;
}

int Diff(Link &link, const Args &args) {
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
            if (fromSensor[i]) {
                const journal::Action action =
                    eeprom[i] ? journal::Action::ReadEeprom : journal::Action::ReadRam;
                if (const int r = ReadBlock(link, eeprom[i], &blocks[i]); r != kOk) {
                    RecordTransfer(link, action, Block{}, journal::Result::Refused, "");
                    return r;
                }
                RecordTransfer(link, action, blocks[i], journal::Result::Verified, "");
            }
    }
    return PrintDifferences(blocks[0], blocks[1]) == 0 ? kOk : kDifferent;
}

} // namespace cli
