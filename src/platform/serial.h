// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// RS-232 operations on numbered ports, and the mapping of port numbers to devices.
#pragma once

#include <cstddef>
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

// Opens and configures a port. `deviceName` empty means the device the number maps to.
// Returns 0 on success or a negative code above. The input queue holds at most inQueueSize
// bytes; what arrives beyond it is dropped.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int outQueueSize);
int CloseCom(int port);
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode);
int FlushInQ(int port);
int FlushOutQ(int port);
// Returns when the bytes are handed to the system or the time-out passed: the count written.
int ComWrt(int port, const char *buffer, int count);
// Bytes waiting. When nothing new has arrived since the last call it waits up to about a
// millisecond for the line, so reply waits do not spin a core.
int GetInQLen(int port);
// Reads at most `count` waiting bytes without blocking; returns the count read.
int ComRd(int port, char *buffer, int count);

// The device a port number maps to: TINTARO_COM<n> first, then COM<n> on Windows, elsewhere
// the n-th serial port of the system (USB adapters first). Empty when none.
std::string ComPortDevice(int port);

// An in-process stand-in for a serial device, for tests and benchmarks. The layer calls
// write() with every byte the program sends and pulls received bytes with read().
class ComDevice {
public:
    virtual ~ComDevice() = default;
    // Bytes sent by the program. Returns how many were accepted.
    virtual std::size_t write(const char *data, std::size_t count) = 0;
    // Copies up to `max` received bytes into `data`; returns the count (0 when none).
    virtual std::size_t read(char *data, std::size_t max) = 0;
    // Bytes ready to be read right now.
    virtual std::size_t available() = 0;
};

// Puts a device behind a port number; OpenComConfig on that number then uses it instead of
// a real port. nullptr removes it. The device must outlive its use.
void AttachComDevice(int port, ComDevice *device);
