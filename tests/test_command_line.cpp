// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Command-line options: what they parse to, and the built program's exit codes and output
// without a display; --port reaches the sensor on the port it names.
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include "Tintarov10/command_line.h"
#include "support/sim_process.h"
#include "support/traffic_log.h"

using testsupport::SimProcess;

namespace {

CommandLine Parse(std::initializer_list<const char *> args) {
    std::vector<const char *> argv{"tintaro"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseCommandLine(int(argv.size()), argv.data());
}

using A = CommandLine::Action;

TEST(CommandLine, PortTakesACOMNameOrADevicePathAndRefusesAnythingElse) {
    EXPECT_EQ(Parse({}).action, A::Run);
    EXPECT_EQ(Parse({}).port, 0);
    EXPECT_EQ(Parse({"--port", "COM3"}).port, 3);
    EXPECT_EQ(Parse({"--port=com16"}).port, 16);
    const CommandLine dev = Parse({"--port", "/dev/ttyUSB0"});
    EXPECT_EQ(dev.action, A::Run);
    EXPECT_EQ(dev.port, 0);
    EXPECT_EQ(dev.device, "/dev/ttyUSB0");
    // The last --port counts, a COM name after a device clears the device.
    const CommandLine last = Parse({"--port", "/dev/ttyS0", "--port", "COM2"});
    EXPECT_EQ(last.port, 2);
    EXPECT_EQ(last.device, "");
    for (auto bad : {std::vector<const char *>{"--port"},
                     {"--port", "COM0"},
                     {"--port", "COM17"},
                     {"--port", "COMx"},
                     {"--port", "ttyS0"},
                     {"--port="},
                     {"--bogus"},
                     {"-x"},
                     {"file.dat"}}) {
        std::vector<const char *> argv{"tintaro"};
        argv.insert(argv.end(), bad.begin(), bad.end());
        const CommandLine cl = ParseCommandLine(int(argv.size()), argv.data());
        EXPECT_EQ(cl.action, A::Error) << bad.back();
        EXPECT_FALSE(cl.message.empty());
    }
    EXPECT_EQ(Parse({"--port", "COM2", "--help"}).action, A::Help);
    EXPECT_EQ(Parse({"--version", "--bogus"}).action, A::Version);
    EXPECT_EQ(Parse({"-platform", "offscreen"}).action, A::Run) << "Qt's own option";
}

struct ProgramRun {
    int code = -1;
    QString out, err;
};

// The built program with no display at all.
ProgramRun RunProgram(const QStringList &args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro"), args);
    ProgramRun r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

TEST(CommandLine, HelpVersionAndUnknownOptionsNeedNoDisplay) {
    const ProgramRun help = RunProgram({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: tintaro")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--port COMn")) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    const ProgramRun version = RunProgram({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("tintaro 1.0"));

    const ProgramRun bad = RunProgram({"--colour", "red"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("unknown option: --colour")) << bad.err.toStdString();
    EXPECT_FALSE(bad.err.contains("no display")) << "refused before the display is opened";

    const ProgramRun badPort = RunProgram({"--port", "COM99"});
    EXPECT_EQ(badPort.code, 2);
    EXPECT_TRUE(badPort.err.contains("COM1 to COM16")) << badPort.err.toStdString();

    // Without options the program goes on to open its window: here it finds no display.
    EXPECT_EQ(RunProgram({}).code, 255);
}

// The program identifies the sensor on the port that --port names, and on no other.
TEST(CommandLine, PortOptionOpensTheNamedPortOrDevice) {
    for (const bool byDevice : {false, true}) {
        SCOPED_TRACE(byDevice ? "device path" : "COM name");
        SimProcess sim({"--fast"});
        ASSERT_TRUE(sim.started) << sim.output().toStdString();
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TINTARO_COM1", "/nonexistent/tintaro-com1");
        if (!byDevice)
            env.insert("TINTARO_COM5", sim.link);
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro"),
                  {"--port", byDevice ? sim.link : QStringLiteral("COM5")});
        ASSERT_TRUE(app.waitForStarted(5000));
        // Start-up asks for identification and then for the parameters in RAM.
        const bool asked = testsupport::WaitUntil([&] { return !ReadLog(sim.log).empty(); }, 15000);
        app.terminate();
        if (!app.waitForFinished(5000))
            app.kill();
        EXPECT_TRUE(asked) << "the simulator got the start-up requests";
    }
}

} // namespace
