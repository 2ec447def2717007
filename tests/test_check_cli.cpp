// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli check against tintaro-sensor-sim: cards taught as an operator teaches them, the
// grades and hit rates it prints, and its exit codes.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "gui/autoadjust_core.h"
#include "sensor_model.h"
#include "support/cli_process.h"
#include "support/sim_process.h"

namespace {

using testsupport::SimProcess;

using Outcome = testsupport::CliOutcome;

Outcome Cli(const QStringList &args, const QString &com1) {
    return testsupport::RunCli(args, testsupport::CliEnv({{1, com1}}), 120000);
}

std::vector<std::vector<std::string>> CsvLines(const std::string &text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, ',');)
            fields.push_back(field);
        if (!line.empty() && line.back() == ',')
            fields.emplace_back();
        lines.push_back(fields);
    }
    return lines;
}

// The simulator's records, as `tintaro-cli poll` prints them: x, y, int, red ... cno.
struct Polled {
    int x, y, intensity, red, colour;
};
std::vector<Polled> Poll(const QString &link, int count) {
    const Outcome o = Cli({"poll", "--count", QString::number(count)}, link);
    EXPECT_EQ(o.code, 0) << o.err;
    std::vector<Polled> records;
    const auto lines = CsvLines(o.out);
    for (std::size_t i = 1; i < lines.size(); ++i) // time,x,y,int,red,green,blue,cno
        records.push_back({std::stoi(lines[i][1]), std::stoi(lines[i][2]), std::stoi(lines[i][3]),
                           std::stoi(lines[i][4]), std::stoi(lines[i][7])});
    return records;
}

constexpr int kPerCard = 50;

// A simulator that shows each card of `scene` for 50 records, with a fixed noise seed, and the
// EEPROM (so also RAM at start) in `eeprom` when given.
QStringList SimArgs(const char *scene, const QString &eeprom = {}) {
    QStringList args{
        "--fast", "--seed", "7", "--scene", scene, "--advance-every", QString::number(kPerCard)};
    if (!eeprom.isEmpty())
        args << "--eeprom" << eeprom;
    return args;
}

// Teaches each card from one record in the middle of its turn, as TEACH DATA TO does (CTO and
// ITO 150), optionally followed by AUTO ADJUST, and writes the block as the EEPROM file.
sensorsim::ParamBlock TeachCards(const std::vector<Polled> &records, int cards, bool autoAdjust,
                                 const QString &eeprom) {
    sensorsim::ParamBlock block = sensorsim::FactoryDefaults();
    block[sensorsim::kEvalmode] = 0;
    block[sensorsim::kMaxcolno] = std::uint16_t(cards);
    std::array<std::uint16_t, 75> table;
    table.fill(1);
    for (int c = 0; c < cards; ++c) {
        const Polled &p = records[std::size_t(c * kPerCard + kPerCard / 2)];
        const std::uint16_t row[5] = {std::uint16_t(p.x), std::uint16_t(p.y), 150,
                                      std::uint16_t(p.intensity), 150};
        std::copy(row, row + 5, table.begin() + 5 * c);
    }
    if (autoAdjust) { // as AUTO ADJUST: every active circle starts from 1
        for (int c = 0; c < cards; ++c)
            table[std::size_t(5 * c + 2)] = 1;
        GrowRadii(table, cards);
    }
    std::copy(table.begin(), table.end(), block.begin() + sensorsim::kTableFirstWord);
    std::string error;
    EXPECT_TRUE(sensorsim::SaveParamFile(eeprom.toStdString(), block, &error)) << error;
    return block;
}

const char kHeader[] = "row,x,y,int,cto,ito,records,noise_xy,noise_int,hit_rate,separation,grade";

} // namespace

TEST(CliCheck, FourSeparatedCardsTaughtWithCto150AreRobust) {
    // Four cards and the dark belt between them: the belt is attributed to no row.
    const char *scene = "3000,600,600;600,3000,600;600,600,3000;2000,2000,400;40,40,40";
    QTemporaryDir dir;
    SimProcess sim(SimArgs(scene));
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    const auto taught = Poll(sim.link, 4 * kPerCard);
    const QString eeprom = dir.path() + "/eeprom.dat";
    TeachCards(taught, 4, false, eeprom);
    ASSERT_TRUE(sim.start(SimArgs(scene, eeprom)));

    const Outcome o = Cli({"check", "--records", QString::number(5 * kPerCard)}, sim.link);
    EXPECT_EQ(o.code, 0) << o.out << o.err;
    const auto lines = CsvLines(o.out);
    ASSERT_EQ(lines.size(), 5u) << o.out;
    EXPECT_EQ(o.out.substr(0, o.out.find('\n')), kHeader);
    for (int row = 0; row < 4; ++row) {
        const auto &f = lines[std::size_t(row + 1)];
        ASSERT_EQ(f.size(), 12u) << o.out;
        EXPECT_EQ(f[0], std::to_string(row));
        EXPECT_EQ(f[4], "150");
        EXPECT_EQ(f[6], std::to_string(kPerCard)) << "the belt went to row " << row;
        EXPECT_EQ(f[9], "1.000");
        EXPECT_GT(std::stod(f[10]), 0.0); // circles apart
        EXPECT_EQ(f[11], "robust");
    }
}

