// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Finding the sensor: every port is asked for its identification, and for nothing else, a few
// at a time. Shared by tintaro-cli's scan and the window's "Find sensor..." dialog.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace line {

enum class ScanOutcome { Identified, NoReply, Busy, Echoes, NoDevice, Cancelled };

struct ScanTarget {
    std::string name;   // "COM3", or the device as the operator named it
    std::string device; // what is opened: a device path or a network port; empty: none
    int number = 0;     // the COM number, 0 for a device named directly
};

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::NoReply;
    std::string ident; // the identification as the sensor sent it (Identified only)
};

// Ports asked at the same time.
constexpr int kScanAtOnce = 4;

// COM1 to COM16 as they are mapped (TINTARO_COM<n>, network ports included). Call it on the
// thread that owns the program's other port calls.
std::vector<ScanTarget> DefaultScanTargets();
// A comma-separated list of COM1..COM16, device paths and network ports, appended to `out`;
// false (nothing appended) for an empty list or an empty or unknown item.
bool ParseScanList(const std::string &list, std::vector<ScanTarget> *out);

// Asks every target for its identification, kScanAtOnce at a time, each with the sensor's
// reply time-out; uses the layer's port numbers 1 to kScanAtOnce for it, which must not be
// open meanwhile. `done`, when given, counts the targets finished; `cancel`, when set, leaves the
// targets not begun as Cancelled. `results` gets one entry a target. Blocks until all are done.
void ScanPorts(const std::vector<ScanTarget> &targets, std::vector<ScanResult> *results,
               std::atomic<int> *done, const std::atomic<bool> *cancel);

// "no reply", "busy", "echoes", "no device", "cancelled" ("identified" for a sensor).
const char *ScanOutcomeText(ScanOutcome outcome);
// The device as the operator sees it: with the stable name of a USB adapter beside it
// ("/dev/ttyUSB0 (/dev/serial/by-id/usb-...)"), "-" when there is none.
std::string ScanDeviceLabel(const std::string &device);
// Text from outside for a terminal: printable ASCII as it is, a backslash doubled, every other
// byte as \xNN.
std::string Printable(const std::string &text);

} // namespace line
