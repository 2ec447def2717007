// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
#include "line/line.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"

namespace line {

int WaitAndRead(int port, int expected, double start, char *buffer, int size, double *elapsed,
                void (*meanwhile)(), bool *portFailed) {
    int waiting = 0;
    double waited = 0.0;
    bool failed = false;
    do {
        // With something to run meanwhile the first look is a short one (15 ms at most), so that
        // it runs while the request is still going out rather than when the answer comes.
        waiting = meanwhile ? GetInQLen(port) : WaitInQLen(port, expected);
        failed = failed || waiting < 0;
        if (meanwhile) {
            meanwhile(); // what arrives meanwhile is pulled by the next look or the quiet wait
            meanwhile = nullptr;
        }
        waited = Timer() - start;
    } while (waited <= kReplyTimeout && waiting < expected);
    if (elapsed)
        *elapsed = waited;
    // A reply counts only when the line then stays quiet; one that grows past its length is
    // refused like a short one.
    if (waiting == expected)
        waiting = WaitComQuiet(port, expected);
    // A device that never stops fills the queue and ends this.
    if (waiting > expected)
        waiting = WaitComQuiet(port, size - 1);
    // A negative length is a port error: nothing is read and the reply counts as missing.
    failed = failed || waiting < 0;
    const int count = std::min(waiting, size);
    const int read = count > 0 ? ComRd(port, buffer, count) : 0;
    if (portFailed)
        *portFailed = failed || read < 0;
    return std::max(read, 0);
}

const char *ParamFileRefusal(int result) {
    switch (result) {
    case FILE_CANNOT_OPEN:
        return "FILE MISSING OR UNREADABLE";
    case FILE_TOO_FEW_VALUES:
        return "FEWER THAN 90 VALUES";
    case FILE_TOO_MANY_VALUES:
        return "MORE THAN 90 VALUES";
    case FILE_BAD_NUMBER:
        return "NOT A LIST OF NUMBERS";
    case FILE_OUT_OF_RANGE:
        return "VALUE OUTSIDE 0 TO 65535";
    case FILE_NOT_REGULAR:
        return "NOT A REGULAR FILE";
    default:
        return "FILE CANNOT BE READ";
    }
}

const char *CsvHeader() { return "time,x,y,int,red,green,blue,cno\n"; }

std::string CsvRow(double seconds, const std::uint16_t *r) {
    char row[96];
    std::snprintf(row, sizeof row, "%.3f,%u,%u,%u,%u,%u,%u,%u\n", seconds, unsigned(r[3]),
                  unsigned(r[4]), unsigned(r[5]), unsigned(r[0]), unsigned(r[1]), unsigned(r[2]),
                  unsigned(r[6]));
    return row;
}

std::string EscapedForTerminal(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string WithoutControls(const std::string &text) {
    std::string out = text;
    for (char &ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            ch = '?';
    }
    return out;
}

} // namespace line
