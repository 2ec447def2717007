// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// An operator's day, end to end: the built program against the simulator executable on a pty.
#include <signal.h>
#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "support/traffic_log.h"

#include "Tintarov10/panel_ids.h"

namespace {

const QString kBin = QStringLiteral(TINTARO_BIN_DIR);
using Block = std::vector<int>; // the 90 words of a parameter block

std::vector<int> Words(const QByteArray &bytes, int from) {
    std::vector<int> w;
    for (int i = from; i + 1 < bytes.size(); i += 2)
        w.push_back((quint8(bytes[i]) << 8) | quint8(bytes[i + 1]));
    return w;
}

// The block carried by the last request with `order` (1 RAM write, 2 EEPROM write).
Block LastWrite(const std::vector<Frame> &frames, int order) {
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if (it->rx && it->order == order)
            return Words(it->bytes, 4);
    return {};
}

// Each reply to a request with `order`, as words.
std::vector<std::vector<int>> Replies(const std::vector<Frame> &frames, int order) {
    std::vector<std::vector<int>> out;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i)
        if (frames[i].rx && frames[i].order == order && !frames[i + 1].rx)
            out.push_back(Words(frames[i + 1].bytes, 0));
    return out;
}

Block ReadNumbers(const QString &path) {
    Block b;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return b;
    for (const QByteArray &t : f.readAll().simplified().split(' '))
        if (!t.isEmpty())
            b.push_back(t.toInt());
    return b;
}

// The simulator on a pty behind a symlink named `name` in `dir`; stopped on destruction.
struct Sim : testsupport::SimProcess {
    Sim(const QString &dir, const QString &name, const QStringList &extra)
        : SimProcess(extra, dir + "/" + name) {}
};

// Runs the program (tintaro-scripted) offscreen on COM1 = `port` with a script; `onLine` sees
// each stderr line as it comes (the script runner announces every step there). Returns the
// exit code, -1000 when the program did not end in time (it is then killed).
int RunProgram(const QString &port, const QString &script, const QString &folder,
               const std::function<void(const QString &)> &onLine, QString *errors) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("QT_QPA_PLATFORM", "offscreen");
    e.insert("TINTARO_COM1", port);
    e.insert("TINTARO_SCRIPT", script);
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(folder);
    p.setProgram(kBin + "/tintaro-scripted");
    p.start();
    if (!p.waitForStarted(5000))
        return -1001;
    QByteArray pending;
    auto drain = [&] {
        pending += p.readAllStandardError();
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending.left(nl));
            pending.remove(0, nl + 1);
            errors->append(line + "\n");
            if (onLine)
                onLine(line);
        }
    };
    bool ended = false;
    for (int waited = 0; waited < 30000 && !ended; waited += 20) {
        ended = p.waitForFinished(20);
        drain();
    }
    if (!ended) {
        p.kill();
        p.waitForFinished(3000);
    }
    drain();
    return ended ? p.exitCode() : -1000;
}

QString WriteFile(const QString &path, const QString &text) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    return path;
}

QString Step(int ms, const QString &what) {
    return QString::number(ms) + " " + what + "\n";
}
QString Click(int ms, int id) {
    return Step(ms, "click " + QString::number(id));
}
QString Set(int ms, int id, int v) {
    return Step(ms, QString("set %1 %2").arg(id).arg(v));
}

// Table row r of a block: X, Y, CTO, INT, ITO.
int Cell(const Block &b, int row, int word) {
    return b[std::size_t(15 + 5 * row + word)];
}

} // namespace

