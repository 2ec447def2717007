// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// check: how well the teach table holds on the live records, one CSV line per row.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "check/teach_check.h"
#include "cli/common.h"
#include "line/line.h"

namespace cli {
namespace {

constexpr long kDefaultRecords = 200;

check::Table TableOf(const Block &block) {
    check::Table table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = block[protocol::kTableBegin + i];
    return table;
}

// The words that decide the colour number: EVALMODE, INTLIM, MAXCOL-No. and the table.
bool SameEvaluation(const Block &a, const Block &b) {
    for (std::size_t i : {std::size_t(3), std::size_t(5), std::size_t(6)})
        if (a[i] != b[i])
            return false;
    for (std::size_t i = protocol::kTableBegin; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// A block from the sensor, recorded in the journal as every read is.
int ReadSensorBlock(Link &link, bool eeprom, Block *block) {
    const journal::Action action = eeprom ? journal::Action::ReadEeprom : journal::Action::ReadRam;
    const int r = ReadBlock(link, eeprom, block);
    RecordTransfer(link, action, r == kOk ? *block : Block{},
                   r == kOk ? journal::Result::Verified : journal::Result::Refused, "");
    return r;
}

void PrintRow(const check::RowResult &r, bool contrast) {
    char cto[32];
    if (contrast)
        std::snprintf(cto, sizeof cto, "%g", r.tolerance); // the half band, maybe .5
    else
        std::snprintf(cto, sizeof cto, "%u", unsigned(r.cto));
    char separation[32] = "";
    if (r.hasNeighbour)
        std::snprintf(separation, sizeof separation, "%.1f", r.separation);
    // No records, no figures: empty fields rather than a noise or a hit rate of 0.
    char figures[64] = ",,";
    if (r.records > 0)
        std::snprintf(figures, sizeof figures, "%.1f,%.1f,%.3f", r.noiseXY, r.noiseInt, r.hitRate);
    std::printf("%d,%u,%u,%u,%s,%u,%ld,%s,%s,%s\n", r.row, unsigned(r.x), unsigned(r.y),
                unsigned(r.intensity), cto, unsigned(r.ito), r.records, figures, separation,
                check::GradeName(r.grade));
}

} // namespace

int Check(Link &link, const Args &args) {
    long records = kDefaultRecords;
    std::string table = "ram";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--records") {
            if (!hasValue || !ParseCount(args[++i], &records))
                return UsageError("check: --records needs a whole number of at least 1");
        } else if (args[i] == "--table") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("check: --table needs ram, eeprom or a parameter file");
            table = args[++i];
        } else {
            return UsageError("check: unexpected argument", args[i].c_str());
        }
    }
    bool eeprom = false;
    const bool fromSensor = ParseMemory(table, &eeprom);
    Block block{};
    if (!fromSensor) // a file is refused before the port is touched
        if (const int r = LoadFile(table, &block); r != kOk)
            return r;
    if (const int r = link.open(); r != kOk)
        return r;
    if (fromSensor)
        if (const int r = ReadSensorBlock(link, eeprom, &block); r != kOk)
            return r;
    if (!fromSensor || eeprom) {
        // The sensor names colours by the table in its RAM: say so when that is another one.
        Block ram{};
        if (const int r = ReadSensorBlock(link, false, &ram); r != kOk)
            return r;
        if (!SameEvaluation(block, ram))
            std::fprintf(stderr, "tintaro-cli: check: the sensor's RAM holds another table; "
                                 "the colour numbers come from RAM\n");
    }

    static check::TeachCheck teachCheck; // 18 KB of kept records: not on the stack
    teachCheck.clear();
    teachCheck.setTable(TableOf(block), block[6], block[3], block[5]);
    InstallStopSignals();
    const Block none{};
    long refused = 0;
    for (long n = 0; n < records && !gStop; ++n) {
        if (const int r = link.transact(protocol::kReadData, none, protocol::kDataReplyBytes);
            r != kOk)
            return r;
        std::uint16_t words[protocol::kDataWords];
        protocol::DecodeWords(link.reply(), protocol::kDataWords, words);
        // Line noise that kept the length is no measurement: as poll, it is left out.
        if (!line::RecordPlausible(words)) {
            ++refused;
            continue;
        }
        teachCheck.add(check::RecordFromWords(words));
    }
    if (refused > 0)
        std::fprintf(stderr, "tintaro-cli: %s: %ld record%s refused: line noise?\n",
                     line::EscapedForTerminal(link.name()).c_str(), refused,
                     refused == 1 ? "" : "s");

    std::fputs("row,x,y,int,cto,ito,records,noise_xy,noise_int,hit_rate,separation,grade\n",
               stdout);
    bool allRobust = true;
    int unseen = 0;
    for (int row = 0; row < teachCheck.rowCount(); ++row) {
        const check::RowResult r = teachCheck.result(row);
        PrintRow(r, teachCheck.contrast());
        if (r.grade == check::Grade::Marginal || r.grade == check::Grade::Failing)
            allRobust = false;
        unseen += r.grade == check::Grade::NotSeen;
    }
    // Only the rows seen are graded: say that the others were not looked at.
    if (unseen > 0)
        std::fprintf(stderr,
                     "tintaro-cli: check: %d active row%s not seen; show %s to the sensor\n",
                     unseen, unseen == 1 ? "" : "s", unseen == 1 ? "its colour" : "their colours");
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tintaro-cli: standard output: %s\n", std::strerror(errno));
        return kBadFile;
    }
    return allRobust ? kOk : kDifferent;
}

} // namespace cli
