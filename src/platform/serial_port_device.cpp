// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A real serial port behind the serial layer's device interface.
#include "platform/private/serial_port_device.h"

#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_UNIX
#include "platform/private/fd_wait.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsUntil(Clock::time_point t) {
    return std::chrono::duration<double>(t - Clock::now()).count();
}

Clock::time_point After(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
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

#ifdef Q_OS_UNIX
// A hung-up tty (adapter unplugged, the pty's other side closed) reports these, and then every
// wait on it returns at once.
constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;
#endif

// Whether the port's device went away.
bool HungUp(QSerialPort &port, int fd) {
#ifdef Q_OS_UNIX
    (void)port;
    return (WaitOn(fd, POLLIN, 0) & kGone) != 0;
#else
    (void)fd;
    return port.error() == QSerialPort::ResourceError;
#endif
}

// Who a link is: its inode and when it was last changed. A link made anew (a restarted
// simulator's) differs from the one left dangling by a device that went away, even where it names
// the same target. Empty when the path is no link, and outside Linux (where a pty that went away
// is then not taken up again at all).
std::string LinkStamp(const std::string &path) {
#ifdef Q_OS_LINUX
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' +
           std::to_string(st.st_ctim.tv_sec) + '.' + std::to_string(st.st_ctim.tv_nsec);
#else
    (void)path;
    return {};
#endif
}

} // namespace

bool ValidLineSettings(const LineSettings &s) {
    return s.baudRate > 0 && s.baudRate <= 4000000 && s.parity >= 0 && s.parity <= 4 &&
           s.dataBits >= 5 && s.dataBits <= 8 && (s.stopBits == 1 || s.stopBits == 2);
}

SerialPortDevice::SerialPortDevice(LineSettings settings) : settings_(std::move(settings)) {}

SerialPortDevice::~SerialPortDevice() = default;

int SerialPortDevice::open() {
    if (!ValidLineSettings(settings_))
        return COM_UNKNOWN_SYSTEM_ERROR;
    QString path = QString::fromLocal8Bit(settings_.path.c_str());
    if (path.isEmpty())
        return COM_NO_PORT_FOUND;
#ifndef Q_OS_WIN
    const QFileInfo info(path);
    if (!info.exists())
        return COM_NO_PORT_FOUND;
    // Open the device a link names (the simulator's --link, /dev/serial/by-id/...) under its own
    // name, so that its lock file is the one every other user of the device sees. The link is
    // what settings_ keeps: after a restart it may name another device.
    if (info.isSymLink())
        path = info.canonicalFilePath();
    const bool pty = path.startsWith(QLatin1String("/dev/pts/"));
    const std::string linkStamp = LinkStamp(settings_.path);
#endif
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(path);
    // While an event loop runs, QSerialPort reads into this buffer; bounded, a device that
    // sends without pause cannot grow memory (the system's buffer fills, then drops or stalls).
    port->setReadBufferSize(settings_.readBuffer);
    if (!port->open(QIODevice::ReadWrite))
        return MapOpenError(port->error());
    const bool configured =
        port->setBaudRate(static_cast<qint32>(settings_.baudRate)) &&
        port->setParity(parities[settings_.parity]) &&
        port->setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
        port->setStopBits(settings_.stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop) &&
        port->setFlowControl(settings_.cts ? QSerialPort::HardwareControl
                                           : QSerialPort::NoFlowControl);
    if (!configured) {
        port->close();
        return COM_UNKNOWN_SYSTEM_ERROR;
    }
    port->clear(QSerialPort::AllDirections);
#ifdef Q_OS_LINUX
    // The quiet gap after each reply is two character times, about 1 ms at 19200 baud; the
    // default timer slack of this thread's waits (50 us) would lengthen every gap by up to 5 %.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
    fd_ = static_cast<int>(port->handle());
#ifndef Q_OS_WIN
    pty_ = pty;
    linkStamp_ = linkStamp;
#endif
    // While an event loop runs, QSerialPort watches the descriptor itself; a device that hangs
    // up then makes it fail to read over and over, a core busy until the next layer call. Close
    // the port from the event loop instead: within the port's own signal would pull it away
    // under its caller.
    QSerialPort *watched = port.get();
    QObject::connect(watched, &QSerialPort::errorOccurred, watched,
                     [this, watched](QSerialPort::SerialPortError error) {
                         if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
                             return;
                         QTimer::singleShot(0, watched, [this, watched] {
                             if (port_.get() == watched && HungUp(*watched, fd_))
                                 lose();
                         });
                     });
    port_ = std::move(port);
    return 0;
}

void SerialPortDevice::lose() {
    port_.reset(); // closes the descriptor and releases the lock file
    fd_ = -1;
}

