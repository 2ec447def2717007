// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The serial layer: in-process devices, queue limits, error codes and their log, and a real pty.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "platform/serial.h"
#include "sim_device.h"


namespace {

using namespace sensorsim;

std::string Request(std::uint8_t order) {
    std::string f(kFrameBytes, '\0');
    f[1] = 0x55;
    f[3] = char(order);
    return f;
}

int OpenDefault(int port, int inQueue = 1024) {
    return OpenComConfig(port, "", 19200, 0, 8, 1, inQueue, 1024);
}

// Waits (up to a generous limit) until `want` bytes are waiting; returns the last length.
int WaitFor(int port, int want) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int n = 0;
    while ((n = GetInQLen(port)) < want && std::chrono::steady_clock::now() < until) {
    }
    return n;
}

// Identification and RAM read through the numbered port, as the program does them.
void TalkToSensor(int port) {
    const std::string ident = Request(7);
    ASSERT_EQ(ComWrt(port, ident.data(), int(ident.size())), int(kFrameBytes));
    ASSERT_EQ(WaitFor(port, 96), 96);
    char buf[1024];
    ASSERT_EQ(ComRd(port, buf, 96), 96);
    std::string text;
    for (int i = 1; i < 96; i += 2)
        text += buf[i];
    EXPECT_EQ(text.rfind(kIdentText, 0), 0u) << text;

    const std::string read = Request(3);
    ASSERT_EQ(ComWrt(port, read.data(), int(read.size())), int(kFrameBytes));
    ASSERT_EQ(WaitFor(port, 180), 180);
    ASSERT_EQ(ComRd(port, buf, 1024), 180);
    EXPECT_EQ(std::uint8_t(buf[0]) << 8 | std::uint8_t(buf[1]), 500) << "POWER";
    EXPECT_EQ(GetInQLen(port), 0);
}

} // namespace

TEST(SerialLayer, AttachedDeviceBehindANumber) {
    SensorModel model;
    SimComDevice device(model);
    AttachComDevice(5, &device);
    ASSERT_EQ(OpenDefault(5), 0);
    EXPECT_EQ(SetComTime(5, 2.0), 0);
    EXPECT_EQ(SetCTSMode(5, 0), 0);
    TalkToSensor(5);

    // Opening an open number again starts afresh.
    const std::string ident = Request(7);
    ComWrt(5, ident.data(), int(ident.size()));
    ASSERT_EQ(OpenDefault(5), 0);
    EXPECT_EQ(GetInQLen(5), 0);

    // Flushing drops what is waiting.
    ComWrt(5, ident.data(), int(ident.size()));
    ASSERT_EQ(WaitFor(5, 96), 96);
    EXPECT_EQ(FlushInQ(5), 0);
    EXPECT_EQ(FlushOutQ(5), 0);
    EXPECT_EQ(GetInQLen(5), 0);

    // Taking the device away closes the port that used it.
    AttachComDevice(5, nullptr);
    EXPECT_EQ(GetInQLen(5), COM_PORT_NOT_OPEN);
}

TEST(SerialLayer, QueueCapAndReadLimits) {
    SensorModel model;
    SimComDevice device(model);
    AttachComDevice(6, &device);
    ASSERT_EQ(OpenDefault(6, 100), 0);
    const std::string read = Request(3);
    ASSERT_EQ(ComWrt(6, read.data(), int(read.size())), int(kFrameBytes));
    ASSERT_EQ(WaitFor(6, 100), 100);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(GetInQLen(6), 100) << "the queue holds no more than its size";

    // Guard bytes around the destination catch a read past what was asked.
    std::vector<char> buf(64, '\x7E');
    EXPECT_EQ(ComRd(6, buf.data() + 8, 10), 10);
    for (int i = 18; i < 64; ++i)
        ASSERT_EQ(buf[std::size_t(i)], '\x7E') << i;
    EXPECT_EQ(GetInQLen(6), 90);
    EXPECT_EQ(ComRd(6, buf.data(), 0), 0);
    EXPECT_EQ(ComRd(6, buf.data(), 64), 64);
    EXPECT_EQ(ComRd(6, buf.data(), 64), 26);
    EXPECT_EQ(ComRd(6, buf.data(), 64), 0);
    EXPECT_EQ(CloseCom(6), 0);
    AttachComDevice(6, nullptr);
}

