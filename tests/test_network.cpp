// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Sensors behind a device server: Debian's ser2net on 127.0.0.1 in front of tintaro-sensor-sim,
// raw TCP and RFC 2217, through the serial layer and through tintaro-cli; and the scan.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Tintarov10/Tintarov10.h"
#include "Tintarov10/command_line.h"
#include "com232/com232.h"
#include "gui/find_sensor.h"
#include "line/line.h"
#include "panel_fixture.h"
#include "platform/find_sensor.h"
#include "platform/private/net_port_device.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"
#include "support/cli_process.h"
#include "support/ser2net_process.h"
#include "support/sim_process.h"
#include "support/traffic_log.h"
#include "support/xserver.h"

// Asks a window to close as a window manager's close box would (x11_close.cpp).
bool SendCloseRequest(const char *display, unsigned long window);

namespace {

using testsupport::Ser2NetProcess;
using testsupport::SimProcess;
using testsupport::WaitUntil;

constexpr int kPort = 9; // a layer port number no other test of this program uses

using Outcome = testsupport::CliOutcome;

// tintaro-cli with TINTARO_COM<n> set as given (the others unset).
Outcome RunCli(const QStringList &args, const QMap<int, QString> &com = {}) {
    return testsupport::RunCli(args, testsupport::CliEnv(com));
}

std::string Orders(const QString &log) {
    QFile f(log);
    f.open(QIODevice::ReadOnly);
    static const QRegularExpression rx(" RX ([0-9]+) ");
    std::string orders;
    for (auto it = rx.globalMatch(QString::fromUtf8(f.readAll())); it.hasNext();)
        orders += it.next().captured(1).toStdString();
    return orders;
}

// The identification through the layer, as the program asks for it: the reply's length.
int Identify(int port) {
    FlushInQ(port);
    FlushOutQ(port);
    char request[184] = {0, 0x55, 0, 7};
    if (ComWrt(port, request, int(sizeof request)) != int(sizeof request))
        return -1;
    char reply[1024];
    return line::WaitAndRead(port, 96, Timer(), reply, int(sizeof reply));
}

int OpenNet(const QString &url) {
    const int r = OpenComConfig(kPort, url.toUtf8().constData(), 19200, 0, 8, 1, 1024, 1024);
    if (r == 0)
        SetComTime(kPort, 2.0);
    return r;
}

double Since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

class NetworkPort : public ::testing::TestWithParam<bool> {}; // RFC 2217 or raw

TEST_P(NetworkPort, CliIdentifiesReadsWritesWithVerifyAndPolls) {
    SimProcess sim;
    ASSERT_TRUE(sim.started);
    Ser2NetProcess server(sim.link, GetParam());
    ASSERT_TRUE(server.started);
    QTemporaryDir dir;
    const QMap<int, QString> com{{3, server.url()}};

    const Outcome id = RunCli({"--port", "COM3", "identify"}, com);
    ASSERT_EQ(id.code, 0) << id.err;
    EXPECT_NE(id.out.find("SIMULATOR"), std::string::npos) << id.out;

    // A block with 0xFF bytes in it (a telnet IAC in every other byte) goes and comes back whole.
    const QString file = dir.path() + "/block.dat";
    ASSERT_EQ(RunCli({"--port", server.url(), "read", "ram", "-o", file}).code, 0);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QList<QByteArray> words = f.readAll().split('\n');
    words[9] = "65535";
    words[10] = "  255";
    words[11] = "65280";
    f.resize(0);
    f.write(words.join('\n'));
    f.close();
    const Outcome written = RunCli({"--port", server.url(), "write", "ram", file});
    EXPECT_EQ(written.code, 0) << written.err << written.out;
    EXPECT_EQ(RunCli({"--port", server.url(), "diff", "ram", file}).code, 0);

    const Outcome poll = RunCli({"--port", server.url(), "poll", "--count", "5"});
    EXPECT_EQ(poll.code, 0) << poll.err;
    EXPECT_EQ(std::count(poll.out.begin(), poll.out.end(), '\n'), 6) << poll.out;
}

TEST_P(NetworkPort, StrayBytesAfterTheReplyAreRefused) {
    SimProcess sim({"--fault", "long:7", "--fault", "split:3"});
    ASSERT_TRUE(sim.started);
    Ser2NetProcess server(sim.link, GetParam());
    ASSERT_TRUE(server.started);
    const Outcome id = RunCli({"--port", server.url(), "identify"});
    EXPECT_EQ(id.code, 4);
    EXPECT_NE(id.err.find("98 bytes instead of 96"), std::string::npos) << id.err;
    // A reply that the line delivers in pieces, 20 ms apart, is still one reply.
    EXPECT_EQ(RunCli({"--port", server.url(), "read", "ram"}).code, 0);
}

TEST_P(NetworkPort, DroppedConnectionIsAPortGoneAndIsTakenUpAgain) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    Ser2NetProcess server(sim.link, GetParam());
    ASSERT_TRUE(server.started);
    ASSERT_EQ(OpenNet(server.url()), 0);
    EXPECT_EQ(Identify(kPort), 96);
    EXPECT_EQ(ComPortGone(kPort), 0);

