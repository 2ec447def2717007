// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// RS-232 operations on numbered ports. An open number drives one device, chosen when it is
// opened: the in-process device attached to it, or a real port (SerialPortDevice). Polled
// without an event loop.
#include "platform/serial.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/private/log.h"
#include "platform/private/net_port_device.h"
#include "platform/private/serial_port_device.h"

using platform::Logged;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultQueue = 512;
// GetInQLen's longest wait for the line: the program's 2 s reply time-out stays accurate to it,
// and an idle reply wait costs some 70 wake-ups a second.
constexpr double kLineWaitSeconds = 0.015;
// The shortest quiet gap. A device faster than its baud rate may deliver a whole reply in one
// piece, which shows no pace at all. Measured on a pty, two bytes a process wrote right after a
// reply arrived apart from it in a third of 60,000 tries, 4 us later as a rule; a floor of
// 0.05 ms let 0.7 % of them through, 0.1 ms 0.02 %, 0.25 ms 0.01 % (bytes whose writer lost the
// processor for milliseconds). A poll loop on the fast simulator makes 4,400 transactions a
// second with 0.1 ms, 2,600 with 0.25 ms.
constexpr double kQuietGapFloor = 0.0001;
// Device reads per pull at most: a device that never pauses cannot hold a call.
constexpr int kMaxReadsPerPull = 16;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