TEST(CliCheck, SimilarCardsAfterAutoAdjustFailAndTheHitRateIsThePolledOne) {
    const char *scene = "2000,1800,1000;2100,1850,1050;2000,1800,1500";
    QTemporaryDir dir;
    SimProcess sim(SimArgs(scene));
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    const QString eeprom = dir.path() + "/eeprom.dat";
    const sensorsim::ParamBlock block = TeachCards(Poll(sim.link, 3 * kPerCard), 3, true, eeprom);
    const int records = 3 * kPerCard;

    ASSERT_TRUE(sim.start(SimArgs(scene, eeprom)));
    const Outcome o = Cli({"check", "--records", QString::number(records)}, sim.link);
    EXPECT_EQ(o.code, 1) << o.out << o.err;
    const auto lines = CsvLines(o.out);
    ASSERT_EQ(lines.size(), 4u) << o.out;

    // The same records again (same seed, same table), counted here from poll's colour numbers:
    // each record to the nearest row, when within twice its CTO.
    ASSERT_TRUE(sim.start(SimArgs(scene, eeprom)));
    const auto polled = Poll(sim.link, records);
    ASSERT_EQ(polled.size(), std::size_t(records));
    int seen[3] = {}, hits[3] = {};
    for (const Polled &p : polled) {
        int best = -1;
        double bestD = 0;
        for (int r = 0; r < 3; ++r) {
            const double d = std::hypot(p.x - block[std::size_t(15 + 5 * r)],
                                        p.y - block[std::size_t(16 + 5 * r)]);
            if (best < 0 || d < bestD) {
                best = r;
                bestD = d;
            }
        }
        if (bestD <= 2.0 * block[std::size_t(17 + 5 * best)]) {
            ++seen[best];
            hits[best] += p.colour == best;
        }
    }
    for (int row = 0; row < 3; ++row) {
        const auto &f = lines[std::size_t(row + 1)];
        ASSERT_EQ(f.size(), 12u) << o.out;
        EXPECT_EQ(std::stol(f[6]), seen[row]) << "row " << row;
        if (seen[row] > 0) {
            EXPECT_NEAR(std::stod(f[9]), double(hits[row]) / seen[row], 0.05) << "row " << row;
        }
    }
    // The two close cards got circles tighter than their noise and are mostly missed; the
    // third card, apart from them, holds.
    for (int row = 0; row < 2; ++row) {
        const auto &f = lines[std::size_t(row + 1)];
        EXPECT_LT(std::stod(f[4]), 3 * std::stod(f[7])) << o.out;
        EXPECT_LT(std::stod(f[9]), 0.9) << o.out;
        EXPECT_EQ(f[11], "failing") << o.out;
    }
    EXPECT_EQ(lines[3][6], std::to_string(kPerCard)) << o.out;
    EXPECT_EQ(lines[3][11], "robust") << o.out;
}

TEST(CliCheck, ContrastModeChecksRowZerosBand) {
    // A red mark on a dark red belt, taught on red as TEACH DATA TO does in CONTRAST R.
    const char *scene = "2000,800,600;600,800,600";
    QTemporaryDir dir;
    SimProcess sim(SimArgs(scene));
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    const int red = Poll(sim.link, kPerCard)[kPerCard / 2].red;
    sensorsim::ParamBlock block = sensorsim::FactoryDefaults();
    block[sensorsim::kEvalmode] = 2;
    std::fill(block.begin() + 15, block.end(), std::uint16_t(1));
    block[15] = std::uint16_t(red + 150);
    block[16] = std::uint16_t(red - 150);
    const QString eeprom = dir.path() + "/eeprom.dat";
    std::string error;
    ASSERT_TRUE(sensorsim::SaveParamFile(eeprom.toStdString(), block, &error)) << error;
    ASSERT_TRUE(sim.start(SimArgs(scene, eeprom)));

    const Outcome o = Cli({"check", "--records", QString::number(2 * kPerCard)}, sim.link);
    EXPECT_EQ(o.code, 0) << o.out << o.err;
    const auto lines = CsvLines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out; // row 0 alone
    const auto &f = lines[1];
    ASSERT_EQ(f.size(), 12u);
    EXPECT_EQ(f[1], std::to_string(red + 150));
    EXPECT_EQ(f[2], std::to_string(red - 150));
    EXPECT_EQ(f[4], "150");                    // the half band
    EXPECT_EQ(f[6], std::to_string(kPerCard)); // the belt is far from the band
    EXPECT_EQ(f[9], "1.000");
    EXPECT_EQ(f[10], ""); // no other row
    EXPECT_EQ(f[11], "robust");
}

TEST(CliCheck, RefusalsAndASilentSensor) {
    SimProcess sim({"--fast", "--fault", "silence:5"});
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    EXPECT_EQ(Cli({"check", "--records", "0"}, sim.link).code, 2);
    EXPECT_EQ(Cli({"check", "--table"}, sim.link).code, 2);
    const Outcome missing = Cli({"check", "--table", "/nonexistent/table.dat"}, sim.link);
    EXPECT_EQ(missing.code, 5);
    EXPECT_NE(missing.err.find("/nonexistent/table.dat"), std::string::npos) << missing.err;
    // The table is read, but no data record comes.
    const Outcome silent = Cli({"check", "--records", "3"}, sim.link);
    EXPECT_EQ(silent.code, 4) << silent.out << silent.err;
    EXPECT_EQ(silent.out, "");
}
