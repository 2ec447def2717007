// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Faults an operator meets: the sensor unplugged, garbage, split, late and wrong-length replies,
// ports that cannot be opened, refused parameter files and folders that cannot be written.
#include <array>
#include <memory>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link_fixture.h"
#include "support/sim_process.h"
#include "platform/files.h"
#include "scripted_device.h"
#include "sensor_model.h"

namespace {

constexpr int kPtyPort = 5;

// Everything a failed transfer must leave alone: pp, the parameter variables, the teach table
// variables and what the panel shows.
struct Snapshot {
    std::array<u16, kParaWords> block{};
    std::array<u16, 9> vars{};
    std::array<u16, kTeachRows * kTeachCols> table{};
    std::vector<u16> shown;
    bool operator==(const Snapshot &o) const {
        return block == o.block && vars == o.vars && table == o.table && shown == o.shown;
    }
};

std::ostream &operator<<(std::ostream &os, const Snapshot &s) {
    os << "pp[0..8]";
    for (int i = 0; i < 9; ++i)
        os << ' ' << s.block[std::size_t(i)];
    os << ", shown[0..8]";
    for (std::size_t i = 0; i < 9 && i < s.shown.size(); ++i)
        os << ' ' << s.shown[i];
    return os;
}

const int kParamControls[] = {PANEL_POWER,    PANEL_PMOD,    PANEL_AVERAGE,
                              PANEL_EVALMODE, PANEL_HOLD,    PANEL_INTLIM,
                              PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_TRIGGER};

// A fault test: the panel after start-up values, with operator edits that must survive.
class FaultTest : public LinkTest {
protected:
    Snapshot snapshot() {
        Snapshot s;
        s.block = pp;
        s.vars = {power, pmod, average, evalmode, hold, intlim, maxcolno, outmode, trigger};
        s.table = ctt;
        for (int c : kParamControls)
            s.shown.push_back(u16Val(c));
        for (int r = 1; r <= kTeachRows; ++r)
            for (int c = 1; c <= kTeachCols; ++c)
                s.shown.push_back(cell(c, r));
        return s;
    }
    // Edits on the panel that were neither sent nor saved.
    void editPanel() {
        SetCtrlVal(panel, PANEL_AVERAGE, u16{77});
        SetCtrlVal(panel, PANEL_HOLD, u16{123});
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(2, 3), 1234);
    }
    void expectTimeoutReported(int times = 1) {
        EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
        ASSERT_EQ(popups.count("INFO"), times);
        EXPECT_EQ(popups.shown.back().message, InfoTimeout);
    }
    void press(int control) {
        if (control == PANEL_SEND)
            CBF_ButtonSend(panel, control, EVENT_COMMIT, nullptr, 0, 0);
        else if (control == PANEL_GET)
            CBF_ButtonGet(panel, control, EVENT_COMMIT, nullptr, 0, 0);
        else
            CBF_ButtonGo(panel, control, EVENT_COMMIT, nullptr, 0, 0);
    }
    void selectTarget(int which) {
        SetCtrlVal(panel, PANEL_SELECT_RAM, std::int32_t{which == RAM});
        SetCtrlVal(panel, PANEL_SELECT_EEPROM, std::int32_t{which == EEPROM});
        SetCtrlVal(panel, PANEL_SELECT_FILE, std::int32_t{which == DATFILE});
        target = static_cast<u16>(which);
    }
};

// ---- the real simulator on a pty ----------------------------------------------------------

// tintaro-sensor-sim on a pty behind a link in a temporary folder, reached as COM5.
class PtyFaultTest : public FaultTest {
protected:
    void TearDown() override {
        CloseCom(kPtyPort);
        CloseCom(kPtyPort + 1);
        unsetenv("TINTARO_COM5");
        unsetenv("TINTARO_COM6");
        stopSim();
        com = 1;
        FaultTest::TearDown();
    }
    bool startSim(const QStringList &extra) {
        sim = std::make_unique<testsupport::SimProcess>(QStringList{"--fast"} + extra);
        link = sim->link;
        return sim->started;
    }
    // Opens COM5 on the simulator the way start-up does: line check and parameter read.
    void openPort() {
        setenv("TINTARO_COM5", link.toLocal8Bit().constData(), 1);
        com = kPtyPort;
        InitRS232(com);
    }
    // The sensor is unplugged: the simulator dies without a word.
    void unplug() {
        if (sim)
            sim->kill();
    }
    void stopSim() { sim.reset(); }