Clock::duration Duration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Sleep(double seconds) {
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The input queue: a ring of the size given at opening, so receiving allocates nothing.
class InputQueue {
public:
    void reset(std::size_t capacity) {
        ring_.assign(capacity, '\0');
        head_ = size_ = 0;
    }
    void clear() { head_ = size_ = 0; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool full() const { return size_ == ring_.size(); }

    // Appends what fits; the rest is dropped, as a full input queue drops it.
    void push(const char *data, std::size_t n) {
        n = std::min(n, ring_.size() - size_);
        std::size_t tail = (head_ + size_) % std::max<std::size_t>(ring_.size(), 1);
        for (std::size_t done = 0; done < n;) {
            const std::size_t run = std::min(n - done, ring_.size() - tail);
            std::memcpy(&ring_[tail], data + done, run);
            done += run;
            tail = (tail + run) % ring_.size();
        }
        size_ += n;
    }
    // Moves up to `n` bytes out; returns the count.
    std::size_t take(char *out, std::size_t n) {
        n = std::min(n, size_);
        for (std::size_t done = 0; done < n;) {
            const std::size_t run = std::min(n - done, ring_.size() - head_);
            std::memcpy(out + done, &ring_[head_], run);
            done += run;
            head_ = (head_ + run) % ring_.size();
        }
        size_ -= n;
        return n;
    }

private:
    std::vector<char> ring_;
    std::size_t head_ = 0, size_ = 0;
};

struct Port {
    bool open = false;
    ComDevice *device = nullptr; // the attached device or `owned`
    std::unique_ptr<ComDevice> owned; // a real port or a network port
    InputQueue queue;
    std::size_t lastReported = 0; // queue length at the last GetInQLen
    double charSeconds = 10.0 / 19200.0;
    double timeoutSeconds = 5.0;
    // Bytes that arrived since the queue was last empty: how many, how many came first at once,
    // and when the first and the latest came. Their pace sets the quiet gap.
    std::size_t arrived = 0, firstBurst = 0;
    Clock::time_point firstArrival, lastArrival;
    // When the bytes written last have all left on the line at its baud rate: no answer to them
    // can begin sooner.
    Clock::time_point sentBy;

    void emptied() {
        queue.clear();
        lastReported = 0;
        arrived = firstBurst = 0;
    }
};

std::array<Port, kMaxComPort + 1> g_ports;
std::array<ComDevice *, kMaxComPort + 1> g_attached{};
double g_networkQuiet = 0.010; // seconds

bool ValidNumber(int port) {
    return port >= 1 && port <= kMaxComPort;
}

Port *OpenPort(int port) {
    if (!ValidNumber(port) || !g_ports[std::size_t(port)].open)
        return nullptr;
    return &g_ports[std::size_t(port)];
}

// The code for a call on a number that is not open.
int NotOpen(int port) {
    return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
}

// Moves what the device has delivered into the queue; what does not fit is dropped. Returns
// whether anything arrived.
bool Pull(Port &p) {
    char buf[512];
    std::size_t got = 0;
    for (int i = 0; i < kMaxReadsPerPull; ++i) {
        const std::size_t n = std::min(p.device->read(buf, sizeof buf), sizeof buf);
        if (n == 0)
            break;
        p.queue.push(buf, n);
        got += n;
    }
    if (got == 0)
        return false;
    const Clock::time_point now = Clock::now();
    if (p.arrived == 0) {
        p.firstArrival = now;
        p.firstBurst = got;
    }
    p.arrived += got;
    p.lastArrival = now;
    return true;
}

// The quiet time that ends a reply: two character times of the line, or two of the device's
// own mean byte intervals when it delivered what is waiting faster than its baud rate.
double QuietGap(const Port &p) {
    double gap = 2.0 * p.charSeconds;
    if (p.arrived > 0) {
        // The first burst's bytes came together; the later ones show the pace.
        const std::size_t later = p.arrived - p.firstBurst;
        const double mean =
            later > 0 ? Seconds(p.lastArrival - p.firstArrival) / double(later) : 0.0;
        if (mean < p.charSeconds)
            gap = 2.0 * mean;
    }
    // Below the floor, when a byte is seen depends more on the system than on the line. A
    // network port's bytes come in the server's packets: its gap covers their delay.
    return std::max({gap, kQuietGapFloor, p.device->quietGapFloor()});
}

// Whether what arrived since the queue was last empty came at the line's pace: two pulls or
// more, the later bytes at least half a character time apart on average (a device faster
// than its line delivers in bursts microseconds apart; a late wake-up halves one interval).
bool LinePaced(const Port &p) {
    const std::size_t later = p.arrived - std::min(p.arrived, p.firstBurst);
    if (later == 0)
        return false;
    const double mean = Seconds(p.lastArrival - p.firstArrival) / double(later);
    return mean >= 0.5 * p.charSeconds;
}

// Natural order: "ttyS2" before "ttyS10".
bool NaturalLess(const QString &a, const QString &b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            const qulonglong na = a.mid(i, ei - i).toULongLong();
            const qulonglong nb = b.mid(j, ej - j).toULongLong();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool IsUsbAdapter(const QString &name) {
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

} // namespace

bool ComDevice::waitForByte(double seconds) {
    const Clock::time_point until = Clock::now() + Duration(seconds);
    for (;;) {
        const double due = nextByteIn();
        if (due == 0.0)
            return true;
        const double left = Seconds(until - Clock::now());
        if (left <= 0)
            return false;
        if (due < 0) {
            Sleep(std::min(0.001, left)); // cannot tell: look again soon
        } else if (due > left) {
            Sleep(left);
            return false;
        } else {
            Sleep(due);
        }
    }
}

void ComDevice::discardInput() {
    // Bounded, so that a device that never pauses cannot hold the flush.
    char discard[256];
    for (int i = 0; i < 256 && read(discard, sizeof discard) > 0; ++i) {
    }
}

std::string ComPortDevice(int port) {
    if (!ValidNumber(port))
        return {};
    const std::string var = "TINTARO_COM" + std::to_string(port);
    if (const char *env = std::getenv(var.c_str()); env && *env)
        return env;
#ifdef Q_OS_WIN
    return "COM" + std::to_string(port);
#else
    QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo &a, const QSerialPortInfo &b) {
        const bool ua = IsUsbAdapter(a.portName()), ub = IsUsbAdapter(b.portName());
        if (ua != ub)
            return ua;
        return NaturalLess(a.portName(), b.portName());
    });
    if (port > ports.size())
        return {};
    return ports[port - 1].systemLocation().toStdString();
#endif
}

bool IsNetworkComDevice(const std::string &device) {
    return device.compare(0, 6, "tcp://") == 0 || device.compare(0, 10, "rfc2217://") == 0;
}

std::string ComStableName(const std::string &device) {
#ifdef Q_OS_LINUX
    if (device.empty() || IsNetworkComDevice(device))
        return {};
    const QString target = QFileInfo(QString::fromLocal8Bit(device.c_str())).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot,
                                                    QDir::Name)) {
        if (link.canonicalFilePath() == target && link.absoluteFilePath() != target)
            return link.absoluteFilePath().toStdString();
    }
#else
    (void)device;
#endif
    return {};
}

int SetComNetworkQuietGap(double seconds) {
    g_networkQuiet = std::clamp(seconds, 0.0, 1.0);
    return 0;
}

double ComNetworkQuietGap() {
    return g_networkQuiet;
}

int ComPortGone(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "ComPortGone(%d)", port);
    return p->device->connected() ? 0 : 1;
}

