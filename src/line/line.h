// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Talking to the sensor without the panel or the program's globals: the reply wait, the
// reasons a parameter file is refused, and the CSV form of data records. Used by the window
// program and by tintaro-cli alike.
#pragma once

#include <cstdint>
#include <string>

namespace line {

constexpr long kBaudRate = 19200;     // the sensor's line: 8 data bits, no parity, 1 stop bit
constexpr double kReplyTimeout = 2.0; // seconds the sensor has to answer
constexpr double kPacingAfterRamWrite = 0.2;
constexpr double kPacingAfterEepromWrite = 0.3;
constexpr double kPacingAfterRead = 0.2;

// Waits up to kReplyTimeout from `start` (a Timer() reading) until at least `expected` bytes
// are waiting on `port`. When exactly that many came it waits until the line is quiet: bytes
// trailing a reply would be taken as the start of the next one. A reply too long is let in
// whole (its tail drained) so that it cannot spill into the next reply. Then reads everything
// waiting, at most `size` bytes, into `buffer`. Returns the count read: `expected` only for a
// reply of exactly that length; 0 on a port error. `elapsed`, when given, receives the seconds
// the wait for the expected count took. `meanwhile`, when given, is called once, after the
// first look at the line (a short one, 15 ms at most): work done there overlaps the wire time,
// and what arrives during it still counts (bytes after the reply are noise however late the
// program looks).
// `portFailed`, when given, is set when the port reported an error during the wait (its device
// went away, it is not open), and cleared otherwise.
int WaitAndRead(int port, int expected, double start, char *buffer, int size,
                double *elapsed = nullptr, void (*meanwhile)() = nullptr,
                bool *portFailed = nullptr);

// Why a parameter file was refused, for a FileToArray result ("FEWER THAN 90 VALUES" ...).
const char *ParamFileRefusal(int result);

// The CSV of data records: the header line and one row. `seconds` is the time since the first
// request, `record` the seven words of a data reply in wire order (R, G, B, X, Y, INT, colour
// number). Both end in a newline.
const char *CsvHeader();
std::string CsvRow(double seconds, const std::uint16_t *record);

// A text from outside (the sensor's identification, a file name) for a terminal: printable
// ASCII as it is, a backslash as "\\", every other byte as "\xNN", so that no escape sequence
// or stray byte reaches the terminal.
std::string EscapedForTerminal(const std::string &text);
// The same text for a window, byte for byte (Latin-1 stays Latin-1): control characters (C0,
// DEL, C1) become '?'.
std::string WithoutControls(const std::string &text);

} // namespace line
