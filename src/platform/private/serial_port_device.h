// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A real serial port behind the serial layer's device interface.
#pragma once

#include <memory>
#include <string>

#include "platform/serial.h"

class QSerialPort;

namespace platform {

// What a port was opened with, kept so that a device that went away can be reopened alike.
struct LineSettings {
    std::string path; // as given: a link is followed again at each opening
    long baudRate = 19200;
    int parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 1;
    int readBuffer = 512; // bound of the port's own read buffer, in bytes
    double timeoutSeconds = 5.0;
    bool cts = false;
};

// Whether a line can take these settings.
bool ValidLineSettings(const LineSettings &s);

// A serial port on QSerialPort. Reads and waits go to the descriptor: without an event loop
// QSerialPort takes bytes only inside its own wait, which reports every quiet moment as an
// error. While an event loop runs (a modal pop-up), QSerialPort reads into its own buffer, bounded
// to the input queue size; read() takes those bytes first. When the device goes away the port
// is closed, so that waits sleep instead of returning at once, and present() reopens it once the
// device path is back. A pty never comes back: once its other side has closed it is gone, and a
// later pty of the same number belongs to someone else. A pty is therefore taken up again only
// through a link that was made anew since it was opened (a restarted simulator's).
class SerialPortDevice final : public ComDevice {
public:
    explicit SerialPortDevice(LineSettings settings);
    ~SerialPortDevice() override;
    SerialPortDevice(const SerialPortDevice &) = delete;
    SerialPortDevice &operator=(const SerialPortDevice &) = delete;

    // Opens the device; 0, COM_NO_PORT_FOUND, COM_CANNOT_OPEN or COM_UNKNOWN_SYSTEM_ERROR.
    int open();

    std::size_t write(const char *data, std::size_t count) override;
    std::size_t read(char *data, std::size_t max) override;
    std::size_t available() override;
    double nextByteIn() override;
    bool waitForByte(double seconds) override;
    void discardInput() override;
    void discardOutput() override;
    void setTimeout(double seconds) override;
    bool setCtsFlowControl(bool on) override;
    bool present() override;
    bool connected() override { return port_ != nullptr; }

private:
    // The device went away: close, keep the settings.
    void lose();

    // Whether the device that went away may be the one the path names now.
    bool mayBeBack() const;

    LineSettings settings_;
    std::unique_ptr<QSerialPort> port_; // null while the device is away
    int fd_ = -1;
    bool pty_ = false;      // the device last opened is a pty
    std::string linkStamp_; // the link it was opened through (inode, change time); empty if none
};

} // namespace platform