    server.stop();
    EXPECT_NE(Identify(kPort), 96);
    EXPECT_EQ(ComPortGone(kPort), 1);
    ASSERT_TRUE(server.start());
    // The next requests connect again (a failed attempt waits a second before the next one).
    EXPECT_TRUE(WaitUntil([] { return Identify(kPort) == 96; }, 10000));
    EXPECT_EQ(ComPortGone(kPort), 0);
    CloseCom(kPort);
}

INSTANTIATE_TEST_SUITE_P(Ser2Net, NetworkPort, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Rfc2217" : "RawTcp"; });

TEST(NetworkPortRfc2217, ServerPortIsSetTo19200EightNoneOne) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    // ser2net opens the line at another speed and framing.
    Ser2NetProcess server(sim.link, true, "2400e72");
    ASSERT_TRUE(server.started);
    ASSERT_EQ(OpenNet(server.url()), 0);
    EXPECT_EQ(Identify(kPort), 96);
    // The pty's settings are the ones ser2net gave its side of it.
    const int fd = ::open(sim.link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    CloseCom(kPort);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
}

// The flush before a request purges the server's buffers in the request's own packet, and a
// flush that no request follows still reaches the server before the program waits for the line.
TEST(NetworkPortRfc2217, PurgesReachTheServerInOrderWithTheRequest) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);

    using platform::TelnetCodec;
    char request[184] = {0, 0x55, 0, 5, char(0xFF), char(0xFF)};
    const std::string expected = TelnetCodec::Purge(1) + TelnetCodec::Purge(2) +
                                 TelnetCodec::Escape(request, sizeof request) +
                                 TelnetCodec::Purge(1);
    std::string heard; // everything the client sent, negotiation included
    std::thread server([&] {
        const int c = ::accept(listener, nullptr, nullptr);
        // A server that takes the option and answers with the sensor's settings at once.
        const unsigned char answers[] = {255, 253, 44,  255, 250, 44,  101, 0,   0,   0x4B, 0,
                                         255, 240, 255, 250, 44,  102, 8,   255, 240, 255,  250,
                                         44,  103, 1,   255, 240, 255, 250, 44,  104, 1,    255,
                                         240, 255, 250, 44,  105, 1,   255, 240};
        ::send(c, answers, sizeof answers, 0);
        timeval limit{10, 0}; // a client that stops short fails the test, it does not hang it
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buf[512];
        while (heard.size() < expected.size() ||
               heard.compare(heard.size() - expected.size(), expected.size(), expected) != 0) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            heard.append(buf, std::size_t(n));
        }
        ::close(c);
    });
    ASSERT_EQ(OpenNet(QString("rfc2217://127.0.0.1:%1").arg(ntohs(a.sin_port))), 0);
    FlushInQ(kPort);
    FlushOutQ(kPort);
    EXPECT_EQ(ComWrt(kPort, request, int(sizeof request)), int(sizeof request));
    FlushInQ(kPort);
    FlushInQ(kPort); // the same purge twice in a row goes once
    GetInQLen(kPort);
    server.join();
    CloseCom(kPort);
    ::close(listener);
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_EQ(heard.substr(heard.size() - expected.size()), expected);
}

