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

void PrintRow(const check::RowResult &r, bool contrast) {
    char cto[32];
    if (contrast)
        std::snprintf(cto, sizeof cto, "%g", r.tolerance); // the half band, maybe .5
    else
        std::snprintf(cto, sizeof cto, "%u", unsigned(r.cto));
    char separation[32] = "";
    if (r.hasNeighbour)
        std::snprintf(separation, sizeof separation, "%.1f", r.separation);
    std::printf("%d,%u,%u,%u,%s,%u,%ld,%.1f,%.1f,%.3f,%s,%s\n", r.row, unsigned(r.x), unsigned(r.y),
                unsigned(r.intensity), cto, unsigned(r.ito), r.records, r.noiseXY, r.noiseInt,
                r.hitRate, separation, check::GradeName(r.grade));
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
        if (const int r = ReadBlock(link, eeprom, &block); r != kOk)
            return r;
    if (!fromSensor || eeprom) {
        // The sensor names colours by the table in its RAM: say so when that is another one.
        Block ram{};
        if (const int r = ReadBlock(link, false, &ram); r != kOk)
            return r;
        if (!SameEvaluation(block, ram))
            std::fprintf(stderr, "tintaro-cli: check: the sensor's RAM holds another table; "
                                 "the colour numbers come from RAM\n");
    }

    static check::TeachCheck teachCheck; // 18 KB of kept records: not on the stack
    teachCheck.clear();
    teachCheck.setTable(TableOf(block), block[6], block[3]);
    InstallStopSignals();
    const Block none{};
    for (long n = 0; n < records && !gStop; ++n) {
        if (const int r = link.transact(protocol::kReadData, none, protocol::kDataReplyBytes);
            r != kOk)
            return r;
        std::uint16_t words[protocol::kDataWords];
        protocol::DecodeWords(link.reply(), protocol::kDataWords, words);
        teachCheck.add(check::RecordFromWords(words));
    }

    std::fputs("row,x,y,int,cto,ito,records,noise_xy,noise_int,hit_rate,separation,grade\n",
               stdout);
    bool allRobust = true;
    for (int row = 0; row < teachCheck.rowCount(); ++row) {
        const check::RowResult r = teachCheck.result(row);
        PrintRow(r, teachCheck.contrast());
        if (r.grade == check::Grade::Marginal || r.grade == check::Grade::Failing)
            allRobust = false;
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tintaro-cli: standard output: %s\n", std::strerror(errno));
        return kBadFile;
    }
    return allRobust ? kOk : kDifferent;
}

} // namespace cli
