// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli against tintaro-sensor-sim on a pty: every command and exit code.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <cstdint>
#include <algorithm>
#include <sstream>
#include <string>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/ui.h"
#include "support/cli_process.h"
#include "support/sim_process.h"

namespace {

using testsupport::SimProcess;
using testsupport::WaitUntil;

using Outcome = testsupport::CliOutcome;

QProcessEnvironment EnvFor(const QString &com1) {
    return com1.isEmpty() ? testsupport::CliEnv() : testsupport::CliEnv({{1, com1}});
}

void Start(QProcess &p, const QStringList &args, const QString &com1) {
    testsupport::StartCli(p, args, EnvFor(com1));
}

Outcome RunCli(const QStringList &args, const QString &com1 = {}) {
    return testsupport::RunCli(args, EnvFor(com1));
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteText(const QString &path, const QByteArray &text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// The order codes of the requests the simulator received, in its log's order.
std::string OrdersReceived(const QString &log) {
    const std::string text = ReadAll(log).toStdString();
    static const QRegularExpression rx(" RX ([0-9]+) ");
    std::string orders;
    for (auto it = rx.globalMatch(QString::fromStdString(text)); it.hasNext();)
        orders += it.next().captured(1).toStdString();
    return orders;
}

// A parameter file of 90 values.
QByteArray Block(std::uint16_t power, std::uint16_t spare, std::uint16_t cto0) {
    std::uint16_t words[90] = {};
    words[0] = power;
    words[2] = 10;
    words[9] = spare;
    words[17] = cto0;
    std::string text;
    EXPECT_EQ(ArrayToText(words, VAL_UNSIGNED_SHORT_INTEGER, 90, 5, &text), 0);
    return QByteArray::fromStdString(text);
}

TEST(CliUsage, HelpVersionAndUsageErrors) {
    Outcome help = RunCli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: tintaro-cli"), std::string::npos);
    EXPECT_TRUE(help.err.empty());

    Outcome version = RunCli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(QRegularExpression("^tintaro-cli [0-9]+\\.[0-9]+\\S*\n$")
                    .match(QString::fromStdString(version.out))
                    .hasMatch())
        << version.out;

    // Usage errors go to stderr with the usage, and nothing to stdout.
    for (const QStringList &args :
         {QStringList{}, {"frobnicate"}, {"--port"}, {"--port", "COM17", "identify"},
          {"--port", "COM0", "identify"}, {"--bogus"}, {"read"}, {"read", "flash"},
          {"read", "ram", "-o"}, {"write", "ram"}, {"diff", "ram"}, {"identify", "extra"},
          {"poll", "--count", "0"}, {"poll", "--count", "x"}, {"poll", "--interval", "-1"},
          {"poll", "--frequency", "3"}}) {
        Outcome o = RunCli(args);
        EXPECT_EQ(o.code, 2) << args.join(' ').toStdString();
        EXPECT_NE(o.err.find("Usage: tintaro-cli"), std::string::npos);
        EXPECT_TRUE(o.out.empty());
    }
}

TEST(CliPort, MissingOrUnopenablePortNamesPortAndDevice) {
    QTemporaryDir dir;
    const QString gone = dir.path() + "/no-sensor";
    // COM1 maps to a device that is not there.
    Outcome viaNumber = RunCli({"identify"}, gone);
    EXPECT_EQ(viaNumber.code, 3);
    EXPECT_NE(viaNumber.err.find("COM1"), std::string::npos) << viaNumber.err;
    EXPECT_NE(viaNumber.err.find(gone.toStdString()), std::string::npos) << viaNumber.err;

    Outcome viaPath = RunCli({"--port", gone, "read", "ram"});
    EXPECT_EQ(viaPath.code, 3);
    EXPECT_NE(viaPath.err.find(gone.toStdString()), std::string::npos);

    // A regular file is no serial port.
    WriteText(dir.path() + "/plain", "x");
    EXPECT_EQ(RunCli({"--port", dir.path() + "/plain", "identify"}).code, 3);
}

TEST(CliSensor, IdentifyReadWriteAndDiffRoundTrip) {
    SimProcess sim({"--fast"});
    QTemporaryDir dir;
    const QString eepromFile = dir.path() + "/sensor-eeprom.dat";
    ASSERT_TRUE(sim.start({"--fast", "--eeprom", eepromFile}));

    Outcome ident = RunCli({"identify"}, sim.link);
    EXPECT_EQ(ident.code, 0) << ident.err;
    EXPECT_NE(ident.out.find("TINTARO"), std::string::npos) << ident.out;

    // read to stdout and to a file give the same parameter file.
    Outcome ram = RunCli({"read", "ram"}, sim.link);
    ASSERT_EQ(ram.code, 0) << ram.err;
    const QString saved = dir.path() + "/ram.dat";
    ASSERT_EQ(RunCli({"--port", sim.link, "read", "-o", saved, "ram"}).code, 0);
    EXPECT_EQ(ReadAll(saved).toStdString(), ram.out);
    std::uint16_t words[90];
    EXPECT_EQ(FileToArray(saved.toLocal8Bit().constData(), words, VAL_UNSIGNED_SHORT_INTEGER, 90,
                          1, 0, 0, 1),
              0);
    EXPECT_EQ(std::count(ram.out.begin(), ram.out.end(), '\n'), 90);

    // Extremes and the spare words survive a write and the read back.
    const QString setup = dir.path() + "/setup.dat";
    WriteText(setup, Block(65535, 4242, 77));
    Outcome written = RunCli({"write", "eeprom", setup}, sim.link);
    EXPECT_EQ(written.code, 0) << written.err << written.out;
    EXPECT_EQ(ReadAll(eepromFile).simplified(), Block(65535, 4242, 77).simplified())
        << "the simulator keeps what was written";
    Outcome same = RunCli({"diff", "eeprom", setup}, sim.link);
    EXPECT_EQ(same.code, 0);
    EXPECT_TRUE(same.out.empty());

    // diff names each differing word with both values; files need no sensor.
    const QString other = dir.path() + "/other.dat";
    WriteText(other, Block(500, 4242, 80));
    Outcome differs = RunCli({"--port", dir.path() + "/nowhere", "diff", setup, other});
    EXPECT_EQ(differs.code, 1) << differs.err;
    EXPECT_EQ(differs.out, "0\tPOWER\t65535\t500\n17\tCTO row 0\t77\t80\n");
    ASSERT_EQ(RunCli({"write", "ram", other}, sim.link).code, 0);
    Outcome ramVsEeprom = RunCli({"diff", "ram", "eeprom"}, sim.link);
    EXPECT_EQ(ramVsEeprom.code, 1);
    EXPECT_EQ(ramVsEeprom.out, "0\tPOWER\t500\t65535\n17\tCTO row 0\t80\t77\n");

    // The write went out as order 2, paced, then read back from the EEPROM (order 4).
    EXPECT_NE(OrdersReceived(sim.log).find("24"), std::string::npos) << OrdersReceived(sim.log);
}

TEST(CliSensor, RefusedParameterFileIsNamedAndNothingIsSent) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    QTemporaryDir dir;
    struct Case {
        const char *name;
        QByteArray text;
        const char *reason;
    };
    const QByteArray good = Block(500, 0, 0);
    const Case cases[] = {
        {"missing.dat", {}, "MISSING"},
        {"short.dat", good.left(good.lastIndexOf('\n', good.size() - 2) + 1), "FEWER THAN 90"},
        {"long.dat", good + "    1\n", "MORE THAN 90"},
        {"word.dat", QByteArray(good).replace("  500", "  abc"), "NOT A LIST OF NUMBERS"},
        {"big.dat", QByteArray(good).replace("  500", "70000"), "OUTSIDE 0 TO 65535"},
        {"negative.dat", QByteArray(good).replace("  500", "   -1"), ""},
    };
    for (const Case &c : cases) {
        const QString path = dir.path() + "/" + c.name;
        if (!c.text.isEmpty())
            WriteText(path, c.text);
        for (const char *memory : {"ram", "eeprom"}) {
            Outcome o = RunCli({"write", memory, path}, sim.link);
            EXPECT_EQ(o.code, 5) << c.name;
            EXPECT_NE(o.err.find(c.name), std::string::npos) << o.err;
            EXPECT_NE(o.err.find(c.reason), std::string::npos) << o.err;
        }
        EXPECT_EQ(RunCli({"diff", path, "ram"}, sim.link).code, 5) << c.name;
    }
    // Not one request reached the sensor, let alone a write.
    EXPECT_EQ(OrdersReceived(sim.log), "");

    // A read into a folder that cannot take the file fails loudly, the sensor's block intact.
    Outcome unwritable = RunCli({"read", "ram", "-o", dir.path() + "/no/such/folder.dat"}, sim.link);
    EXPECT_EQ(unwritable.code, 5);
    EXPECT_NE(unwritable.err.find("folder.dat"), std::string::npos);
}

TEST(CliSensor, RepliesOfTheWrongLengthAreRefused) {
    struct Case {
        QString fault;
        QStringList args;
    };
    QTemporaryDir dir;
    const QString setup = dir.path() + "/setup.dat";
    WriteText(setup, Block(300, 0, 0));
    const Case cases[] = {
        {"silence:7", {"identify"}},
        {"long:7", {"identify"}},
        {"short:3", {"read", "ram"}},
        {"long:4", {"diff", "eeprom", setup}},
        {"silence:3", {"write", "ram", setup}},
        {"short:5", {"poll", "--count", "3"}},
        {"long:5", {"poll", "--count", "3"}},
    };
    for (const Case &c : cases) {
        SimProcess sim({"--fast", "--fault", c.fault});
        ASSERT_TRUE(sim.started);
        Outcome o = RunCli(c.args, sim.link);
        EXPECT_EQ(o.code, 4) << c.fault.toStdString() << ": " << o.err;
        EXPECT_NE(o.err.find("COM1"), std::string::npos) << o.err;
        if (c.args.first() == "poll") {
            EXPECT_EQ(o.out, "time,x,y,int,red,green,blue,cno\n") << "no row from a bad reply";
        } else {
            EXPECT_TRUE(o.out.empty()) << o.out;
        }
    }
}

// Noise of the right length: a block read twice must agree, a record must agree with itself, and
// a write counts only when the sensor gives the block back.
TEST(CliSensor, WritesAreVerifiedAndNoiseIsRefused) {
    QTemporaryDir dir;
    const QString setup = dir.path() + "/setup.dat";
    WriteText(setup, Block(300, 0, 0)); // AVERAGE 10
    {
        // The sensor keeps AVERAGE 11: the differing word, exit 1, after reading it twice.
        SimProcess sim({"--fast", "--fault", "misstore:1"});
        ASSERT_TRUE(sim.started);
        Outcome o = RunCli({"write", "ram", setup}, sim.link);
        EXPECT_EQ(o.code, 1) << o.err;
        EXPECT_EQ(o.out, "2\tAVERAGE\t10\t11\n");
        // Then the identification for the journal entry.
        EXPECT_EQ(OrdersReceived(sim.log), "1337");
    }
    {
        // Every reply to a read scrambled anew: the two reads never agree.
        SimProcess sim({"--fast", "--fault", "garble:3"});
        ASSERT_TRUE(sim.started);
        for (const QStringList &args : {QStringList{"write", "ram", setup}, {"read", "ram"},
                                        {"diff", "ram", setup}}) {
            Outcome o = RunCli(args, sim.link);
            EXPECT_EQ(o.code, 4) << args.join(' ').toStdString();
            EXPECT_NE(o.err.find("replies differ"), std::string::npos) << o.err;
            EXPECT_TRUE(o.out.empty()) << o.out;
        }
    }
    {
        SimProcess sim({"--fast", "--fault", "silence:3"});
        ASSERT_TRUE(sim.started);
        Outcome o = RunCli({"write", "ram", setup}, sim.link);
        EXPECT_EQ(o.code, 4);
        EXPECT_NE(o.err.find("RAM write not confirmed: no reply"), std::string::npos) << o.err;
    }
    {
        // Garbled records give no row; polling goes on and the count is told on stderr.
        SimProcess sim({"--fast", "--fault", "garble:5"});
        ASSERT_TRUE(sim.started);
        Outcome o = RunCli({"poll", "--count", "6"}, sim.link);
        EXPECT_EQ(o.code, 0) << o.err;
        EXPECT_EQ(o.out, "time,x,y,int,red,green,blue,cno\n");
        EXPECT_NE(o.err.find("6 records refused: line noise?"), std::string::npos) << o.err;
    }
}

// Replies that begin as a request does are replies: RED 85 and GREEN 5 start 00 55 00 05, a
// block with POWER 85 and PMOD 3 starts 00 55 00 03. A fake sensor on a pty sends exactly those.
TEST(CliSensor, RepliesThatBeginLikeTheRequestAreNoEcho) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    // R 85, G 5, B 10: X 3480, Y 204, INT 33, no colour.
    const unsigned char record[14] = {0, 85, 0, 5, 0, 10, 0x0D, 0x98, 0, 204, 0, 33, 0, 255};
    unsigned char block[180] = {0, 85, 0, 3, 0, 1};
    std::atomic<bool> done{false};
    std::thread sensor([&] {
        std::string frame;
        char buf[512];
        while (!done) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                continue;
            frame.append(buf, std::size_t(n));
            while (frame.size() >= 184) {
                const int order = static_cast<unsigned char>(frame[3]);
                frame.erase(0, 184);
                const unsigned char *reply = order == 5 ? record : order == 3 ? block : nullptr;
                const std::size_t size = order == 5 ? sizeof record : sizeof block;
                if (reply && ::write(master, reply, size) != ssize_t(size))
                    return;
            }
        }
    });
    Outcome poll = RunCli({"--port", slave, "poll", "--count", "2"});
    EXPECT_EQ(poll.code, 0) << poll.err;
    EXPECT_NE(poll.out.find(",3480,204,33,85,5,10,255\n"), std::string::npos) << poll.out;
    Outcome read = RunCli({"--port", slave, "read", "ram"});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(read.out.rfind("   85\n    3\n    1\n", 0), 0u) << read.out;
    done = true;
    sensor.join();
    ::close(master);
}