TEST(NetworkPortFailures, RefusedOrSilentHostGivesThePortMessagesWithinTheConnectTimeout) {
    // Nothing listens: refused at once.
    const int closedPort = testsupport::FreeTcpPort();
    for (const char *scheme : {"tcp", "rfc2217"})
        EXPECT_EQ(OpenNet(QString("%1://127.0.0.1:%2").arg(scheme).arg(closedPort)),
                  COM_CANNOT_OPEN);
    const Outcome cli =
        RunCli({"--port", QString("tcp://127.0.0.1:%1").arg(closedPort), "identify"});
    EXPECT_EQ(cli.code, 3);
    EXPECT_NE(cli.err.find("cannot open port"), std::string::npos) << cli.err;
    EXPECT_EQ(RunCli({"--port", "tcp://127.0.0.1:0", "identify"}).code, 3); // no such port

    // A host that takes the connection and never says a word: the telnet negotiation times out.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    const QString silent = QString("rfc2217://127.0.0.1:%1").arg(ntohs(a.sin_port));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenNet(silent), COM_CANNOT_OPEN);
    EXPECT_LT(Since(t0), 2.0 + 1.0);
    // Once its queue is full the host does not even answer the connection: the same.
    int fillers[4];
    for (int &c : fillers) {
        c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenNet(QString("tcp://127.0.0.1:%1").arg(ntohs(a.sin_port))), COM_CANNOT_OPEN);
    EXPECT_LT(Since(t0), 2.0 + 1.0);
    for (int c : fillers)
        ::close(c);
    ::close(listener);
}

TEST(CliScan, FindsTheSensorsBehindTwoNumbersAndAsksNothingElse) {
    SimProcess local({"--fast"});
    SimProcess remote({"--fast"});
    ASSERT_TRUE(local.started && remote.started);
    Ser2NetProcess server(remote.link, true);
    ASSERT_TRUE(server.started);
    QTemporaryDir dir;
    QMap<int, QString> com;
    for (int n = 1; n <= 16; ++n)
        com[n] = dir.path() + QString("/none%1").arg(n);
    com[2] = local.link;
    com[5] = server.url();

    const Outcome all = RunCli({"scan"}, com);
    EXPECT_EQ(all.code, 0) << all.err;
    const QStringList lines = QString::fromStdString(all.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16) << all.out;
    EXPECT_TRUE(lines[1].startsWith("COM2\t" + local.link + "\tTINTARO")) << lines[1].toStdString();
    EXPECT_TRUE(lines[4].startsWith("COM5\t" + server.url() + "\tTINTARO"))
        << lines[4].toStdString();
    EXPECT_EQ(lines[0], "COM1\t" + com[1] + "\tno device");
    EXPECT_EQ(Orders(local.log), "7");
    EXPECT_EQ(Orders(remote.log), "7");

    // No sensor among the ports asked: exit 4. A silent line is "no reply".
    SimProcess mute({"--fast", "--fault", "silence:7"});
    ASSERT_TRUE(mute.started);
    const Outcome none = RunCli({"scan", "--ports", "COM7," + mute.link}, com);
    EXPECT_EQ(none.code, 4);
    EXPECT_EQ(none.out,
              ("COM7\t" + com[7] + "\tno device\n" + mute.link + "\t" + mute.link + "\tno reply\n")
                  .toStdString());
    EXPECT_EQ(RunCli({"scan", "--ports", "COM7,,COM2"}).code, 2);
}

TEST(NetworkCommandLine, WindowTakesNetworkPortsAndTheQuietGap) {
    const char *ok[] = {"tintaro", "--port", "rfc2217://10.0.0.5:2217", "--quiet-ms", "3"};
    const CommandLine cl = ParseCommandLine(5, ok);
    EXPECT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_EQ(cl.device, "rfc2217://10.0.0.5:2217");
    EXPECT_EQ(cl.quietMs, 3.0);
    for (const char *bad : {"-1", "1001", "x", ""}) {
        const char *argv[] = {"tintaro", "--quiet-ms", bad};
        EXPECT_EQ(ParseCommandLine(3, argv).action, CommandLine::Action::Error) << bad;
    }
    EXPECT_EQ(RunCli({"--quiet-ms", "abc", "identify"}).code, 2);
}