void AttachComDevice(int port, ComDevice *device) {
    if (!ValidNumber(port))
        return;
    Port &p = g_ports[std::size_t(port)];
    // A port still talking to the old device would use a dangling pointer.
    if (p.open && !p.owned && p.device != device)
        CloseCom(port);
    g_attached[std::size_t(port)] = device;
}

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int outQueueSize) {
    const char *name = deviceName ? deviceName : "";
    const auto fail = [&](int code) {
        return Logged(code, "OpenComConfig(%d, \"%s\", %ld, %d, %d, %d, %d, %d)", port, name,
                      baudRate, parity, dataBits, stopBits, inQueueSize, outQueueSize);
    };
    if (!ValidNumber(port))
        return fail(COM_INVALID_PORT);
    if (g_ports[std::size_t(port)].open)
        CloseCom(port);
    Port &p = g_ports[std::size_t(port)];
    p = Port{};

    platform::LineSettings line;
    line.baudRate = baudRate;
    line.parity = parity;
    line.dataBits = dataBits;
    line.stopBits = stopBits;
    line.readBuffer = inQueueSize > 0 ? inQueueSize : kDefaultQueue;
    line.timeoutSeconds = p.timeoutSeconds;
    if (!platform::ValidLineSettings(line))
        return fail(COM_UNKNOWN_SYSTEM_ERROR);

    if (!*name && g_attached[std::size_t(port)]) {
        p.device = g_attached[std::size_t(port)];
        p.device->setTimeout(p.timeoutSeconds);
        p.device->discardInput();
    } else {
        line.path = *name ? name : ComPortDevice(port);
        if (line.path.empty())
            return fail(COM_NO_PORT_FOUND);
        if (IsNetworkComDevice(line.path)) {
            platform::NetAddress address;
            if (!platform::ParseNetAddress(line.path, &address))
                return fail(COM_NO_PORT_FOUND);
            // A server's port is set over the network only with telnet; a raw one runs as its
            // server was configured, so only the sensor's own settings make sense there.
            auto device = std::make_unique<platform::NetPortDevice>(
                address, baudRate, std::size_t(line.readBuffer));
            if (const int opened = device->open(); opened != 0)
                return fail(opened);
            device->setTimeout(p.timeoutSeconds);
            p.owned = std::move(device);
        } else {
            auto device = std::make_unique<platform::SerialPortDevice>(line);
            if (const int opened = device->open(); opened != 0)
                return fail(opened);
            p.owned = std::move(device);
        }
        p.device = p.owned.get();
    }
    p.queue.reset(std::size_t(line.readBuffer));
    // Start, data, parity and stop bits.
    p.charSeconds = double(1 + dataBits + (parity != 0) + stopBits) / double(baudRate);
    p.open = true;
    return 0;
}

int CloseCom(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "CloseCom(%d)", port);
    *p = Port{}; // closes a real port
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "SetComTime(%d, %g)", port, timeoutSeconds);
    p->timeoutSeconds = std::clamp(timeoutSeconds, 0.0, 3600.0);
    p->device->present(); // a device that is back is reopened first, like at every call
    p->device->setTimeout(p->timeoutSeconds);
    return 0;
}

int SetCTSMode(int port, int mode) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "SetCTSMode(%d, %d)", port, mode);
    p->device->present(); // a device that is away takes the mode when it is reopened
    if (!p->device->setCtsFlowControl(mode != 0))
        return Logged(COM_RS232_ERROR, "SetCTSMode(%d, %d)", port, mode);
    return 0;
}

int FlushInQ(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "FlushInQ(%d)", port);
    if (p->device->present())
        p->device->discardInput();
    p->emptied();
    return 0;
}

int FlushOutQ(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "FlushOutQ(%d)", port);
    if (p->device->present())
        p->device->discardOutput();
    p->sentBy = Clock::now(); // what was not sent never will be
    return 0;
}

int ComWrt(int port, const char *buffer, int count) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "ComWrt(%d, %d)", port, count);
    if (!buffer || count <= 0)
        return 0;
    ComDevice &device = *p->device;
    if (!device.present())
        return Logged(COM_IO_ERROR, "ComWrt(%d, %d)", port, count);
    const std::size_t written =
        std::min(device.write(buffer, std::size_t(count)), std::size_t(count));
    if (written == 0 && !device.present())
        return Logged(COM_IO_ERROR, "ComWrt(%d, %d)", port, count); // went away meanwhile
    p->sentBy = std::max(p->sentBy, Clock::now()) + Duration(double(written) * p->charSeconds);
    return int(written);
}