TEST(SerialLayer, ErrorCodes) {
    char buf[16] = {};
    for (int bad : {0, -1, 17, 1000})
        EXPECT_EQ(OpenDefault(bad), COM_INVALID_PORT) << bad;

    // A number that is not open answers every call at once.
    EXPECT_EQ(ComWrt(9, buf, 4), COM_PORT_NOT_OPEN);
    EXPECT_EQ(ComRd(9, buf, 4), COM_PORT_NOT_OPEN);
    EXPECT_EQ(GetInQLen(9), COM_PORT_NOT_OPEN);
    EXPECT_EQ(WaitComQuiet(9, 14), COM_PORT_NOT_OPEN);
    EXPECT_EQ(WaitComQuiet(0, 14), COM_INVALID_PORT);
    EXPECT_EQ(FlushInQ(9), COM_PORT_NOT_OPEN);
    EXPECT_EQ(FlushOutQ(9), COM_PORT_NOT_OPEN);
    EXPECT_EQ(SetComTime(9, 2.0), COM_PORT_NOT_OPEN);
    EXPECT_EQ(SetCTSMode(9, 0), COM_PORT_NOT_OPEN);
    EXPECT_EQ(CloseCom(9), COM_PORT_NOT_OPEN);

    // A mapping to a device that is not there.
    setenv("TINTARO_COM9", "/nonexistent/tintaro-no-such-tty", 1);
    EXPECT_EQ(ComPortDevice(9), "/nonexistent/tintaro-no-such-tty");
    EXPECT_EQ(OpenDefault(9), COM_NO_PORT_FOUND);
    EXPECT_EQ(GetInQLen(9), COM_PORT_NOT_OPEN) << "a failed opening leaves the port closed";
    unsetenv("TINTARO_COM9");
    EXPECT_EQ(ComPortDevice(0), "");

    // Settings no line can take are refused, for an in-process device as for a port.
    SensorModel model;
    SimComDevice device(model);
    AttachComDevice(9, &device);
    EXPECT_EQ(OpenComConfig(9, "", 19200, 0, 9, 1, 1024, 1024), COM_UNKNOWN_SYSTEM_ERROR);
    EXPECT_EQ(OpenComConfig(9, "", 19200, 5, 8, 1, 1024, 1024), COM_UNKNOWN_SYSTEM_ERROR);
    EXPECT_EQ(OpenComConfig(9, "", 0, 0, 8, 1, 1024, 1024), COM_UNKNOWN_SYSTEM_ERROR);
    EXPECT_EQ(OpenComConfig(9, "", 19200, 0, 8, 3, 1024, 1024), COM_UNKNOWN_SYSTEM_ERROR);
    EXPECT_EQ(GetInQLen(9), COM_PORT_NOT_OPEN);
    AttachComDevice(9, nullptr);
}

namespace {

QStringList g_logged;

void Collect(QtMsgType, const QMessageLogContext &context, const QString &message) {
    if (QLatin1String(context.category) == QLatin1String("tintaro.platform"))
        g_logged << message;
}

} // namespace