    std::unique_ptr<testsupport::SimProcess> sim;
    QString link;
};

TEST_F(PtyFaultTest, SensorUnpluggedWhilePollingEndsPollingWithTheMessage) {
    ASSERT_TRUE(startSim({"--fault", "exit-after:5", "--scene", "red"}));
    openPort();
    ASSERT_EQ(popups.count("INFO"), 0) << text(PANEL_STATUS);
    editPanel();
    const Snapshot before = snapshot();

    press(PANEL_GO); // returns only because the lost sensor ends polling
    EXPECT_EQ(poll, 0);
    expectTimeoutReported();
    EXPECT_EQ(snapshot(), before);
    EXPECT_GT(dataR, 0) << "the last record before the sensor went away stays shown";
    EXPECT_EQ(u16Val(PANEL_RED), dataR);

    // The program stays usable: later transfers report the lost line again, nothing else.
    press(PANEL_GET);
    expectTimeoutReported(2);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(PtyFaultTest, SensorUnpluggedDuringGetKeepsBlockVariablesAndPanel) {
    // The EEPROM read goes unanswered, so the sensor is pulled while the program waits for it.
    ASSERT_TRUE(startSim({"--fault", "silence:4"}));
    openPort();
    ASSERT_EQ(popups.count("INFO"), 0) << text(PANEL_STATUS);
    selectTarget(EEPROM);
    editPanel();
    const Snapshot before = snapshot();

    const auto pid = static_cast<pid_t>(sim->proc.processId());
    std::thread puller([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, SIGKILL);
    });
    press(PANEL_GET);
    puller.join();
    sim->proc.waitForFinished(3000);
    EXPECT_EQ(sim->proc.state(), QProcess::NotRunning);
    expectTimeoutReported();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(PtyFaultTest, SensorUnpluggedBeforeSendReportsTheLostLineAndKeepsTheEdits) {
    ASSERT_TRUE(startSim({}));
    openPort();
    ASSERT_EQ(popups.count("INFO"), 0) << text(PANEL_STATUS);
    unplug();
    for (int which : {RAM, EEPROM}) {
        SCOPED_TRACE(which);
        popups.shown.clear();
        selectTarget(which);
        editPanel();
        const std::vector<u16> shown = snapshot().shown;
        press(PANEL_SEND);
        expectTimeoutReported();
        EXPECT_EQ(snapshot().shown, shown) << "the operator's edits stay on the panel";
        EXPECT_EQ(pp[2], 77) << "pp holds the panel values, ready for the next SEND";
    }
}

TEST_F(PtyFaultTest, RepliesSplitIntoSmallWritesAreAccepted) {
    ASSERT_TRUE(startSim({"--fault", "split:7", "--fault", "split:3", "--fault", "split:5"}));
    openPort();
    EXPECT_EQ(popups.count("INFO"), 0);
    EXPECT_EQ(text(PANEL_STATUS).rfind(sensorsim::kIdentText, 0), 0u) << text(PANEL_STATUS);
    const auto defaults = sensorsim::FactoryDefaults();
    EXPECT_EQ(std::vector<u16>(pp.begin(), pp.end()),
              std::vector<u16>(defaults.begin(), defaults.end()))
        << "the 180-byte block in 3-byte pieces is read whole";

    when([] { return dataR + dataG + dataB > 0; },
         [this] { CBF_ButtonStop(panel, PANEL_STOP, EVENT_COMMIT, nullptr, 0, 0); });
    press(PANEL_GO);
    EXPECT_EQ(popups.count("INFO"), 0);
    EXPECT_NE(text(PANEL_STATUS), "TIMEOUT");
    EXPECT_EQ(u16Val(PANEL_INT), dataINT);
    EXPECT_GT(dataR + dataG + dataB, 0) << "split data records are shown";
}

TEST_F(PtyFaultTest, GarbledRepliesOfTheRightLengthAreRefusedWithoutHarm) {
    // The frames carry no checksum. A scrambled identification is only text; a scrambled block
    // is caught by reading it twice, a scrambled record by its own RED, GREEN and BLUE.
    ASSERT_TRUE(startSim({"--fault", "garble:7", "--fault", "garble:3", "--fault", "garble:5"}));
    const auto before = pp;
    openPort();
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT") << "the two reads of RAM differ";
    EXPECT_EQ(pp, before);
    ASSERT_EQ(popups.count("INFO"), 1);
    const u16 shownCol = u16Val(PANEL_COL);
    later(400, [this] { CBF_ButtonStop(panel, PANEL_STOP, EVENT_COMMIT, nullptr, 0, 0); });
    press(PANEL_GO);
    EXPECT_EQ(popups.count("INFO"), 1) << "polling went on over every refused record";
    EXPECT_EQ(u16Val(PANEL_COL), shownCol) << "no garbled record is shown";
}

TEST_F(PtyFaultTest, PortOpeningFailuresNameTheirCause) {
    // No device behind the number.
    setenv("TINTARO_COM5", "/nonexistent/tintaro-sensor", 1);
    com = kPtyPort;
    InitRS232(com);
    EXPECT_EQ(ret, -6);
    EXPECT_EQ(text(PANEL_STATUS), "No serial port found");

    // The device is busy: already open through another number.
    ASSERT_TRUE(startSim({}));
    openPort();
    ASSERT_EQ(ret, 0);
    setenv("TINTARO_COM6", link.toLocal8Bit().constData(), 1);
    com = kPtyPort + 1;
    InitRS232(com);
    EXPECT_EQ(ret, -7);
    EXPECT_EQ(text(PANEL_STATUS), "Cannot open port");
    EXPECT_EQ(popups.count("INFO"), 0) << "an opening failure is shown in the status only";
    CloseCom(kPtyPort);

    // No permission: a user outside the tty group opens the pty (as root, in a child that
    // drops to nobody; as a user, after taking away the read and write bits).
    const QByteArray device = QFileInfo(link).canonicalFilePath().toLocal8Bit();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(100);
        } else if (chmod(device.constData(), 0) != 0) {
            _exit(101);
        }
        // The scene is honest only if the system itself refuses this user.
        const int fd = open(device.constData(), O_RDWR | O_NOCTTY);
        if (fd >= 0 || errno != EACCES)
            _exit(102);
        _exit(-OpenComConfig(kPtyPort + 1, device.constData(), 19200, 0, 8, 1, 1024, 1024));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(-WEXITSTATUS(status), -7);
    EXPECT_STREQ(ComErrorText(-7), "Cannot open port");
}