bool SerialPortDevice::mayBeBack() const {
    if (!pty_)
        return true; // an adapter plugged in again keeps its name
    // A pty named directly never comes back; through a link, only when the link was made anew.
    return !linkStamp_.empty() && LinkStamp(settings_.path) != linkStamp_;
}

bool SerialPortDevice::present() {
    return port_ || (mayBeBack() && open() == 0);
}

#ifdef Q_OS_UNIX

std::size_t SerialPortDevice::write(const char *data, std::size_t count) {
    const auto deadline = After(settings_.timeoutSeconds);
    std::size_t done = 0;
    while (port_ && done < count) {
        const ssize_t n = ::write(fd_, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            lose();
            break;
        }
        // The system's output buffer is full (CTS holds the line): wait for room.
        const double left = SecondsUntil(deadline);
        if (left <= 0)
            break;
        if (WaitOn(fd_, POLLOUT, left) & kGone)
            lose();
    }
    return done;
}

std::size_t SerialPortDevice::read(char *data, std::size_t max) {
    if (!port_ || max == 0)
        return 0;
    std::size_t n = 0;
    // What QSerialPort took from the line while an event loop ran came first.
    if (port_->bytesAvailable() > 0) {
        const qint64 got = port_->read(data, static_cast<qint64>(max));
        n = got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (n < max) {
        const ssize_t got = ::read(fd_, data + n, max - n);
        if (got > 0)
            n += static_cast<std::size_t>(got);
        else if (got < 0 && errno != EAGAIN && errno != EINTR)
            lose();
    }
    return n;
}

std::size_t SerialPortDevice::available() {
    if (!port_)
        return 0;
    int system = 0;
    if (::ioctl(fd_, FIONREAD, &system) != 0)
        system = 0;
    return static_cast<std::size_t>(port_->bytesAvailable()) +
           static_cast<std::size_t>(std::max(system, 0));
}

bool SerialPortDevice::waitForByte(double seconds) {
    if (!port_) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return false;
    }
    if (port_->bytesAvailable() > 0)
        return true;
    const short seen = WaitOn(fd_, POLLIN, seconds);
    if (seen & kGone) {
        lose();
        return false;
    }
    return (seen & POLLIN) != 0;
}

#else // QSerialPort's own calls where there is no descriptor to wait on

std::size_t SerialPortDevice::write(const char *data, std::size_t count) {
    if (!port_)
        return 0;
    QSerialPort &s = *port_;
    const qint64 queued = s.write(data, static_cast<qint64>(count));
    if (queued < 0) {
        lose();
        return 0;
    }
    const auto deadline = After(settings_.timeoutSeconds);
    while (s.bytesToWrite() > 0) {
        const int left = static_cast<int>(SecondsUntil(deadline) * 1000.0);
        if (left <= 0 || (!s.waitForBytesWritten(left) && s.error() != QSerialPort::NoError &&
                          s.error() != QSerialPort::TimeoutError))
            break;
        s.clearError();
    }
    const qint64 pending = s.bytesToWrite();
    if (pending > 0)
        s.clear(QSerialPort::Output); // what missed the time-out is not sent later
    const bool gone = s.error() == QSerialPort::ResourceError;
    const auto written = static_cast<std::size_t>(queued - pending);
    if (gone)
        lose();
    return written;
}

std::size_t SerialPortDevice::read(char *data, std::size_t max) {
    if (!port_ || max == 0)
        return 0;
    if (port_->bytesAvailable() == 0)
        waitForByte(0);
    if (!port_)
        return 0;
    const qint64 got = port_->read(data, static_cast<qint64>(max));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t SerialPortDevice::available() {
    return port_ ? static_cast<std::size_t>(port_->bytesAvailable()) : 0;
}

bool SerialPortDevice::waitForByte(double seconds) {
    if (!port_) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return false;
    }
    if (port_->bytesAvailable() > 0)
        return true;
    port_->waitForReadyRead(static_cast<int>(seconds * 1000.0));
    if (port_->error() == QSerialPort::ResourceError) {
        lose();
        return false;
    }
    port_->clearError();
    return port_->bytesAvailable() > 0;
}

#endif

double SerialPortDevice::nextByteIn() {
    // A line cannot tell when its next byte comes; a wait on it returns as soon as one does.
    return port_ && port_->bytesAvailable() > 0 ? 0.0 : kUnknown;
}

void SerialPortDevice::discardInput() {
    if (port_)
        port_->clear(QSerialPort::Input); // QSerialPort's buffer and the system's
}

void SerialPortDevice::discardOutput() {
    if (port_)
        port_->clear(QSerialPort::Output);
}

void SerialPortDevice::setTimeout(double seconds) {
    settings_.timeoutSeconds = seconds;
}

bool SerialPortDevice::setCtsFlowControl(bool on) {
    if (port_ &&
        !port_->setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl))
        return false;
    settings_.cts = on; // also for a reopening: a mode the port refused would make it fail
    return true;
}

} // namespace platform
