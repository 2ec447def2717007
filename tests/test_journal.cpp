// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup journal through tintaro-cli against tintaro-sensor-sim: every transfer leaves its
// entry, entries give their blocks back, concurrent tools lose none, a broken journal never
// stops a transfer, and the setup sheet says and shows what the block holds.
#include <unistd.h>

#include <string>
#include <vector>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/cli_process.h"
#include "support/sim_process.h"
#include "support/traffic_log.h"

namespace {

using testsupport::SimProcess;

using Outcome = testsupport::CliOutcome;

class Journal : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString journal = dir.path() + "/j.sqlite";

    QProcessEnvironment env(const QString &com1) const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("TINTARO_COM1", com1);
        e.insert("TINTARO_JOURNAL", journal);
        return e;
    }
    void start(QProcess &p, const QStringList &args, const QString &com1 = "/nonexistent") {
        testsupport::StartCli(p, args, env(com1));
    }
    Outcome finish(QProcess &p) { return testsupport::FinishCli(p); }
    Outcome run(const QStringList &args, const QString &com1 = "/nonexistent") {
        QProcess p;
        start(p, args, com1);
        return finish(p);
    }
    // The journal's CSV lines after the header.
    std::vector<std::string> entries(const QStringList &filter = {}) {
        const Outcome o = run(QStringList{"journal"} + filter);
        EXPECT_EQ(o.code, 0) << o.err;
        std::vector<std::string> lines;
        std::size_t at = o.out.find('\n');
        EXPECT_EQ(o.out.substr(0, at), "id,time,user,host,program,port,sensor,action,file,result");
        while (at != std::string::npos && at + 1 < o.out.size()) {
            const std::size_t next = o.out.find('\n', at + 1);
            lines.push_back(o.out.substr(at + 1, next - at - 1));
            at = next;
        }
        return lines;
    }
    QByteArray read(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString &path, const QByteArray &bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // A block with MAXCOL-No. `active` and rows 0..4 taught at spread-out colours.
    QByteArray block(int active, int power = 500) {
        std::vector<int> w = {power, 0, 4, 1, 20, 200, active, 1, 0, 9, 8, 7, 6, 5, 4};
        const int rows[5][5] = {{1500, 1200, 150, 300, 150},
                                {2500, 900, 200, 200, 150},
                                {900, 2300, 120, 250, 150},
                                {1200, 1200, 100, 100, 150},
                                {2000, 2000, 180, 300, 150}};
        for (int r = 0; r < 15; ++r)
            for (int c = 0; c < 5; ++c)
                w.push_back(r < 5 ? rows[r][c] : 1);
        QByteArray text;
        for (int v : w)
            text += QByteArray::number(v).rightJustified(5, ' ') + "\n";
        return text;
    }
};

bool Has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(Journal, EveryTransferOfTheToolLeavesItsEntryAndEntriesGiveTheirBlocksBack) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    const QString saved = dir.path() + "/saved.dat";
    const QString sent = dir.path() + "/sent.dat";
    write(sent, block(3));
    ASSERT_EQ(run({"read", "eeprom", "-o", saved}, sim.link).code, 0);
    ASSERT_EQ(run({"write", "ram", sent}, sim.link).code, 0);
    ASSERT_EQ(run({"diff", "journal:2", "ram"}, sim.link).code, 0); // what was written is there
    const Outcome differs = run({"diff", "journal:1", "ram"}, sim.link);
    EXPECT_EQ(differs.code, 1);
    EXPECT_TRUE(Has(differs.out, "6\tMAXCOL-No.\t")) << differs.out;

    const std::vector<std::string> lines = entries();
    ASSERT_EQ(lines.size(), 4u);
    const char *expected[] = {"4,", "read RAM,,verified", "3,", "read RAM,,verified",
                              "2,", "write RAM,",         "1,", "read EEPROM,"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[std::size_t(i)].rfind(expected[2 * i], 0), 0u) << lines[std::size_t(i)];
        EXPECT_TRUE(Has(lines[std::size_t(i)], expected[2 * i + 1])) << lines[std::size_t(i)];
        EXPECT_TRUE(Has(lines[std::size_t(i)], "tintaro-cli ")) << lines[std::size_t(i)];
        EXPECT_TRUE(Has(lines[std::size_t(i)], ",TINTARO RGB COLOUR SENSOR"))
            << lines[std::size_t(i)];
    }
    EXPECT_TRUE(Has(lines[2], "sent.dat,verified")) << lines[2];
    EXPECT_TRUE(Has(lines[3], "saved.dat,verified")) << lines[3];

    // The sensor saw what the journal says: an EEPROM read, a RAM write read back, two RAM reads,
    // every read twice (each run asks the identification once).
    std::vector<int> blockOrders;
    for (int o : Orders(ReadLog(sim.log)))
        if (o != 7)
            blockOrders.push_back(o);
    EXPECT_EQ(blockOrders, (std::vector<int>{4, 4, 1, 3, 3, 3, 3, 3}));

    // An entry's block comes back byte for byte as a file save writes it.
    const Outcome shown = run({"journal", "show", "1"});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(QByteArray::fromStdString(shown.out), read(saved));
    ASSERT_EQ(run({"journal", "show", "2", "-o", dir.path() + "/back.dat"}).code, 0);
    EXPECT_EQ(read(dir.path() + "/back.dat"), block(3));

    // Filters, and what is refused.
    EXPECT_EQ(entries({"--limit", "1"}).size(), 1u);
    EXPECT_EQ(entries({"--sensor", "no such sensor"}).size(), 0u);
    EXPECT_EQ(entries({"--since", "2999-01-01"}).size(), 0u);
    EXPECT_EQ(entries({"--since", "2000-01-01"}).size(), 4u);
    EXPECT_EQ(run({"journal", "--since", "yesterday"}).code, 2);
    EXPECT_EQ(run({"journal", "show", "99"}).code, 7);
    EXPECT_EQ(run({"write", "ram", "journal:99"}, sim.link).code, 5);
}