// ---- in-process faults where a pty adds nothing -------------------------------------------

TEST_F(FaultTest, LateReplyIsATimeoutAndDoesNotLeakIntoTheNextRead) {
    sensorsim::Faults faults;
    std::string error;
    ASSERT_TRUE(faults.add("late:4", &error)) << error;
    connect(faults);
    editPanel();
    const Snapshot before = snapshot();
    selectTarget(EEPROM);
    press(PANEL_GET);
    expectTimeoutReported();
    EXPECT_EQ(snapshot(), before);

    // The late block arrives meanwhile; the next read must not take it for its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    auto ram = model.ram();
    ram[14] = 4321;
    model.writeRam(ram);
    selectTarget(RAM);
    press(PANEL_GET);
    EXPECT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(pp[14], 4321) << "the RAM block, not the late EEPROM block";
}

TEST_F(FaultTest, WrongLengthDataRepliesEndPollingAndKeepEverything) {
    for (const char *fault : {"short:5", "long:5", "silence:5"}) {
        SCOPED_TRACE(fault);
        sensorsim::Faults faults;
        std::string error;
        ASSERT_TRUE(faults.add(fault, &error)) << error;
        connect(faults);
        popups.shown.clear();
        editPanel();
        const Snapshot before = snapshot();
        const auto history = alldata;
        press(PANEL_GO);
        EXPECT_EQ(poll, 0);
        expectTimeoutReported();
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(alldata, history) << "no record entered the history";
        CloseCom(1);
    }
}

TEST_F(FaultTest, GarbageOfTheWrongLengthIsRefused) {
    // A line full of noise: random bytes, never the length asked for.
    ScriptedDevice noise;
    std::mt19937 rng(7);
    noise.onRequest = [&](int, std::vector<char> &reply, std::vector<std::size_t> &pieces) {
        const std::size_t len = 1 + rng() % 300;
        reply.resize(len == 14 || len == 96 || len == 180 ? len + 1 : len);
        for (char &c : reply)
            c = static_cast<char>(rng());
        pieces.assign(1, reply.size());
    };
    AttachComDevice(1, &noise);
    com = 1;
    editPanel();
    const Snapshot before = snapshot();
    InitRS232(com);
    expectTimeoutReported();
    press(PANEL_GET);
    expectTimeoutReported(2);
    EXPECT_EQ(snapshot(), before);
}

