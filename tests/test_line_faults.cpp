// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Faults on the line itself: stray bytes after a reply, a device that floods the line, one that
// is unplugged and plugged in again, and reply waits that must sleep instead of spinning.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "line/line.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "sim_device.h"

namespace {

using namespace sensorsim;
using Clock = std::chrono::steady_clock;

// Numbers no other test uses, so that a port left open by a failed test harms no other.
constexpr int kInProcessPort = 11;
constexpr int kPtyPort = 12;
constexpr int kFloodPort = 13;
constexpr double kReplyTimeout = 2.0;

std::string Request(int order) {
    std::string f(kFrameBytes, '\0');
    f[1] = 0x55;
    f[3] = char(order);
    return f;
}

int OpenLine(int port, const char *device = "", int inQueue = 1024) {
    const int opened = OpenComConfig(port, device, 19200, 0, 8, 1, inQueue, 1024);
    if (opened == 0)
        SetComTime(port, kReplyTimeout);
    return opened;
}

// One transaction as the program makes it: flush, request, wait up to 2 s for the reply's
// length, then the quiet gap when that length is there; reads what is waiting. Returns the count
// the wait ended with (a negative code when the line failed).
int Transact(int port, int order, int expected) {
    FlushInQ(port);
    FlushOutQ(port);
    const std::string request = Request(order);
    const int written = ComWrt(port, request.data(), int(request.size()));
    if (written < 0)
        return written;
    const double begin = Timer();
    int n = 0;
    do {
        n = GetInQLen(port);
    } while (Timer() - begin <= kReplyTimeout && n < expected);
    if (n == expected)
        n = WaitComQuiet(port, expected);
    // The wait ends at the first byte too many; the rest of a long reply would run into the
    // next one, so the test lets it come before going on.
    if (n > expected)
        WaitComQuiet(port, 1024);
    char buf[1024];
    ComRd(port, buf, std::clamp(n, 0, int(sizeof buf)));
    return n;
}

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// tintaro-sensor-sim on a pty behind `link`, started when asked; the traffic log is beside it.
class Simulator {
public:
    explicit Simulator(QString link) : link_(std::move(link)) {}

    bool start(const QStringList &extra) {
        sim_ = std::make_unique<testsupport::SimProcess>(extra, link_);
        return sim_->started;
    }
    // The sensor is unplugged: the simulator dies without a word and leaves its link dangling.
    void unplug() {
        if (sim_)
            sim_->kill();
    }
    QString log() const { return link_ + ".log"; }

private:
    QString link_;
    std::unique_ptr<testsupport::SimProcess> sim_;
};

// An in-process device whose bytes get ready at set times and which tells the layer when the next
// is due. Counts how often the layer looks at it and waits on it.
class TimedDevice : public ComDevice {
public:
    // Bytes that get ready `delay` seconds from now, `spacing` apart.
    void send(const std::string &bytes, double delay, double spacing = 0.0) {
        Clock::time_point at = Clock::now() + Seconds(delay);
        for (char c : bytes) {
            pending_.emplace_back(c, at);
            at += Seconds(spacing);
        }
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const auto &a, const auto &b) { return a.second < b.second; });
    }

    std::size_t write(const char *, std::size_t count) override { return count; }
    std::size_t read(char *data, std::size_t max) override {
        std::size_t n = 0;
        while (n < max && !pending_.empty() && pending_.front().second <= Clock::now()) {
            data[n++] = pending_.front().first;
            pending_.pop_front();
        }
        return n;
    }
    std::size_t available() override {
        return std::size_t(std::count_if(pending_.begin(), pending_.end(),
                                         [](const auto &b) { return b.second <= Clock::now(); }));
    }
    double nextByteIn() override {
        ++looks;
        if (!tells)
            return available() > 0 ? 0.0 : kUnknown;
        if (pending_.empty())
            return kNever;
        return std::max(
            0.0, std::chrono::duration<double>(pending_.front().second - Clock::now()).count());
    }
    bool waitForByte(double seconds) override {
        ++waits;
        return ComDevice::waitForByte(seconds);
    }

    void clear() { pending_.clear(); }

    long looks = 0;
    long waits = 0;
    bool tells = true; // false: like a real line, it cannot say when its next byte comes

