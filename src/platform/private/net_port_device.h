// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A serial line carried over TCP by a device server: raw bytes (tcp://HOST:PORT) or telnet with
// the COM port control option of RFC 2217 (rfc2217://HOST:PORT).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial.h"

namespace platform {

struct NetAddress {
    bool telnet = false; // rfc2217://
    std::string host;
    int port = 0;
};

// Parses "tcp://HOST:PORT" and "rfc2217://HOST:PORT" (an IPv6 host in brackets); false for
// anything else, a port outside 1..65535 included.
bool ParseNetAddress(const std::string &text, NetAddress *out);

// The telnet side of a connection, without the socket: what the client says at the start,
// how data goes out (IAC doubled) and how the server's stream comes in (commands taken out).
class TelnetCodec {
public:
    TelnetCodec();

    // The server's answers to the COM port settings, as they came (-1 while none).
    struct ComAnswers {
        long baud = -1;
        int dataSize = -1, parity = -1, stopSize = -1, control = -1;
    };

    // The client's offers: BINARY both ways, SUPPRESS-GO-AHEAD, COM-PORT-OPTION.
    static std::string Greeting();
    // The settings the sensor's line needs: 19200 baud, 8 data bits, no parity, 1 stop bit,
    // no flow control.
    static std::string ComSettings(long baud);
    // PURGE-DATA: 1 the server's receive buffer (from the line), 2 its transmit buffer.
    static std::string Purge(int which);
    // The data with each IAC byte doubled.
    static std::string Escape(const char *data, std::size_t count);

    // Takes bytes from the server; appends the data bytes to `data` and what must be answered
    // (negotiation replies) to `reply`.
    void feed(const char *in, std::size_t count, std::string *data, std::string *reply);

    // The server agreed to COM-PORT-OPTION (DO), refused it (DONT), or has not answered.
    enum class Com { Unknown, Agreed, Refused };
    Com comOption() const { return com_; }
    const ComAnswers &answers() const { return answers_; }

private:
    enum class State { Data, Iac, Will, Wont, Do, Dont, Sub, SubIac };
    void option(State verb, unsigned char opt, std::string *reply);
    void subnegotiation();

    State state_ = State::Data;
    std::vector<unsigned char> sub_;
    Com com_ = Com::Unknown;
    ComAnswers answers_;
    // Options already answered, so that a server repeating itself gets no new answer (loops).
    bool weSaid_[256] = {};
    bool theySaid_[256] = {};
    bool weStopped_[256] = {};
};

// A device server's port behind the serial layer's device interface, on a POSIX socket polled
// like the serial device's descriptor (no event loop). Connecting, resolving the host included,
// has its own time-out. A connection the server closes is a device gone: present() connects
// again, at most once a second while the server refuses or does not answer.
class NetPortDevice final : public ComDevice {
public:
    static constexpr double kConnectTimeout = 2.0;

    NetPortDevice(NetAddress address, long baudRate, std::size_t readBuffer);
    ~NetPortDevice() override;
    NetPortDevice(const NetPortDevice &) = delete;
    NetPortDevice &operator=(const NetPortDevice &) = delete;

    // Connects (and with telnet negotiates and sets the line). 0, COM_NO_PORT_FOUND (the host
    // cannot be resolved), COM_CANNOT_OPEN (refused, no answer in time) or
    // COM_UNKNOWN_SYSTEM_ERROR (the server refused the COM port option or the line settings).
    int open();

    std::size_t write(const char *data, std::size_t count) override;
    std::size_t read(char *data, std::size_t max) override;
    std::size_t available() override;
    double nextByteIn() override;
    bool waitForByte(double seconds) override;
    void discardInput() override;
    void discardOutput() override;
    void setTimeout(double seconds) override { timeout_ = seconds; }
    bool setCtsFlowControl(bool on) override { return !on; } // the server's port runs without
    bool present() override;
    bool connected() override { return fd_ >= 0; }
    double quietGapFloor() override;

private:
    void lose();
    // Waits up to `seconds` for the socket and takes what came; false when the connection is
    // gone. Stops early once a data byte is in, or with !untilData once anything came.
    bool receive(double seconds, bool untilData = true);
    bool sendAll(const std::string &bytes, double seconds);
    // Sends the telnet commands held for the next write; false when the connection is gone.
    bool sendPending();
    // Holds a telnet PURGE-DATA (1 the server's receive buffer, 2 its transmit buffer).
    void holdPurge(int which);
    void ackAtOnce();
    int negotiate();

    NetAddress address_;
    long baud_;
    std::size_t cap_;
    double timeout_ = 5.0;
    int fd_ = -1;
    double retryAt_ = 0.0;   // monotonic seconds before which present() does not connect again
    std::string in_;         // data bytes received, not yet read
    std::string pendingOut_; // telnet purges that go out with the next write
    TelnetCodec telnet_;
};

} // namespace platform