TEST(SerialLayer, EveryNegativeResultIsLoggedWithTheCallAndItsArguments) {
    QLoggingCategory::setFilterRules(QStringLiteral("tintaro.platform.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    g_logged.clear();
    char buf[8] = {};
    OpenComConfig(0, "", 19200, 0, 8, 1, 1024, 1024);
    ComWrt(9, buf, 4);
    ComRd(9, buf, 8);
    GetInQLen(9);
    WaitInQLen(9, 14);
    WaitComQuiet(9, 14);
    SetCTSMode(9, 1);
    CloseCom(17);
    SensorModel model;
    SimComDevice device(model);
    AttachComDevice(9, &device);
    EXPECT_EQ(OpenComConfig(9, "", 19200, 0, 8, 1, 1024, 1024), 0);
    GetInQLen(9); // succeeds: nothing to log
    CloseCom(9);
    AttachComDevice(9, nullptr);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    EXPECT_EQ(g_logged, (QStringList{"OpenComConfig(0, \"\", 19200, 0, 8, 1, 1024, 1024) -> -2",
                                     "ComWrt(9, 4) -> -3", "ComRd(9, 8) -> -3",
                                     "GetInQLen(9) -> -3", "WaitInQLen(9, 14) -> -3",
                                     "WaitComQuiet(9, 14) -> -3",
                                     "SetCTSMode(9, 1) -> -3", "CloseCom(17) -> -2"}))
        << g_logged.join('\n').toStdString();
}

namespace {

// Hands out a running count of bytes (0, 1, 2, ... 255, 0, ...), `next` at a time per request.
class CountingDevice : public ComDevice {
public:
    std::size_t next = 0;
    std::size_t write(const char *, std::size_t count) override {
        due_ += next;
        return count;
    }
    std::size_t read(char *data, std::size_t max) override {
        const std::size_t n = std::min(max, due_);
        for (std::size_t i = 0; i < n; ++i)
            data[i] = char(counter_++);
        due_ -= n;
        return n;
    }
    std::size_t available() override { return due_; }
    double nextByteIn() override { return due_ > 0 ? 0.0 : kNever; }

private:
    std::size_t due_ = 0;
    unsigned char counter_ = 0;
};

} // namespace

TEST(SerialLayer, InputQueueKeepsTheOrderAcrossItsEndAndDropsWhatComesBeyondIt) {
    CountingDevice device;
    AttachComDevice(6, &device);
    ASSERT_EQ(OpenDefault(6, 100), 0);
    unsigned char expected = 0;
    const std::size_t lengths[] = {37, 90, 64, 99, 1, 100, 73, 58};
    for (int round = 0; round < 40; ++round) {
        device.next = lengths[round % 8];
        ComWrt(6, "x", 1);
        ASSERT_EQ(GetInQLen(6), int(device.next));
        // Reads of 11 leave the queue's start at every place of the ring.
        char buf[11];
        int n = 0;
        while ((n = ComRd(6, buf, sizeof buf)) > 0)
            for (int i = 0; i < n; ++i)
                ASSERT_EQ((unsigned char)buf[i], expected++) << "round " << round;
    }
    // 150 bytes into a queue of 100: the first 100 stay, the newest are dropped.
    device.next = 150;
    ComWrt(6, "x", 1);
    ASSERT_EQ(GetInQLen(6), 100);
    char buf[150];
    ASSERT_EQ(ComRd(6, buf, 150), 100);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ((unsigned char)buf[i], (unsigned char)(expected + i)) << i;
    EXPECT_EQ(GetInQLen(6), 0);
    CloseCom(6);
    AttachComDevice(6, nullptr);
}

namespace {

// A device that can be away (unplugged) and refuse hardware flow control.
class AwayDevice : public ComDevice {
public:
    bool there = true;
    std::string out;
    std::size_t write(const char *data, std::size_t count) override {
        out.append(data, count);
        return count;
    }
    std::size_t read(char *data, std::size_t max) override {
        const std::size_t n = std::min(max, in.size());
        in.copy(data, n);
        in.erase(0, n);
        return n;
    }
    std::size_t available() override { return in.size(); }
    double nextByteIn() override { return in.empty() ? kNever : 0.0; }
    bool setCtsFlowControl(bool on) override { return !on; }
    bool present() override { return there; }
    std::string in;
};

} // namespace

TEST(SerialLayer, DeviceAwayFailsTheCallsAndIsUsedAgainWhenBack) {
    AwayDevice device;
    AttachComDevice(6, &device);
    ASSERT_EQ(OpenDefault(6), 0);
    EXPECT_EQ(SetCTSMode(6, 1), COM_RS232_ERROR);
    EXPECT_EQ(SetCTSMode(6, 0), 0);

    device.in = "abc";
    EXPECT_EQ(GetInQLen(6), 3);
    device.there = false;
    char buf[8];
    EXPECT_EQ(ComWrt(6, "req", 3), COM_IO_ERROR);
    EXPECT_EQ(GetInQLen(6), 3) << "what was waiting stays readable";
    EXPECT_EQ(ComRd(6, buf, 8), 3);
    EXPECT_EQ(GetInQLen(6), COM_IO_ERROR);
    EXPECT_EQ(WaitComQuiet(6, 14), COM_IO_ERROR);
    EXPECT_EQ(FlushInQ(6), 0);
    EXPECT_EQ(FlushOutQ(6), 0);
    EXPECT_EQ(device.out, "");

    device.there = true;
    EXPECT_EQ(ComWrt(6, "req", 3), 3);
    device.in = "reply";
    EXPECT_EQ(GetInQLen(6), 5);
    EXPECT_EQ(WaitComQuiet(6, 5), 5);
    EXPECT_EQ(ComRd(6, buf, 8), 5);
    EXPECT_EQ(device.out, "req");
    CloseCom(6);
    AttachComDevice(6, nullptr);
}

TEST(SerialLayer, SimulatorExecutableOnAPty) {
    testsupport::SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    EXPECT_TRUE(sim.firstLine.contains("serving on /dev/")) << sim.firstLine.toStdString();
    const std::string link = sim.link.toStdString();

    setenv("TINTARO_COM3", link.c_str(), 1);
    const int opened = OpenDefault(3);
    EXPECT_EQ(opened, 0);
    if (opened == 0) {
        SetComTime(3, 2.0);
        FlushInQ(3);
        TalkToSensor(3);
        EXPECT_EQ(CloseCom(3), 0);
    }
    unsetenv("TINTARO_COM3");

    sim.stop();
    EXPECT_EQ(sim.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.proc.exitCode(), 0) << sim.output().toStdString();
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes with the simulator";
}
