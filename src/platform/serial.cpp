// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// RS-232 operations on numbered ports over QSerialPort, polled without an event loop.
#include "platform/serial.h"

#ifdef __unix__
#include <poll.h>
#endif

#include <QByteArray>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

namespace {

constexpr int kDefaultQueue = 512;
constexpr int kIdleWaitMs = 1; // GetInQLen's wait when nothing new has come

struct Port {
    bool open = false;
    std::unique_ptr<QSerialPort> serial;
    ComDevice *device = nullptr;
    std::deque<char> queue;
    std::size_t cap = kDefaultQueue;
    std::size_t lastReported = 0; // queue length at the last GetInQLen
    int timeoutMs = 5000;
};

std::array<Port, kMaxComPort + 1> g_ports;
std::array<ComDevice *, kMaxComPort + 1> g_attached{};

bool ValidNumber(int port) {
    return port >= 1 && port <= kMaxComPort;
}

Port *OpenPort(int port) {
    if (!ValidNumber(port) || !g_ports[std::size_t(port)].open)
        return nullptr;
    return &g_ports[std::size_t(port)];
}

// A device that went away (unplugged adapter, simulator ended) answers every wait at once;
// closing it lets the callers' waits sleep instead of spinning. The number stays open, so the
// program keeps getting errors until it opens the port again.
void DropDeadLine(Port &p) {
    // A hung-up tty reports its failed read as ReadError, an unplugged one as ResourceError.
    const QSerialPort::SerialPortError e = p.serial->error();
    if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError)
        p.serial->close();
    p.serial->clearError();
}

// Moves what the line has delivered into the queue; what does not fit is dropped, as a full
// input queue drops it. Without an event loop the port takes bytes from the system only inside
// its wait call: `waitMs` is how long that call may wait for the first new byte.
void Pull(Port &p, int waitMs = 0) {
    char buf[512];
    if (p.device) {
        while (std::size_t n = p.device->read(buf, sizeof buf)) {
            for (std::size_t i = 0; i < n && p.queue.size() < p.cap; ++i)
                p.queue.push_back(buf[i]);
        }
        return;
    }
    if (!p.serial->isOpen())
        return;
    if (p.serial->bytesAvailable() == 0) {
#ifdef __unix__
        // Wait on the descriptor itself: the port's own wait reports every quiet millisecond
        // as an error, which costs more than the wait. It is called only when bytes are there.
        pollfd line{static_cast<int>(p.serial->handle()), POLLIN, 0};
        if (::poll(&line, 1, waitMs) <= 0)
            return;
        p.serial->waitForReadyRead(0);
#else
        p.serial->waitForReadyRead(waitMs);
#endif
    }
    const QByteArray data = p.serial->readAll();
    for (char c : data) {
        if (p.queue.size() >= p.cap)
            break;
        p.queue.push_back(c);
    }
    DropDeadLine(p);
}

void WaitForLine(Port *p) {
    if (!p) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
        return;
    }
    if (p->serial) {
        if (p->serial->isOpen())
            p->serial->waitForReadyRead(kIdleWaitMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
        return;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdleWaitMs);
    while (p->device->available() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(1000));
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

int MapOpenError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return COM_NO_PORT_FOUND;
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::ResourceError:
        return COM_CANNOT_OPEN;
    default:
        return COM_UNKNOWN_SYSTEM_ERROR;
    }
}