private:
    static Clock::duration Seconds(double s) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    }
    std::deque<std::pair<char, Clock::time_point>> pending_;
};

// A device that sends without pause.
class FloodDevice : public ComDevice {
public:
    std::size_t write(const char *, std::size_t count) override { return count; }
    std::size_t read(char *data, std::size_t max) override {
        std::memset(data, 0x5A, max);
        return max;
    }
    std::size_t available() override { return 1 << 20; }
};

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace

// ---- the quiet gap after a reply --------------------------------------------------------------

TEST(QuietGap, StrayBytesAfterAReplyFromTheInProcessSimulatorMakeItTooLong) {
    for (const bool paced : {false, true}) {
        SCOPED_TRACE(paced ? "paced" : "unpaced");
        SensorModel model;
        Faults faults;
        std::string error;
        ASSERT_TRUE(faults.add("long:5", &error)) << error;
        SimComDevice device(model, faults, paced);
        AttachComDevice(kInProcessPort, &device);
        ASSERT_EQ(OpenLine(kInProcessPort), 0);
        // Unpaced, both stray bytes are there at once. Paced, the wait ends at the first one,
        // or later at both when the machine held this thread meanwhile: too long either way.
        for (int i = 0; i < 3; ++i) {
            const int n = Transact(kInProcessPort, 5, 14);
            if (paced)
                EXPECT_GT(n, 14) << "record " << i;
            else
                EXPECT_EQ(n, 16) << "record " << i;
        }
        // Replies without stray bytes are exactly their length.
        EXPECT_EQ(Transact(kInProcessPort, 7, 96), 96);
        EXPECT_EQ(Transact(kInProcessPort, 3, 180), 180);
        CloseCom(kInProcessPort);
        AttachComDevice(kInProcessPort, nullptr);
    }
}

TEST(QuietGap, WaitsExactlyForADueByteAndNotAtAllWhenNoneIsDue) {
    TimedDevice device;
    AttachComDevice(kInProcessPort, &device);
    ASSERT_EQ(OpenLine(kInProcessPort), 0);
    const double byteTime = 10.0 / 19200.0;
    const std::string reply(14, 'r');

    // At line speed, two more bytes right behind the reply: they belong to it. The gap is set by
    // the pace the bytes were seen at; a thread held from its first look until the reply's end
    // sees them come at once, as from a device faster than its line, and rightly waits less.
    // Such a stall is no property of the wait: one of five tries must see the pace.
    bool waited = false;
    for (int i = 0; i < 5 && !waited; ++i) {
        device.send(reply + "xy", 0.0, byteTime);
        while (GetInQLen(kInProcessPort) < 14) {
        }
        // More than the limit waiting ends the wait.
        waited = WaitComQuiet(kInProcessPort, 14) > 14 && WaitComQuiet(kInProcessPort, 15) == 16;
        EXPECT_EQ(FlushInQ(kInProcessPort), 0);
        Delay(3 * byteTime); // whatever is still on its way comes and goes
        FlushInQ(kInProcessPort);
    }
    EXPECT_TRUE(waited) << "the wait ended before the bytes due within the gap";

    // The next bytes are due long after the gap: the reply is whole, without waiting for them.
    device.send(reply, 0.0, byteTime);
    device.send("late", 3600.0);
    while (GetInQLen(kInProcessPort) < 14) {
    }
    device.waits = 0;
    EXPECT_EQ(WaitComQuiet(kInProcessPort, 14), 14);
    EXPECT_EQ(device.waits, 0);

    // Nothing more on its way: no wait either.
    EXPECT_EQ(FlushInQ(kInProcessPort), 0);
    device.clear();
    device.send(reply, 0.0);
    EXPECT_EQ(GetInQLen(kInProcessPort), 14);
    device.waits = 0;
    EXPECT_EQ(WaitComQuiet(kInProcessPort, 14), 14);
    EXPECT_EQ(device.waits, 0);
    char buf[32];
    EXPECT_EQ(ComRd(kInProcessPort, buf, sizeof buf), 14);

    CloseCom(kInProcessPort);
    AttachComDevice(kInProcessPort, nullptr);
}