TEST_F(Journal, TwoToolsWritingAtOnceLoseNoEntry) {
    SimProcess a({"--fast"}), b({"--fast"});
    ASSERT_TRUE(a.started && b.started);
    const QString file = dir.path() + "/block.dat";
    write(file, block(2));
    for (int round = 0; round < 10; ++round) {
        QProcess pa, pb;
        start(pa, {"write", "ram", file}, a.link);
        start(pb, {"write", "ram", file}, b.link);
        EXPECT_EQ(finish(pa).code, 0);
        EXPECT_EQ(finish(pb).code, 0);
    }
    const std::vector<std::string> lines = entries();
    ASSERT_EQ(lines.size(), 20u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(std::to_string(20 - i) + ",", 0), 0u) << lines[i];
        EXPECT_TRUE(Has(lines[i], "write RAM,")) << lines[i];
    }
}

TEST_F(Journal, ABrokenJournalIsReportedAndTheTransferStillWorks) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    // Not a database: reported, left as it is.
    const QByteArray junk = "these are the operator's notes, not a journal\n";
    write(journal, junk);
    const Outcome damaged = run({"read", "ram"}, sim.link);
    EXPECT_EQ(damaged.code, 0);
    EXPECT_EQ(std::count(damaged.out.begin(), damaged.out.end(), '\n'), 90);
    EXPECT_TRUE(Has(damaged.err, "damaged")) << damaged.err;
    EXPECT_EQ(read(journal), junk);
    EXPECT_EQ(run({"journal"}).code, 7);

    // A journal that cannot be made (its folder is a file).
    journal = dir.path() + "/j.sqlite/inside.sqlite";
    const QString file = dir.path() + "/block.dat";
    write(file, block(1));
    const Outcome notOpened = run({"write", "ram", file}, sim.link);
    EXPECT_EQ(notOpened.code, 0);
    EXPECT_TRUE(Has(notOpened.err, "not recorded")) << notOpened.err;

    // Read-only (only for a user the file's mode holds back).
    if (::geteuid() != 0) {
        journal = dir.path() + "/ro.sqlite";
        ASSERT_EQ(run({"write", "ram", file}, sim.link).code, 0);
        QFile::setPermissions(journal, QFile::ReadOwner);
        const Outcome ro = run({"write", "ram", file}, sim.link);
        EXPECT_EQ(ro.code, 0);
        EXPECT_TRUE(Has(ro.err, "not recorded")) << ro.err;
        EXPECT_EQ(entries().size(), 1u);
    }
}

TEST_F(Journal, SetupSheetNamesTheSensorAndTheValuesAndShowsTheRowColours) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    const QString file = dir.path() + "/block.dat";
    write(file, block(4, 437));
    ASSERT_EQ(run({"write", "ram", file}, sim.link).code, 0);
    const QString pdf = dir.path() + "/sheet.pdf";
    const Outcome o = run({"sheet", "ram", "-o", pdf}, sim.link);
    ASSERT_EQ(o.code, 0) << o.err;

    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const std::string t = text.readAllStandardOutput().toStdString();
    EXPECT_TRUE(Has(t, "TINTARO RGB COLOUR SENSOR SIMULATOR")) << t;
    EXPECT_TRUE(Has(t, "Journal entry:")) << t;
    const char *values[] = {"437", "0 STAT", "4", "1 X/Y", "20", "200", "4", "1 BINARY", "0 CONT"};
    const char *names[] = {"POWER",  "PMOD",       "AVERAGE", "EVALMODE", "HOLD",
                           "INTLIM", "MAXCOL-No.", "OUTMODE", "TRIGGER"};
    for (int i = 0; i < 9; ++i) {
        const std::size_t at = t.find(names[i]);
        ASSERT_NE(at, std::string::npos) << names[i];
        const std::string line = t.substr(at, t.find('\n', at) - at);
        EXPECT_TRUE(Has(line, values[i])) << line;
    }
    EXPECT_TRUE(Has(t, "active")) << t;

    // The plane (the lower half of the page) shows the active rows' colours, no other row's.
    QProcess render;
    render.start("pdftoppm", {"-r", "40", pdf, dir.path() + "/page"});
    ASSERT_TRUE(render.waitForFinished(30000));
    QFile ppm(dir.path() + "/page-1.ppm");
    ASSERT_TRUE(ppm.open(QIODevice::ReadOnly));
    const QByteArray image = ppm.readAll();
    const QList<QByteArray> head = image.left(64).split('\n');
    ASSERT_GE(head.size(), 3);
    const QList<QByteArray> size = head[1].split(' ');
    const int width = size[0].toInt(), height = size[1].toInt();
    const int offset = head[0].size() + head[1].size() + head[2].size() + 3;
    ASSERT_EQ(image.size(), offset + width * height * 3);
    auto seen = [&](int rgb) {
        for (int y = height / 2; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const auto *p = reinterpret_cast<const unsigned char *>(image.constData()) +
                                offset + 3 * (y * width + x);
                if (std::abs(p[0] - (rgb >> 16)) < 40 && std::abs(p[1] - ((rgb >> 8) & 255)) < 40 &&
                    std::abs(p[2] - (rgb & 255)) < 40)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(seen(0x0000FF));  // row 0 blue
    EXPECT_TRUE(seen(0xFF0000));  // row 1 red
    EXPECT_TRUE(seen(0xFF80C0));  // row 3 pink
    EXPECT_FALSE(seen(0x008000)); // row 4 is not checked: no circle
}
