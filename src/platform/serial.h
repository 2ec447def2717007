// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// RS-232 operations on numbered ports, and the mapping of port numbers to devices.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>

// Results of OpenComConfig and the other serial operations.
enum {
    COM_UNKNOWN_SYSTEM_ERROR = -1,
    COM_INVALID_PORT = -2, // number outside 1..16
    COM_PORT_NOT_OPEN = -3,
    COM_IO_ERROR = -4,
    COM_RS232_ERROR = -5,
    COM_NO_PORT_FOUND = -6, // no device behind that number
    COM_CANNOT_OPEN = -7,   // device exists but is busy or not permitted
    COM_TIMEOUT = -99,
};

constexpr int kMaxComPort = 16;

// Every call below on a number outside 1..kMaxComPort returns COM_INVALID_PORT, and on a number
// that is not open COM_PORT_NOT_OPEN. Every negative result is logged (category
// "tintaro.platform", debug level) with the call, its arguments and the code.
//
// A port whose device went away (USB adapter pulled, simulator ended) stays open: while the
// device is away the calls below fail as stated, and the first call after it is back (same
// device path, a link is followed anew) reopens it with the settings it was opened with and
// the latest time-out and CTS mode. Bytes that were waiting are kept; what the line carried
// meanwhile is lost. A pseudo-terminal is back only through a link made anew since it was
// opened: a later pty of the same number belongs to someone else.

// Opens and configures a port. `deviceName` empty means the device the number maps to, or the
// device attached to the number (AttachComDevice). parity: 0 none, 1 odd, 2 even, 3 mark,
// 4 space; dataBits 5..8; stopBits 1 or 2. The input queue holds at most inQueueSize bytes
// (512 when not positive); what arrives beyond it is dropped, and the port's own read buffer is
// bounded to the same size. outQueueSize is not used. Opening an open number closes it first.
// Returns 0, COM_INVALID_PORT, COM_NO_PORT_FOUND (nothing behind the number or name),
// COM_CANNOT_OPEN (busy, not permitted) or COM_UNKNOWN_SYSTEM_ERROR (settings the line cannot
// take, or another failure); after a failure the number is not open.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int outQueueSize);
// Closes the port and drops what was waiting. Returns 0.
int CloseCom(int port);
// How long ComWrt may wait for the line to take its bytes (default 5 s; clamped to 0..3600 s),
// and the longest WaitComQuiet waits. Returns 0.
int SetComTime(int port, double timeoutSeconds);
// mode 0: no flow control; otherwise the line sends only while CTS is on. Returns 0, or
// COM_RS232_ERROR when the device refuses the mode.
int SetCTSMode(int port, int mode);
// Drops what was received and not read. Returns 0.
int FlushInQ(int port);
// Drops what was written and not yet sent. Returns 0.
int FlushOutQ(int port);
// Returns when the bytes are handed to the system or the time-out passed: the count written
// (what missed the time-out is not sent later; 0 when count is not positive), or COM_IO_ERROR
// when the device is away or went away before taking a byte.
int ComWrt(int port, const char *buffer, int count);
// Bytes waiting. When nothing new has arrived since the last call, it first waits for the line,
// returning as soon as a byte comes and after about 15 ms at most: a reply wait that calls it in
// a loop costs a few wake-ups instead of spinning a core, and its time-out stays accurate to
// those 15 ms. Returns the count (at most the input queue size), or COM_IO_ERROR when the
// device is away and nothing is waiting. Waits too when it fails, for the same reason.
int GetInQLen(int port);
// GetInQLen for a caller that awaits `count` bytes. Once a reply comes at the line's pace (from
// a device that cannot tell when its next byte is due, two bytes or more about a character
// time apart), the bytes still missing cannot come sooner than the line carries them: it
// sleeps until all but the last can be there (at most 15 ms) before it looks, so that a reply
// of n bytes costs a few wake-ups instead of n. The last byte is waited for as GetInQLen does,
// so that the quiet gap after it starts when it came. While nothing has arrived since the
// queue was last empty and the bytes written last can still be going out at the port's baud
// rate, it waits for the line until they have left (at most the port's time-out) instead of
// 15 ms: no answer to them can come sooner, and a byte that does (an echo, stray bytes) ends the
// wait at once. Returns as GetInQLen does.
int WaitInQLen(int port, int count);
// Waits until no byte has arrived for two character times of the line (start, data, parity and
// stop bits at the port's baud rate; at 19200 8N1 about 1.04 ms) and returns the bytes waiting,
// so that a caller that has the length it expects learns whether more follows. A device that
// delivered what is waiting faster than its baud rate (a pty, a USB device that ignores the
// rate) is held to its own pace instead: two of its mean byte intervals since the queue was last
// empty, at least 0.1 ms. An in-process device that tells when its next byte is due
// (ComDevice::nextByteIn) is waited for exactly that long, and not at all when none is due
// within the gap. Returns at once when more than `limit` bytes are waiting or the input queue
// is full (a flooding device cannot hold it), and never waits longer than the port's time-out.
// Returns the count, or COM_IO_ERROR when the device is away and nothing is waiting.
int WaitComQuiet(int port, int limit);
// Reads at most `count` waiting bytes without blocking; returns the count read (0 when count is
// not positive or nothing is waiting; never more than asked).
int ComRd(int port, char *buffer, int count);