// Work done while a reply is awaited (the window program draws the record before) runs once, and
// what arrives meanwhile still counts: a reply that grew while the program was busy is refused.
TEST(QuietGap, WorkDoneWhileAwaitingAReplyHidesNoStrayBytes) {
    TimedDevice device;
    AttachComDevice(kInProcessPort, &device);
    ASSERT_EQ(OpenLine(kInProcessPort), 0);
    const double byteTime = 10.0 / 19200.0;
    const std::string reply(14, 'r');
    static int calls;
    static TimedDevice *meanwhileDevice;
    meanwhileDevice = &device;
    char buf[64];

    // The reply comes at line speed well after the first look.
    calls = 0;
    device.send(reply, 0.03, byteTime);
    EXPECT_EQ(line::WaitAndRead(kInProcessPort, 14, Timer(), buf, int(sizeof buf), nullptr,
                                [] { ++calls; }),
              14);
    EXPECT_EQ(calls, 1);

    // The reply is there at the first look; two more bytes come while the program is busy.
    FlushInQ(kInProcessPort);
    calls = 0;
    device.send(reply, 0.0);
    EXPECT_NE(line::WaitAndRead(kInProcessPort, 14, Timer(), buf, int(sizeof buf), nullptr,
                                [] {
                                    ++calls;
                                    meanwhileDevice->send("xy", 0.002, 10.0 / 19200.0);
                                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                }),
              14);
    EXPECT_EQ(calls, 1);

    CloseCom(kInProcessPort);
    AttachComDevice(kInProcessPort, nullptr);
}

TEST(QuietGap, FloodingDeviceCannotHoldTheWait) {
    FloodDevice device;
    AttachComDevice(kInProcessPort, &device);
    ASSERT_EQ(OpenLine(kInProcessPort), 0);
    SetComTime(kInProcessPort, 60.0); // a wait the flood held would last this long
    const Clock::time_point begin = Clock::now();
    EXPECT_GT(WaitComQuiet(kInProcessPort, 14), 14);
    EXPECT_EQ(FlushInQ(kInProcessPort), 0);
    EXPECT_EQ(WaitComQuiet(kInProcessPort, 5000), 1024) << "a full queue ends the wait too";
    EXPECT_EQ(GetInQLen(kInProcessPort), 1024);
    EXPECT_LT(SecondsSince(begin), 10.0);
    CloseCom(kInProcessPort);
    AttachComDevice(kInProcessPort, nullptr);
}

TEST(QuietGap, StrayBytesFromTheSimulatorOnAPtyMakeAReplyTooLong) {
    QTemporaryDir dir;
    const QString link = dir.path() + "/sensor";
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "--fast" : "paced");
        Simulator sim(link);
        QStringList args{"--fault", "long:5"};
        if (fast)
            args << "--fast";
        ASSERT_TRUE(sim.start(args));
        ASSERT_EQ(OpenLine(kPtyPort, link.toLocal8Bit().constData()), 0);

        EXPECT_EQ(Transact(kPtyPort, 7, 96), 96) << "a clean reply is exactly its length";
        int tooLong = 0;
        for (int i = 0; i < 10; ++i) {
            const int n = Transact(kPtyPort, 5, 14);
            EXPECT_GE(n, 14);
            tooLong += n > 14;
        }
        // Paced, the stray bytes follow one byte time after the reply's last; a simulator kept
        // from running for over a millisecond just then (a loaded machine) sends them too late
        // for any gap of the line, and a loaded machine may do that to any number of records.
        // A gap that is not waited for misses them all. Fast, they go out in one write with
        // the reply.
        EXPECT_GE(tooLong, fast ? 10 : 1);
        // The last record's stray bytes, if a busy machine held them past the gap, are put in
        // front of the next reply (and refused with it); the one after is clean.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int clean = Transact(kPtyPort, 7, 96);
        EXPECT_EQ(clean == 96 ? clean : Transact(kPtyPort, 7, 96), 96);
        CloseCom(kPtyPort);
    }
}