bool Configure(QSerialPort &s, long baudRate, int parity, int dataBits, int stopBits) {
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    if (baudRate <= 0 || baudRate > 4000000 || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return false;
    return s.setBaudRate(qint32(baudRate)) && s.setParity(parities[parity]) &&
           s.setDataBits(QSerialPort::DataBits(dataBits)) &&
           s.setStopBits(stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop) &&
           s.setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace

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

void AttachComDevice(int port, ComDevice *device) {
    if (!ValidNumber(port))
        return;
    Port &p = g_ports[std::size_t(port)];
    // A port still talking to the old device would use a dangling pointer.
    if (p.open && p.device && p.device != device)
        CloseCom(port);
    g_attached[std::size_t(port)] = device;
}

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int /*outQueueSize*/) {
    if (!ValidNumber(port))
        return COM_INVALID_PORT;
    if (g_ports[std::size_t(port)].open)
        CloseCom(port);
    Port &p = g_ports[std::size_t(port)];
    p = Port{};
    p.cap = inQueueSize > 0 ? std::size_t(inQueueSize) : kDefaultQueue;

    const bool named = deviceName && *deviceName;
    if (!named && g_attached[std::size_t(port)]) {
        p.device = g_attached[std::size_t(port)];
        char discard[256];
        while (p.device->read(discard, sizeof discard) > 0) {
        }
        p.open = true;
        return 0;
    }

    QString path = QString::fromLocal8Bit(named ? deviceName : ComPortDevice(port).c_str());
    if (path.isEmpty())
        return COM_NO_PORT_FOUND;
#ifndef Q_OS_WIN
    // The simulator's link names a pty; open the device itself.
    const QFileInfo info(path);
    if (!info.exists())
        return COM_NO_PORT_FOUND;
    if (info.isSymLink())
        path = info.canonicalFilePath();
#endif
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(path);
    if (!serial->open(QIODevice::ReadWrite))
        return MapOpenError(serial->error());
    if (!Configure(*serial, baudRate, parity, dataBits, stopBits)) {
        serial->close();
        return COM_UNKNOWN_SYSTEM_ERROR;
    }
    serial->clear(QSerialPort::AllDirections);
    p.serial = std::move(serial);
    p.open = true;
    return 0;
}

int CloseCom(int port) {
    if (!ValidNumber(port))
        return COM_INVALID_PORT;
    Port *p = OpenPort(port);
    if (!p)
        return COM_PORT_NOT_OPEN;
    if (p->serial)
        p->serial->close();
    *p = Port{};
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    p->timeoutMs = int(std::clamp(timeoutSeconds, 0.0, 3600.0) * 1000.0);
    return 0;
}

int SetCTSMode(int port, int mode) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    if (p->serial && !p->serial->setFlowControl(mode ? QSerialPort::HardwareControl
                                                     : QSerialPort::NoFlowControl))
        return COM_RS232_ERROR;
    return 0;
}

int FlushInQ(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    if (p->serial) {
        if (p->serial->isOpen()) {
            p->serial->readAll();
            p->serial->clear(QSerialPort::Input);
        }
    } else {
        char discard[256];
        while (p->device->read(discard, sizeof discard) > 0) {
        }
    }
    p->queue.clear();
    p->lastReported = 0;
    return 0;
}

int FlushOutQ(int port) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    if (p->serial && p->serial->isOpen())
        p->serial->clear(QSerialPort::Output);
    return 0;
}

int ComWrt(int port, const char *buffer, int count) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    if (!buffer || count <= 0)
        return 0;
    if (p->device)
        return int(std::min<std::size_t>(p->device->write(buffer, std::size_t(count)),
                                         std::size_t(count)));
    QSerialPort &s = *p->serial;
    if (!s.isOpen())
        return COM_IO_ERROR;
    const qint64 queued = s.write(buffer, count);
    if (queued < 0)
        return COM_IO_ERROR;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(p->timeoutMs);
    while (s.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || (!s.waitForBytesWritten(int(left)) && s.error() != QSerialPort::NoError &&
                          s.error() != QSerialPort::TimeoutError))
            break;
        s.clearError();
    }
    const qint64 pending = s.bytesToWrite();
    if (pending > 0)
        s.clear(QSerialPort::Output); // what missed the time-out is not sent later
    DropDeadLine(*p);
    return int(queued - pending);
}

int GetInQLen(int port) {
    Port *p = OpenPort(port);
    if (!p) {
        WaitForLine(nullptr); // keeps a caller's reply wait from spinning
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    }
    if (p->serial) {
        // One system call per look at the line: it returns as soon as a byte comes, or after
        // about a millisecond when the queue holds nothing new.
        Pull(*p, p->queue.size() == p->lastReported && p->serial->isOpen() ? kIdleWaitMs : 0);
        if (!p->serial->isOpen() && p->queue.size() == p->lastReported)
            WaitForLine(p);
    } else {
        Pull(*p);
        if (p->queue.size() == p->lastReported) {
            WaitForLine(p);
            Pull(*p);
        }
    }
    if (p->serial && !p->serial->isOpen() && p->queue.empty())
        return COM_IO_ERROR; // the device went away
    p->lastReported = p->queue.size();
    return int(p->queue.size());
}

int ComRd(int port, char *buffer, int count) {
    Port *p = OpenPort(port);
    if (!p)
        return ValidNumber(port) ? COM_PORT_NOT_OPEN : COM_INVALID_PORT;
    if (!buffer || count <= 0)
        return 0;
    if (p->queue.size() < std::size_t(count))
        Pull(*p);
    const std::size_t n = std::min(p->queue.size(), std::size_t(count));
    std::copy_n(p->queue.begin(), n, buffer);
    p->queue.erase(p->queue.begin(), p->queue.begin() + std::ptrdiff_t(n));
    p->lastReported = p->queue.size();
    return int(n);
}