// The device a port number maps to: TINTARO_COM<n> first, then COM<n> on Windows, elsewhere
// the n-th serial port of the system (USB adapters first). Empty when none.
// A device may be a device server's port on the network: "tcp://HOST:PORT" carries the line
// as raw bytes, "rfc2217://HOST:PORT" over telnet with COM port control (the program sets the
// server's port to the line settings it opens with and checks the server's answers).
// Connecting has a time-out of its own (2 s): a host that cannot be resolved gives
// COM_NO_PORT_FOUND, one that refuses or does not answer COM_CANNOT_OPEN, a server that will
// not set the line COM_UNKNOWN_SYSTEM_ERROR. A connection the server closes is a device gone;
// the next call connects again (not more than once a second while it fails).
std::string ComPortDevice(int port);

// Whether a device name is a network port (tcp://, rfc2217://).
bool IsNetworkComDevice(const std::string &device);

// The stable name of a USB adapter: the /dev/serial/by-id/ link that leads to `device`, or
// empty when there is none (a network port, a pty, a board's own port).
std::string ComStableName(const std::string &device);

// The quiet gap that ends a reply on a network port, at least: it must cover the device
// server's forwarding delay, or bytes trailing a reply could come after it was taken. Clamped
// to 0..1 s; 0.010 s unless set. Applies to ports opened before and after. Returns 0.
int SetComNetworkQuietGap(double seconds);
double ComNetworkQuietGap();

// 1 when the port's device is away now (a network connection closed, an adapter pulled) and
// was not taken up again yet, 0 when it is there; COM_INVALID_PORT or COM_PORT_NOT_OPEN.
// Does not try to reopen it.
int ComPortGone(int port);

// A serial device as the layer drives it. Tests and benchmarks put an in-process stand-in
// behind a port number (AttachComDevice); the layer runs real ports through the same interface.
// The layer calls write() with every byte the program sends and pulls received bytes with
// read(). The other calls have defaults that suit a device living in the same process.
class ComDevice {
public:
    // nextByteIn(): no byte is on its way, or the device cannot tell.
    static constexpr double kNever = std::numeric_limits<double>::infinity();
    static constexpr double kUnknown = -1.0;

    virtual ~ComDevice() = default;
    // Bytes sent by the program. Returns how many were accepted.
    virtual std::size_t write(const char *data, std::size_t count) = 0;
    // Copies up to `max` received bytes into `data`; returns the count (0 when none).
    virtual std::size_t read(char *data, std::size_t max) = 0;
    // Bytes ready to be read right now.
    virtual std::size_t available() = 0;

    // Seconds until the next received byte is ready to be read: 0 when one is ready now, kNever
    // when none is on its way, kUnknown when the device cannot tell (the default, unless a byte
    // is ready now).
    virtual double nextByteIn() { return available() > 0 ? 0.0 : kUnknown; }
    // Waits up to `seconds` for a received byte; true when one is ready. The default sleeps until
    // the byte nextByteIn() announces, the whole time when none is due in it, and looks again
    // every millisecond when the device cannot tell.
    virtual bool waitForByte(double seconds);
    // Drops received bytes not yet read. The default reads them away.
    virtual void discardInput();
    // Drops written bytes not yet sent.
    virtual void discardOutput() {}
    // How long write() may wait for the line to take the bytes.
    virtual void setTimeout(double /*seconds*/) {}
    // Sends only while CTS is on (true) or always. False when the device cannot.
    virtual bool setCtsFlowControl(bool /*on*/) { return true; }
    // Whether the device is there. One that went away and can come back reopens here; the layer
    // asks before each operation.
    virtual bool present() { return true; }
    // Whether the device is there now, without trying to reopen it.
    virtual bool connected() { return true; }
    // The shortest quiet gap that may end a reply from this device (a network port: the
    // server's forwarding delay); 0 when the line's own timing holds.
    virtual double quietGapFloor() { return 0.0; }
};

// Puts a device behind a port number; OpenComConfig on that number then uses it instead of
// a real port. nullptr removes it, closing a port that used the old device. The device must
// outlive its use.
void AttachComDevice(int port, ComDevice *device);
