// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The serial layer: in-process devices, queue limits, error codes and a real pty.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/serial.h"
#include "sim_device.h"

extern char **environ;

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
}

TEST(SerialLayer, SimulatorExecutableOnAPty) {
    const std::string dir = testing::TempDir() + "/tintaro_serial_pty_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string link = dir + "/sensor";
    const std::string exe = TINTARO_BIN_DIR "/tintaro-sensor-sim";

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {exe, "--fast", "--link", link};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ), 0) << exe;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    // The first line names the pty; the link exists by then.
    std::string first;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        first += c;
    close(out[0]);
    EXPECT_NE(first.find("serving on /dev/"), std::string::npos) << first;

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

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes with the simulator";
    std::filesystem::remove_all(dir);
}