// A loopback plug: everything sent comes straight back.
TEST(CliSensor, LineThatEchoesTheRequestIsRefused) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    std::atomic<bool> done{false};
    std::thread echo([&] {
        char buf[512];
        while (!done) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0 && ::write(master, buf, std::size_t(n)) != n)
                    break;
            }
        }
    });
    for (const QStringList &command : {QStringList{"identify"}, {"read", "eeprom"},
                                       {"poll", "--count", "2"}}) {
        Outcome o = RunCli(QStringList{"--port", slave} + command);
        EXPECT_EQ(o.code, 4) << command.join(' ').toStdString();
        EXPECT_NE(o.err.find("echoes"), std::string::npos) << o.err;
    }
    done = true;
    echo.join();
    ::close(master);
}

// A sensor on a pty whose identification carries an escape sequence, a bell and mark-up.
TEST(CliSensor, IdentificationAndFileNamesReachTheTerminalEscaped) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    const std::string ident = "\x1b]0;pwned\x07\x1b[2J<b>\\x</b>\xe9";
    std::atomic<bool> done{false};
    std::thread sensor([&] {
        std::size_t got = 0;
        char buf[512];
        while (!done) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got += std::size_t(n);
            if (got < 184)
                continue;
            got = 0;
            char reply[96] = {};
            for (std::size_t i = 0; i < 48; ++i)
                reply[2 * i + 1] = i < ident.size() ? ident[i] : ' ';
            if (::write(master, reply, sizeof reply) != ssize_t(sizeof reply))
                break;
        }
    });
    Outcome o = RunCli({"--port", slave, "identify"});
    done = true;
    sensor.join();
    ::close(master);
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out.rfind("\\x1b]0;pwned\\x07\\x1b[2J<b>\\\\x</b>\\xe9 ", 0), 0u) << o.out;
    for (const std::string &text : {o.out, o.err})
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
            return c == '\n' || (c >= 0x20 && c < 0x7F);
        })) << text;

    // A file name with an escape sequence in it is printed escaped too.
    QTemporaryDir dir;
    const QString odd = dir.path() + "/\x1b[31mbad.dat";
    Outcome refused = RunCli({"--port", dir.path() + "/nowhere", "diff", odd, odd});
    EXPECT_EQ(refused.code, 5);
    EXPECT_NE(refused.err.find("\\x1b[31mbad.dat"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find('\x1b'), std::string::npos);
}