// ---- reply waits that sleep ------------------------------------------------------------------

TEST(ReplyWait, GetInQLenSleepsUntilTheNextByteIsDue) {
    TimedDevice device;
    AttachComDevice(kInProcessPort, &device);
    ASSERT_EQ(OpenLine(kInProcessPort), 0);

    // 200 ms with nothing on its way: a wait of about 15 ms per call, not one per millisecond.
    long calls = 0;
    const Clock::time_point begin = Clock::now();
    while (SecondsSince(begin) < 0.2) {
        EXPECT_EQ(GetInQLen(kInProcessPort), 0);
        ++calls;
    }
    EXPECT_LE(calls, 40);
    EXPECT_LE(device.looks, 40);

    // A byte due within the wait is waited for, and the call returns with it.
    device.send("a", 0.005);
    EXPECT_EQ(GetInQLen(kInProcessPort), 1);
    device.send("b", 0.004);
    EXPECT_EQ(GetInQLen(kInProcessPort), 2);

    CloseCom(kInProcessPort);
    AttachComDevice(kInProcessPort, nullptr);

    // A number that is not open keeps a caller's reply wait from spinning too.
    long failed = 0;
    const Clock::time_point closed = Clock::now();
    while (SecondsSince(closed) < 0.2) {
        EXPECT_EQ(GetInQLen(kInProcessPort), COM_PORT_NOT_OPEN);
        ++failed;
    }
    EXPECT_LE(failed, 40);
}

TEST(ReplyWait, AReplyAtTheLinesPaceCostsAFewWakeUpsAndAFasterOneNoDelay) {
    TimedDevice device;
    device.tells = false;
    AttachComDevice(kInProcessPort, &device);
    ASSERT_EQ(OpenLine(kInProcessPort), 0);
    const double byteTime = 10.0 / 19200.0;
    const std::string reply(96, 'r');
    // Sends the reply as `send` says and waits for it with `look`; returns how often the layer
    // waited on the device.
    const auto wakeUps = [&](const std::function<void()> &send, int (*look)(int, int)) {
        FlushInQ(kInProcessPort);
        send();
        device.waits = 0;
        const Clock::time_point begin = Clock::now();
        int n = 0;
        while ((n = look(kInProcessPort, 96)) < 96 && SecondsSince(begin) < 1.0) {
        }
        EXPECT_EQ(n, 96);
        return device.waits;
    };
    const auto atLinePace = [&] { device.send(reply, 0.0, byteTime); };

    // Each figure is the best of five: a busy machine that stalls this thread lets more bytes
    // arrive between looks, and a stall is no property of the wait.
    long perByte = 0;
    long paced = 1L << 30;
    for (int i = 0; i < 5; ++i) {
        perByte = std::max(perByte,
                           wakeUps(atLinePace, [](int port, int) { return GetInQLen(port); }));
        paced = std::min(paced, wakeUps(atLinePace, WaitInQLen));
    }
    EXPECT_LE(paced * 2, perByte) << "WaitInQLen woke " << paced << " times, GetInQLen "
                                  << perByte;

    // Bursts a fraction of a millisecond apart: a device faster than its line is not held to
    // the line's pace (which would cost a sleep of 15 ms).
    double fastest = 1.0;
    for (int i = 0; i < 10 && fastest >= 20 * byteTime; ++i) {
        const Clock::time_point begin = Clock::now();
        wakeUps(
            [&] {
                device.send(reply.substr(0, 40), 0.0);
                device.send(reply.substr(40), 0.0003);
            },
            WaitInQLen);
        fastest = std::min(fastest, SecondsSince(begin));
    }
    EXPECT_LT(fastest, 20 * byteTime);

    CloseCom(kInProcessPort);
    AttachComDevice(kInProcessPort, nullptr);
}