// Start-up, teaching four cards while polling, AUTO ADJUST, SEND to EEPROM, a parameter file
// saved and loaded back; then a new day: the sensor restarted from its EEPROM, GET from EEPROM
// and GO, and the sensor recognises the cards by the taught table.
TEST(OperatorDay, TeachAdjustStoreReloadAndRecognise) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString eeprom = dir.path() + "/eeprom.dat";
    const QString saved = dir.path() + "/day.dat";

    // --- The first day: the cards are stepped under the sensor right after each teach. ---
    Block written;
    {
        Sim sim(dir.path(), "sensor1", {"--eeprom", eeprom, "--advance-on-signal"});
        ASSERT_TRUE(sim.started) << sim.output().toStdString();
        QString s;
        // Each card is taught once the program has shown a record of it: the test says so
        // through a file that the script awaits, so the timing of no step matters.
        const auto shown = [&](int card) { return dir.path() + "/shown" + QString::number(card); };
        s += Step(800, "key F11");            // GO
        s += Set(1000, PANEL_PARAVISIBLE, 0); // the teach area
        s += Set(1100, PANEL_AUTOINC, 1);     // auto increment on
        for (int i = 0; i < 4; ++i) {         // red, green, blue, yellow
            s += Step(1200, "await " + shown(i));
            s += Click(0, PANEL_TEACHDATATO);
        }
        // The times from here count from the last teach.
        s += Click(1200, PANEL_AUTOADJUST); // ends polling
        s += Set(1800, PANEL_SELECT_EEPROM, 1);
        // SEND and GET are clicked, not keyed: the program's own shortcut path is not the
        // point here.
        s += Click(1900, PANEL_SEND); // to EEPROM
        s += Set(2600, PANEL_SELECT_FILE, 1);
        s += Step(2650, "file " + saved);
        s += Click(2700, PANEL_SEND);       // save to the parameter file
        s += Click(3100, PANEL_RESETTABLE); // the table changes...
        s += Set(3200, PANEL_SELECT_RAM, 1);
        s += Click(3300, PANEL_SEND); // ...and goes to RAM that way
        s += Set(4000, PANEL_SELECT_FILE, 1);
        s += Step(4050, "file " + saved);
        s += Click(4100, PANEL_GET); // load the parameter file back
        s += Set(4400, PANEL_SELECT_RAM, 1);
        s += Click(4500, PANEL_SEND); // what the panel shows, to RAM
        s += Step(5300, "close");
        const QString script = WriteFile(dir.path() + "/day1", s);

        int teaches = 0;
        long requestsAtAdvance = 0; // data requests in the log when the card last moved on
        const QString teachStep = QString("click %1").arg(PANEL_TEACHDATATO);
        const auto dataRequests = [&] {
            const std::vector<int> orders = Orders(ReadLog(sim.log));
            return long(std::count(orders.begin(), orders.end(), 5));
        };
        QString errors;
        const int code = RunProgram(
            sim.link, script, dir.path(),
            [&](const QString &line) {
                if (!line.startsWith("SCRIPT"))
                    return;
                if (line.endsWith(teachStep)) {
                    // The teach has taken the last record shown; the next card comes for the
                    // next request.
                    ++teaches;
                    sim.advance();
                    requestsAtAdvance = dataRequests();
                } else if (line.contains(" await ")) {
                    // A request read after the signal measures the new card (one that was
                    // being read meanwhile may not); its record is shown before the request
                    // after it goes out.
                    testsupport::WaitUntil([&] { return dataRequests() >= requestsAtAdvance + 3; },
                                           20000);
                    WriteFile(line.section(' ', 3), "");
                }
            },
            &errors);
        ASSERT_EQ(code, 0) << errors.toStdString();
        EXPECT_EQ(teaches, 4);
        EXPECT_FALSE(errors.contains("POPUP INFO")) << errors.toStdString();

        const std::vector<Frame> log = ReadLog(sim.log);
        const std::vector<int> orders = Orders(log);
        ASSERT_GE(orders.size(), 2u);
        EXPECT_EQ(orders[0], 7) << "start-up identifies the sensor";
        EXPECT_EQ(orders[1], 3) << "then reads its RAM";
        EXPECT_EQ(std::count(orders.begin(), orders.end(), 2), 1) << "one SEND to EEPROM";
        EXPECT_EQ(std::count(orders.begin(), orders.end(), 1), 2) << "two SENDs to RAM";
        // The EEPROM write's read-back is the only read of EEPROM: files never touch the port.
        EXPECT_EQ(std::count(orders.begin(), orders.end(), 4), 1);

        written = LastWrite(log, 2);
        ASSERT_EQ(written.size(), 90u);
        const std::vector<std::vector<int>> records = Replies(log, 5);
        ASSERT_GE(records.size(), 8u);
        for (int row = 0; row < 4; ++row) {
            // Each taught row is a record the sensor sent: X, Y, INT exactly.
            bool found = false;
            for (const auto &r : records)
                found = found || (r.size() == 7 && r[3] == Cell(written, row, 0) &&
                                  r[4] == Cell(written, row, 1) && r[5] == Cell(written, row, 3));
            EXPECT_TRUE(found) << "row " << row << " is no record the sensor sent";
            EXPECT_EQ(Cell(written, row, 4), 150) << "ITO of a teach";
            // The four cards lie far apart: every circle grows to the maximum.
            EXPECT_EQ(Cell(written, row, 2), 200) << "CTO of row " << row << " after AUTO ADJUST";
            for (int other = 0; other < row; ++other)
                EXPECT_GT(std::hypot(Cell(written, row, 0) - Cell(written, other, 0),
                                     Cell(written, row, 1) - Cell(written, other, 1)),
                          400.0)
                    << "rows " << other << " and " << row << " hold the same card";
        }
        EXPECT_EQ(Cell(written, 4, 0), 1) << "row 4 untaught";

        EXPECT_EQ(ReadNumbers(saved), written) << "the parameter file holds the sent block";
        EXPECT_EQ(ReadNumbers(eeprom), written) << "the sensor's EEPROM holds the sent block";

        // The first RAM write shows the reset table, the second the table loaded from the file.
        std::vector<Block> ramWrites;
        for (const Frame &f : log)
            if (f.rx && f.order == 1)
                ramWrites.push_back(Words(f.bytes, 4));
        ASSERT_EQ(ramWrites.size(), 2u);
        for (int w = 15; w < 90; ++w)
            ASSERT_EQ(ramWrites[0][std::size_t(w)], 1) << "RESET TABLE, word " << w;
        EXPECT_EQ(ramWrites[1], written) << "the loaded file is on the panel again";
    }

    // --- The next day: the sensor powers up from its EEPROM; the cards pass three records
    // each, then the dark gap. ---
    {
        Sim sim(dir.path(), "sensor2", {"--eeprom", eeprom, "--advance-every", "3"});
        ASSERT_TRUE(sim.started) << sim.output().toStdString();
        QString s;
        s += Set(600, PANEL_SELECT_EEPROM, 1);
        s += Click(700, PANEL_GET); // GET from EEPROM
        s += Step(1500, "key F11"); // GO
        s += Step(6500, "key F12"); // STOP: 5 s of polling, some 50 records at line speed
        s += Step(7500, "close");
        const QString script = WriteFile(dir.path() + "/day2", s);
        QString errors;
        ASSERT_EQ(RunProgram(sim.link, script, dir.path(), nullptr, &errors), 0)
            << errors.toStdString();
        EXPECT_FALSE(errors.contains("POPUP INFO")) << errors.toStdString();

        const std::vector<Frame> log = ReadLog(sim.log);
        const std::vector<int> orders = Orders(log);
        ASSERT_GE(orders.size(), 5u);
        EXPECT_EQ(orders[0], 7);
        EXPECT_EQ(orders[1], 3);
        EXPECT_EQ(orders[2], 3);
        EXPECT_EQ(orders[3], 4) << "GET from EEPROM, read twice";
        EXPECT_EQ(orders[4], 4);
        const auto blocks = Replies(log, 4);
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[0], written) << "EEPROM gives back the block, table and spare words";
        EXPECT_EQ(blocks[1], written);

        const std::vector<std::vector<int>> records = Replies(log, 5);
        ASSERT_GE(records.size(), 15u) << "at least one pass of all cards";
        std::set<int> seen;
        for (std::size_t k = 0; k < records.size(); ++k) {
            ASSERT_EQ(records[k].size(), 7u);
            const std::size_t card = (k / 3) % 5; // red, green, blue, yellow, dark gap
            const int expected = card < 4 ? int(card) : 255;
            EXPECT_EQ(records[k][6], expected) << "record " << k;
            seen.insert(records[k][6]);
        }
        EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3, 255}));
    }
}