TEST(CliSensor, ReadOutputIsAFileStdoutOrRefusedAtAForeignLink) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    QTemporaryDir dir;
    Outcome empty = RunCli({"read", "ram", "-o", ""}, sim.link);
    EXPECT_EQ(empty.code, 2) << empty.err;
    Outcome dash = RunCli({"read", "ram", "-o", "-"}, sim.link);
    EXPECT_EQ(dash.code, 0) << dash.err;
    EXPECT_EQ(std::count(dash.out.begin(), dash.out.end(), '\n'), 90);
    EXPECT_FALSE(QFile::exists(dir.path() + "/-"));

    if (::geteuid() != 0)
        GTEST_SKIP() << "planting a link of another user needs root";
    // Another user's links in a shared folder: one to a file of ours, one to nothing.
    const QString victim = dir.path() + "/victim.dat";
    WriteText(victim, "mine\n");
    const QString planted = dir.path() + "/init.dat", dangling = dir.path() + "/new.dat";
    ASSERT_EQ(::symlink(victim.toLocal8Bit().constData(), planted.toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink((dir.path() + "/created").toLocal8Bit().constData(),
                        dangling.toLocal8Bit().constData()),
              0);
    for (const QString &link : {planted, dangling}) {
        ASSERT_EQ(::lchown(link.toLocal8Bit().constData(), 65534, 65534), 0);
        Outcome o = RunCli({"read", "ram", "-o", link}, sim.link);
        EXPECT_EQ(o.code, 5) << o.err;
        EXPECT_NE(o.err.find(link.toStdString()), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("symbolic link"), std::string::npos) << o.err;
    }
    EXPECT_EQ(ReadAll(victim), "mine\n");
    EXPECT_FALSE(QFile::exists(dir.path() + "/created"));
}