TEST(ReplyWait, OnAPtyTheWaitSleepsAndTheTimeOutHolds) {
    QTemporaryDir dir;
    const QString link = dir.path() + "/sensor";
    Simulator sim(link);
    ASSERT_TRUE(sim.start({"--fast", "--fault", "silence:5"}));
    ASSERT_EQ(OpenLine(kPtyPort, link.toLocal8Bit().constData()), 0);

    long calls = 0;
    const Clock::time_point begin = Clock::now();
    while (SecondsSince(begin) < 0.2) {
        EXPECT_EQ(GetInQLen(kPtyPort), 0);
        ++calls;
    }
    EXPECT_LE(calls, 40) << "each call waits on the line for a while";

    // An unanswered request: the program's wait ends at its time-out, give or take one wait.
    const Clock::time_point asked = Clock::now();
    EXPECT_EQ(Transact(kPtyPort, 5, 14), 0);
    const double waited = SecondsSince(asked);
    EXPECT_GE(waited, kReplyTimeout);
    EXPECT_LT(waited, 3.0);
    EXPECT_EQ(Transact(kPtyPort, 7, 96), 96) << "the line still answers";
    CloseCom(kPtyPort);
}

// ---- a device that goes away and comes back -------------------------------------------------

TEST(Replug, SimulatorRestartedOnTheSameLinkIsTakenUpWithoutOpeningAgain) {
    QTemporaryDir dir;
    const QString link = dir.path() + "/sensor";
    Simulator first(link);
    ASSERT_TRUE(first.start({"--fast"}));
    const QString firstDevice = QFileInfo(link).symLinkTarget();
    setenv("TINTARO_COM12", link.toLocal8Bit().constData(), 1);
    ASSERT_EQ(OpenLine(kPtyPort), 0);
    EXPECT_EQ(SetCTSMode(kPtyPort, 0), 0);
    EXPECT_EQ(Transact(kPtyPort, 7, 96), 96);

    first.unplug();

    // While it is away, the calls fail as documented.
    const std::string request = Request(7);
    EXPECT_EQ(ComWrt(kPtyPort, request.data(), int(request.size())), COM_IO_ERROR);
    EXPECT_EQ(GetInQLen(kPtyPort), COM_IO_ERROR);
    EXPECT_EQ(WaitComQuiet(kPtyPort, 96), COM_IO_ERROR);
    EXPECT_EQ(FlushInQ(kPtyPort), 0);
    char buf[8];
    EXPECT_EQ(ComRd(kPtyPort, buf, sizeof buf), 0);
    EXPECT_EQ(Transact(kPtyPort, 7, 96), COM_IO_ERROR);

    // Taking the pty number the simulator had makes the next one get another: the layer must
    // follow the link anew, not reopen the device it named before. The system frees the number a
    // little after the simulator's end.
    int holder = -1;
    for (int i = 0; i < 500 && holder < 0; ++i) {
        const int pty = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(pty, 0);
        if (QString::fromLocal8Bit(ptsname(pty)) == firstDevice)
            holder = pty;
        else
            ::close(pty), QThread::msleep(20);
    }
    Simulator second(link);
    ASSERT_TRUE(second.start({"--fast"}));
    EXPECT_NE(QFileInfo(link).symLinkTarget(), firstDevice) << "the test lost its point";
    EXPECT_EQ(Transact(kPtyPort, 7, 96), 96);
    EXPECT_EQ(Transact(kPtyPort, 5, 14), 14);
    QFile traffic(second.log());
    ASSERT_TRUE(traffic.open(QIODevice::ReadOnly));
    EXPECT_TRUE(traffic.readAll().contains(" RX 7 ")) << "the new simulator heard the request";

    EXPECT_EQ(CloseCom(kPtyPort), 0);
    unsetenv("TINTARO_COM12");
    if (holder >= 0)
        ::close(holder);
}