namespace {

// GetInQLen's look at the line, for a port that is open: the bytes waiting, or COM_IO_ERROR
// (for the caller to log) when the device is away and nothing is waiting. It waits for a byte
// `wait` seconds at most.
int LookAtLine(Port &p, double wait = kLineWaitSeconds) {
    ComDevice &device = *p.device;
    bool there = device.present();
    if (there) {
        // The wait returns at once when the device holds bytes not pulled yet.
        if (p.queue.size() != p.lastReported || device.waitForByte(wait))
            Pull(p);
        there = device.present();
    } else {
        Sleep(kLineWaitSeconds);
    }
    p.lastReported = p.queue.size();
    return !there && p.queue.empty() ? COM_IO_ERROR : int(p.queue.size());
}

} // namespace

int GetInQLen(int port) {
    Port *p = OpenPort(port);
    if (!p) {
        Sleep(kLineWaitSeconds); // keeps a caller's reply wait from spinning
        return Logged(NotOpen(port), "GetInQLen(%d)", port);
    }
    const int n = LookAtLine(*p);
    return n < 0 ? Logged(n, "GetInQLen(%d)", port) : n;
}

int WaitInQLen(int port, int count) {
    Port *p = OpenPort(port);
    if (!p) {
        Sleep(kLineWaitSeconds);
        return Logged(NotOpen(port), "WaitInQLen(%d, %d)", port, count);
    }
    const std::size_t have = p->queue.size();
    // Bytes pulled since the last look say nothing about the pace yet: the look returns them.
    if (have == p->lastReported && have + 1 < std::size_t(std::max(count, 0)) && LinePaced(*p) &&
        p->device->nextByteIn() < 0)
        Sleep(std::min(double(std::size_t(count) - 1 - have) * p->charSeconds, kLineWaitSeconds));
    // Nothing yet while the request is still going out: the answer cannot start before it has
    // left, so the look may wait that long (a request of 184 bytes takes 96 ms at 19200 baud),
    // never longer than the port's time-out, instead of waking every 15 ms. Whatever comes
    // sooner (an echo, stray bytes) still ends the wait at once.
    double wait = kLineWaitSeconds;
    if (p->arrived == 0 && p->queue.empty())
        wait = std::max(wait, std::min(Seconds(p->sentBy - Clock::now()), p->timeoutSeconds));
    const int n = LookAtLine(*p, wait);
    return n < 0 ? Logged(n, "WaitInQLen(%d, %d)", port, count) : n;
}

int WaitComQuiet(int port, int limit) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "WaitComQuiet(%d, %d)", port, limit);
    ComDevice &device = *p->device;
    const Clock::time_point start = Clock::now();
    const Clock::time_point giveUp = start + Duration(p->timeoutSeconds);
    bool there = device.present();
    if (there)
        Pull(*p);
    while (there && p->queue.size() <= std::size_t(std::max(limit, 0)) && !p->queue.full()) {
        const Clock::time_point now = Clock::now();
        if (now >= giveUp)
            break;
        // Bytes already waiting came while this thread was not looking (a busy machine): the
        // line was not quiet, whatever the clock says now.
        const double due = device.nextByteIn();
        if (due == 0.0) {
            Pull(*p);
            there = device.present();
            continue;
        }
        const Clock::time_point quietAt =
            (p->arrived > 0 ? p->lastArrival : start) + Duration(QuietGap(*p));
        const double left = Seconds(std::min(quietAt, giveUp) - now);
        if (left <= 0)
            break;
        // A device that can tell waits exactly for its next byte, and not at all when none is
        // due within the gap.
        if (due > left)
            break;
        if (device.waitForByte(due >= 0 ? due : left))
            Pull(*p);
        there = device.present();
    }
    p->lastReported = p->queue.size();
    if (!there && p->queue.empty())
        return Logged(COM_IO_ERROR, "WaitComQuiet(%d, %d)", port, limit);
    return int(p->queue.size());
}

int ComRd(int port, char *buffer, int count) {
    Port *p = OpenPort(port);
    if (!p)
        return Logged(NotOpen(port), "ComRd(%d, %d)", port, count);
    if (!buffer || count <= 0)
        return 0;
    if (p->queue.size() < std::size_t(count) && p->device->present())
        Pull(*p);
    const std::size_t n = p->queue.take(buffer, std::size_t(count));
    if (p->queue.empty())
        p->emptied();
    p->lastReported = p->queue.size();
    return int(n);
}