// The window through a device server: start-up's line check, GET, the connection dropped and
// taken up again, and File -> "Find sensor...".
class NetworkWindow : public PanelTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started && other.started && server.started);
        for (int n = 1; n <= 16; ++n)
            setenv(("TINTARO_COM" + std::to_string(n)).c_str(),
                   (dir.path() + QString("/none%1").arg(n)).toLocal8Bit().constData(), 1);
        setenv("TINTARO_COM3", server.url().toUtf8().constData(), 1);
        setenv("TINTARO_COM6", other.link.toLocal8Bit().constData(), 1);
        PanelTest::SetUp(); // the selector lists the devices as mapped now
        InitVars();
        StartLinkStatus();
    }
    void TearDown() override {
        SetFindSensorHandler(nullptr);
        CloseCom(com);
        PanelTest::TearDown();
        for (int n = 1; n <= 16; ++n)
            unsetenv(("TINTARO_COM" + std::to_string(n)).c_str());
    }
    std::string bar(int field) {
        char buf[512] = {};
        GetStatusBarText(panel, field, buf, sizeof buf);
        return buf;
    }

    QTemporaryDir dir;
    SimProcess sim{{"--fast"}};
    SimProcess other{{"--fast"}};
    Ser2NetProcess server{sim.link, true};
};

TEST_F(NetworkWindow, WorksThroughTheServerAndTakesADroppedConnectionUpAgain) {
    com = 3;
    InitRS232(com);
    EXPECT_NE(text(PANEL_STATUS).find("SIMULATOR"), std::string::npos) << text(PANEL_STATUS);
    EXPECT_EQ(bar(0), "COM3 " + server.url().toStdString());
    EXPECT_EQ(popups.count("INFO"), 0);

    server.stop();
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    EXPECT_EQ(bar(1).rfind("port gone", 0), 0u) << bar(1);

    ASSERT_TRUE(server.start());
    QThread::msleep(1100); // a connection that failed is tried again after a second
    popups.shown.clear();
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(popups.count("INFO"), 0);
    EXPECT_NE(bar(1).rfind("port gone", 0), 0u) << bar(1); // the block was read
}

TEST_F(NetworkWindow, FindSensorListsThePortsAndSwitchesToThePortPicked) {
    com = 1;
    InitRS232(com); // nothing there
    popups.shown.clear();
    std::vector<FoundPort> listed;
    SetFindSensorHandler([&](const std::vector<FoundPort> &found) {
        listed = found;
        return 6;
    });
    FindSensor();
    ASSERT_EQ(listed.size(), 16u);
    EXPECT_TRUE(listed[2].sensor);
    EXPECT_EQ(listed[2].device, server.url().toStdString());
    EXPECT_TRUE(listed[5].sensor);
    EXPECT_EQ(listed[0].answer, "no device");
    EXPECT_EQ(com, 6);
    EXPECT_EQ(u16Val(PANEL_COMPORT), 6);
    EXPECT_NE(text(PANEL_STATUS).find("SIMULATOR"), std::string::npos);
    EXPECT_EQ(popups.count("INFO"), 0);
    // The other sensor was asked for its identification and nothing else; the chosen one then
    // got the line check and the parameter read (twice), as when picked by hand.
    EXPECT_EQ(Orders(sim.log), "7");
    EXPECT_EQ(Orders(other.log), "7733");

    // Cancelled: the port in use stays as it was, nothing is sent to it.
    SetFindSensorHandler([](const std::vector<FoundPort> &) { return 0; });
    FindSensor();
    EXPECT_EQ(com, 6);
    EXPECT_EQ(Identify(com), 96);
}