// A pty of the test's own: it holds the master side, the layer opens the other.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            name = ptsname(master);
    }
    ~Pty() {
        if (master >= 0)
            ::close(master);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    // What the layer wrote, up to `want` bytes, waiting at most `ms` for them.
    std::string heard(std::size_t want, int ms) {
        std::string got;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < want && Clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            ::poll(&p, 1, 10);
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, std::size_t(n));
        }
        return got;
    }

    int master = -1;
    std::string name;
};

// No answer can begin before the request has left the line: the wait for one sleeps that long
// instead of waking every 15 ms, and a byte that comes sooner (an echo) still ends it.
TEST(ReplyWait, WhileTheRequestIsGoingOutTheWaitSleepsAndAByteEndsIt) {
    Pty pty;
    ASSERT_FALSE(pty.name.empty());
    const std::string request(184, 'q');
    const auto ask = [&](long baud) {
        EXPECT_EQ(OpenComConfig(kPtyPort, pty.name.c_str(), baud, 0, 8, 1, 1024, 1024), 0);
        EXPECT_EQ(ComWrt(kPtyPort, request.data(), int(request.size())), 184);
        return Clock::now();
    };

    // 184 bytes at 19200 baud: 95.8 ms on the line, and nothing comes.
    const Clock::time_point asked = ask(19200);
    EXPECT_EQ(WaitInQLen(kPtyPort, 14), 0);
    EXPECT_GE(SecondsSince(asked), 184 * 10.0 / 19200.0);
    CloseCom(kPtyPort);
    pty.heard(184, 2000);

    // At 300 baud the request takes 6.1 s; the line echoes its first byte meanwhile.
    ask(300);
    const Clock::time_point looked = Clock::now();
    std::thread echo([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(::write(pty.master, "q", 1), 1);
    });
    EXPECT_EQ(WaitInQLen(kPtyPort, 14), 1);
    EXPECT_LT(SecondsSince(looked), 3.0) << "the echo ended the wait";
    echo.join();
    CloseCom(kPtyPort);
}

TEST(Replug, APtyThatIsGoneIsNotTakenUpWhenAnotherGetsItsNumber) {
    // A simulator that dies leaves its link naming its pty; the system gives that number to the
    // next pty anyone opens (another simulator, a terminal). The layer must not write requests
    // into it, nor lock it against its owner.
    QTemporaryDir dir;
    const std::string link = dir.path().toStdString() + "/sensor";
    const std::string request = Request(7);
    const int size = int(request.size());
    for (const bool throughLink : {true, false}) {
        SCOPED_TRACE(throughLink ? "opened through a link" : "opened by its name");
        auto first = std::make_unique<Pty>();
        ASSERT_FALSE(first->name.empty());
        const std::string gone = first->name;
        ::unlink(link.c_str());
        ASSERT_EQ(::symlink(gone.c_str(), link.c_str()), 0);
        ASSERT_EQ(OpenLine(kPtyPort, (throughLink ? link : gone).c_str()), 0);
        ASSERT_EQ(ComWrt(kPtyPort, request.data(), size), size);
        EXPECT_EQ(first->heard(request.size(), 1000), request);

        first.reset();
        EXPECT_EQ(GetInQLen(kPtyPort), COM_IO_ERROR);

        // The system gives the lowest free number, so the ones below are held until it comes.
        std::vector<std::unique_ptr<Pty>> below;
        std::unique_ptr<Pty> second;
        for (int i = 0; i < 100 && !second; ++i) {
            auto pty = std::make_unique<Pty>();
            ASSERT_FALSE(pty->name.empty());
            if (pty->name == gone)
                second = std::move(pty);
            else
                below.push_back(std::move(pty)), QThread::msleep(10);
        }
        if (!second) {
            CloseCom(kPtyPort);
            GTEST_SKIP() << "another process took " << gone;
        }
        EXPECT_EQ(ComWrt(kPtyPort, request.data(), size), COM_IO_ERROR);
        EXPECT_EQ(GetInQLen(kPtyPort), COM_IO_ERROR);
        EXPECT_EQ(second->heard(1, 200), "") << "a request went into another pty";

        if (throughLink) {
            // A link made anew names a pty served again: a restarted simulator's.
            ::unlink(link.c_str());
            ASSERT_EQ(::symlink(gone.c_str(), link.c_str()), 0);
            EXPECT_EQ(ComWrt(kPtyPort, request.data(), size), size);
            EXPECT_EQ(second->heard(request.size(), 1000), request);
        }
        EXPECT_EQ(CloseCom(kPtyPort), 0);
    }
}