TEST(CliPoll, RecordsAsCsvInTheirColumnsUntilCountOrSignal) {
    SimProcess sim({"--fast", "--scene", "1000,2000,500"});
    ASSERT_TRUE(sim.started);
    Outcome o = RunCli({"poll", "--count", "20"}, sim.link);
    ASSERT_EQ(o.code, 0) << o.err;
    const QRegularExpression row("^([0-9]+\\.[0-9]+),([0-9]+),([0-9]+),([0-9]+),([0-9]+),"
                                 "([0-9]+),([0-9]+),([0-9]+)$");
    std::istringstream lines(o.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time,x,y,int,red,green,blue,cno");
    int rows = 0;
    double last = -1;
    while (std::getline(lines, line)) {
        const QRegularExpressionMatch found = row.match(QString::fromStdString(line));
        ASSERT_TRUE(found.hasMatch()) << line;
        const auto m = [&](int i) { return found.captured(i).toStdString(); };
        const double t = std::stod(m(1));
        EXPECT_GE(t, last);
        if (rows == 0) {
            EXPECT_EQ(t, 0.0);
        }
        last = t;
        const long x = std::stol(m(2)), y = std::stol(m(3)), in = std::stol(m(4));
        const long r = std::stol(m(5)), g = std::stol(m(6)), b = std::stol(m(7));
        // Each value in its own column: the sensor derives X, Y and INT from R, G and B.
        ASSERT_GT(r + g + b, 0);
        EXPECT_EQ(x, r * 4095 / (r + g + b)) << line;
        EXPECT_EQ(y, g * 4095 / (r + g + b)) << line;
        EXPECT_EQ(in, (r + g + b) / 3) << line;
        EXPECT_GT(g, r) << "the scene is mostly green";
        ++rows;
    }
    EXPECT_EQ(rows, 20);

    // Without a count it runs until SIGTERM or SIGINT and ends cleanly, its last row whole.
    for (int sig : {SIGTERM, SIGINT}) {
        QProcess p;
        Start(p, {"poll", "--interval", "0.01"}, sim.link);
        QByteArray out;
        ASSERT_TRUE(WaitUntil(
            [&] {
                p.waitForReadyRead(20);
                out += p.readAllStandardOutput();
                return out.count('\n') >= 5;
            },
            10000));
        ::kill(static_cast<pid_t>(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(5000));
        out += p.readAllStandardOutput();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << sig;
        EXPECT_TRUE(out.endsWith('\n'));
    }
}

} // namespace