// The window program in a real X window on the private X server, its COM1 a ser2net RFC 2217
// port in front of the simulator: start-up's line check, GO polls, the server goes away (the
// status bar says "port gone"), and once it is back with a sensor that holds another block, GET
// connects again and fills the panel with that block (SEND then carries exactly it).
TEST(NetworkRealWindow, GetGoPortGoneAndGetAgainThroughTheServer) {
    testsupport::XServer x;
    ASSERT_TRUE(x.ok()) << "Xvfb is installed by scripts/install-deps";
    QTemporaryDir dir;
    const QString block = dir.path() + "/other.dat"; // in range for every control
    {
        QFile f(block);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const int words[15] = {640, 1, 32, 1, 250, 300, 3, 1, 0, 9, 8, 7, 6, 5, 4};
        for (int i = 0; i < 90; ++i)
            f.write(QByteArray::number(i < 15 ? words[i] : (i * 37) % 4096) + "\n");
    }
    const QString script = dir.path() + "/script";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0 watch\n");
    }
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    Ser2NetProcess server(sim.link, true);
    ASSERT_TRUE(server.started);

    QProcess app;
    QProcessEnvironment env = x.environment();
    env.insert("TINTARO_COM1", server.url());
    env.insert("TINTARO_SCRIPT", script);
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro-scripted"), QStringList{});
    ASSERT_TRUE(app.waitForStarted(5000));
    QString said; // the program's stderr so far: its status bar changes and pop-ups
    const auto lastStatus = [&](int field) {
        app.waitForReadyRead(20);
        said += QString::fromUtf8(app.readAllStandardError());
        const QString tag = QString("STATUS %1 ").arg(field);
        const int at = said.lastIndexOf(tag);
        return at < 0 ? QString() : said.mid(at + tag.size()).section('\n', 0, 0);
    };
    const auto records = [&] {
        const std::vector<Frame> frames = ReadLog(sim.log);
        return std::count_if(frames.begin(), frames.end(),
                             [](const Frame &f) { return f.rx && f.order == 5; });
    };
    constexpr int kLong = 30000; // ms: ample on a loaded machine; each wait ends on its event

    const QString window =
        x.xdotool({"search", "--sync", "--onlyvisible", "--name", "Tintaro V1.0"})
            .section('\n', 0, 0);
    ASSERT_FALSE(window.isEmpty());
    x.xdotool({"windowfocus", "--sync", window});
    EXPECT_TRUE(WaitUntil([&] { return lastStatus(1).startsWith("identified: "); }, kLong))
        << said.toStdString();
    EXPECT_EQ(lastStatus(0), "COM1 " + server.url());

    x.xdotool({"key", "F11"});
    EXPECT_TRUE(WaitUntil([&] { return records() >= 3; }, kLong));
    server.stop();
    EXPECT_TRUE(WaitUntil([&] { return lastStatus(1).startsWith("port gone"); }, kLong))
        << said.toStdString();
    EXPECT_TRUE(said.contains("POPUP INFO|"));

    ASSERT_TRUE(sim.start({"--fast", "--eeprom", block})); // its log starts anew
    ASSERT_TRUE(server.start());
    QThread::msleep(1100); // a connection that failed is tried again after a second
    x.xdotool({"key", "F10"});
    EXPECT_TRUE(WaitUntil([&] { return !lastStatus(1).startsWith("port gone"); }, kLong))
        << said.toStdString();
    x.xdotool({"key", "F9"});
    std::vector<Frame> frames;
    const auto isWrite = [](const Frame &f) { return f.rx && f.order == 1; };
    ASSERT_TRUE(WaitUntil(
        [&] {
            frames = ReadLog(sim.log);
            return std::any_of(frames.begin(), frames.end(), isWrite);
        },
        kLong))
        << said.toStdString();
    const auto write = std::find_if(frames.begin(), frames.end(), isWrite);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].order, 3); // GET's first read, through the new connection
    ASSERT_FALSE(frames[1].rx);
    EXPECT_EQ(write->bytes.mid(4).toHex().toStdString(), frames[1].bytes.toHex().toStdString());

    ASSERT_TRUE(SendCloseRequest(x.display.toLatin1().constData(), window.toULong()));
    const bool ended = app.waitForFinished(kLong);
    if (!ended)
        app.kill();
    EXPECT_TRUE(ended);
    said += QString::fromUtf8(app.readAllStandardError());
    EXPECT_EQ(app.exitCode(), 0) << said.right(4000).toStdString();
}

} // namespace