TEST(Replug, DeviceThatHangsUpWhileAnEventLoopRunsLeavesTheLoopIdle) {
    // The operator sits at the panel (or a pop-up is up) when the sensor is unplugged: no layer
    // call comes for a while, and the event loop must not keep waking for the dead port.
    QTemporaryDir dir;
    const QString link = dir.path() + "/sensor";
    Simulator sim(link);
    ASSERT_TRUE(sim.start({"--fast"}));
    ASSERT_EQ(OpenLine(kPtyPort, link.toLocal8Bit().constData()), 0);
    EXPECT_EQ(Transact(kPtyPort, 7, 96), 96);

    long wakeups = 0;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    ASSERT_NE(dispatcher, nullptr);
    const auto counter =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
    QEventLoop loop;
    QTimer::singleShot(200, [&] { sim.unplug(); });
    QTimer::singleShot(1200, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(counter);
    EXPECT_LT(wakeups, 1000) << "the loop spun on the hung-up port";
    EXPECT_EQ(GetInQLen(kPtyPort), COM_IO_ERROR);
    CloseCom(kPtyPort);
}

// ---- a device that floods the line -----------------------------------------------------------

TEST(LineFlood, PtyFloodWhileAnEventLoopRunsKeepsMemoryFlatAndTheNextWaitBounded) {
    Pty pty;
    ASSERT_FALSE(pty.name.empty());
    const int master = pty.master;
    ASSERT_EQ(OpenLine(kFloodPort, pty.name.c_str(), 1024), 0);

    // A USB device that ignores the baud rate and sends without pause.
    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread flood([&] {
        char chunk[4096];
        std::memset(chunk, 0xA5, sizeof chunk);
        while (!stop) {
            const ssize_t n = ::write(master, chunk, sizeof chunk);
            if (n > 0) {
                sent += n;
                continue;
            }
            pollfd p{master, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
    });

    // A modal pop-up runs an event loop, and QSerialPort reads the line meanwhile. Measured from
    // where the process stands: run alone it starts at some 25 MB, after other tests (or under
    // AddressSanitizer) much higher.
    const long before = ResidentKiB();
    const long limit = before + 100 * 1024;
    long peak = before;
    QEventLoop loop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        peak = std::max(peak, ResidentKiB());
        if (peak > limit)
            loop.quit(); // no point in waiting for the machine to run out of memory
    });
    sampler.start(100);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    sampler.stop();
    EXPECT_LT(peak, limit) << "VmRSS kB; " << before << " kB before the flood";
    EXPECT_GT(sent.load(), 0);

    // Afterwards a transaction still ends within its time-out, whatever it makes of the flood.
    const Clock::time_point begin = Clock::now();
    const int n = Transact(kFloodPort, 5, 14);
    EXPECT_LT(SecondsSince(begin), kReplyTimeout + 1.0);
    EXPECT_NE(n, 14) << "a flood is no reply";

    stop = true;
    flood.join();
    CloseCom(kFloodPort);
}