// ---- parameter files ---------------------------------------------------------------------

class FileFaultTest : public FaultTest {
protected:
    void SetUp() override {
        FaultTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        selectTarget(DATFILE);
    }
    std::string write(const std::string &name, const std::string &content) {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string numbers(int count, const char *replaceLast = nullptr) {
        std::ostringstream os;
        for (int i = 0; i < count; ++i)
            os << (i == count - 1 && replaceLast ? replaceLast : std::to_string(i * 7)) << "\n";
        return os.str();
    }
    static std::string slurp(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    QTemporaryDir dir;
};

TEST_F(FileFaultTest, RefusedParameterFilesKeepTheEditsAndNameTheFile) {
    std::string binary(400, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 131 + 7);
    const std::pair<const char *, std::string> cases[] = {
        {"empty.dat", ""},
        {"truncated.dat", numbers(89)},
        {"cut.dat", numbers(90).substr(0, 200)},
        {"binary.dat", binary},
        {"ninety-one.dat", numbers(91)},
        {"negative.dat", numbers(90, "-1")},
        {"too-large.dat", numbers(90, "65536")},
        {"missing.dat", std::string()},
    };
    for (const auto &[name, content] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.path().toStdString() + "/" + name;
        if (std::string(name) != "missing.dat")
            write(name, content);
        popups.shown.clear();
        editPanel();
        const Snapshot before = snapshot();
        popups.fileAnswers.push_back(path);
        press(PANEL_GET);
        ASSERT_EQ(popups.count("INFO"), 1);
        const std::string &message = popups.shown.back().message;
        EXPECT_EQ(message.rfind(" ATTENTION! ", 0), 0u) << message;
        EXPECT_EQ(popups.shown.back().path, path) << "names the file: " << message;
        EXPECT_EQ(snapshot(), before);
    }
    // The same folder still loads a good file.
    popups.shown.clear();
    const auto good = sensorsim::FactoryDefaults();
    std::string goodText;
    for (auto w : good)
        goodText += std::to_string(w) + "\n";
    popups.fileAnswers.push_back(write("good.dat", goodText));
    press(PANEL_GET);
    EXPECT_EQ(popups.count("INFO"), 0);
    EXPECT_EQ(std::vector<u16>(pp.begin(), pp.end()), std::vector<u16>(good.begin(), good.end()));
}

// Makes `path` a folder nobody can add files to: immutable for root (whom permission bits do
// not stop), read-only for anyone else. Returns false when the file system cannot do it.
bool MakeUnwritable(const std::string &path, bool on) {
    if (geteuid() != 0)
        return chmod(path.c_str(), on ? 0555 : 0755) == 0;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

TEST_F(FileFaultTest, SaveIntoAnUnwritableFolderKeepsTheOldFile) {
    const std::string folder = dir.path().toStdString() + "/locked";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::string path = folder + "/init.dat";
    const std::string old = numbers(90);
    std::ofstream(path, std::ios::binary) << old;
    if (!MakeUnwritable(folder, true))
        GTEST_SKIP() << "this file system cannot lock a folder";
    const bool locked = !std::ofstream(folder + "/probe");
    if (!locked) {
        MakeUnwritable(folder, false);
        GTEST_SKIP() << "the folder stays writable here";
    }
    editPanel();
    popups.fileAnswers.push_back(path);
    press(PANEL_SEND);
    MakeUnwritable(folder, false);
    ASSERT_EQ(popups.count("INFO"), 1);
    const std::string &message = popups.shown.back().message;
    EXPECT_NE(message.find("NOT SAVED"), std::string::npos) << message;
    EXPECT_EQ(popups.shown.back().path, path) << message;
    EXPECT_EQ(slurp(path), old) << "the existing file is untouched";
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files).size(), 1)
        << "no temporary file left behind";
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 77) << "the edits stay on the panel";
}

TEST_F(FileFaultTest, SaveUnderAPathThatIsNoFolderIsReported) {
    popups.fileAnswers.push_back("/proc/version/init.dat");
    press(PANEL_SEND);
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown.back().path, "/proc/version/init.dat");
}

} // namespace
