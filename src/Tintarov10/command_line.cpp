// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Command-line options: --help, --version, --port.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Tintarov10/command_line.h"
#include "Tintarov10/state.h"
#include "gui/journaling.h"
#include "platform/serial.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace {

// "COM3", "com3" -> 3; 0 when the text is no COM name in 1..255.
int ComNumber(const std::string &s) {
    if (s.size() < 4 || s.size() > 6)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(s[std::size_t(i)])) != "COM"[i])
            return 0;
    int n = 0;
    for (std::size_t i = 3; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
        n = n * 10 + (s[i] - '0');
    }
    return n >= 1 && n <= 255 ? n : 0;
}

} // namespace

CommandLine ParseCommandLine(int argc, const char *const *argv) {
    CommandLine cl;
    auto fail = [&cl](const std::string &m) {
        cl.action = CommandLine::Action::Error;
        cl.message = m;
        return cl;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i] ? argv[i] : "";
        if (a == "--help" || a == "-h") {
            cl.action = CommandLine::Action::Help;
            return cl;
        }
        if (a == "--version") {
            cl.action = CommandLine::Action::Version;
            return cl;
        }
        std::string value;
        const bool portEq = a.rfind("--port=", 0) == 0;
        if (a == "--port" || portEq) {
            if (portEq)
                value = a.substr(7);
            else if (i + 1 < argc && argv[i + 1])
                value = argv[++i];
            if (value.empty())
                return fail("--port needs a COM name (COM1 to COM16) or a device path");
            cl.port = 0;
            cl.device.clear();
            if (const int n = ComNumber(value)) {
                if (n > 16)
                    return fail("--port " + value + ": the COM ports are COM1 to COM16");
                cl.port = n;
            } else if (value.find('/') != std::string::npos ||
                       value.find('\\') != std::string::npos) {
                cl.device = value;
            } else {
                return fail("--port " + value +
                            ": not a COM name (COM1 to COM16) nor a device path");
            }
            continue;
        }
        const bool journalEq = a.rfind("--journal=", 0) == 0;
        if (a == "--journal" || journalEq) {
            if (journalEq)
                cl.journal = a.substr(10);
            else if (i + 1 < argc && argv[i + 1])
                cl.journal = argv[++i];
            if (cl.journal.empty())
                return fail("--journal needs a file name");
            continue;
        }
        if (a == "--quiet-ms" || a.rfind("--quiet-ms=", 0) == 0) {
            if (a == "--quiet-ms" && i + 1 < argc && argv[i + 1])
                value = argv[++i];
            else if (a != "--quiet-ms")
                value = a.substr(11);
            char *end = nullptr;
            const double ms = value.empty() ? -1 : std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(ms >= 0 && ms <= 1000))
                return fail("--quiet-ms needs milliseconds from 0 to 1000");
            cl.quietMs = ms;
            continue;
        }
        if (a == "-platform" || a == "--platform") {
            if (i + 1 >= argc)
                return fail(a + " needs a platform name");
            ++i;
            continue;
        }
        return fail("unknown option: " + a);
    }
    return cl;
}

std::string UsageText() {
    return "Usage: tintaro [--port COMn|DEVICE] [--journal PATH]\n"
           "\n"
           "The front end of the RGB colour sensor on an RS-232 line.\n"
           "\n"
           "Options:\n"
           "  --port COMn     start on COM port n (1 to 16) instead of COM1\n"
           "  --port DEVICE   start on COM1 with DEVICE behind it (e.g. /dev/ttyUSB0,\n"
           "                  /dev/serial/by-id/..., tcp://HOST:PORT, rfc2217://HOST:PORT)\n"
           "  --quiet-ms MS   quiet time that ends a reply on a network port (default 10)\n"
           "  --journal PATH  record every transfer in this journal instead of\n"
           "                  TINTARO_JOURNAL or $XDG_DATA_HOME/tintaro/journal.sqlite\n"
           "  --help          show this text and exit\n"
           "  --version       show the version and exit\n"
           "\n"
           "COM<n> stands for the device in the environment variable TINTARO_COM<n> when set,\n"
           "otherwise for the n-th serial port of the system. A device server's port on the\n"
           "network is tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (telnet COM port control).\n";
}

std::string VersionText() {
    return std::string("tintaro ") + TINTARO_VERSION + "\n";
}

int ApplyCommandLine(const CommandLine &cl, std::FILE *out, std::FILE *err) {
    switch (cl.action) {
    case CommandLine::Action::Help:
        std::fputs(UsageText().c_str(), out);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(VersionText().c_str(), out);
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(err, "tintaro: %s\nTry 'tintaro --help'.\n", cl.message.c_str());
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    if (!cl.device.empty())
        ::setenv("TINTARO_COM1", cl.device.c_str(), 1);
    if (cl.port > 0)
        startcom = static_cast<u16>(cl.port);
    if (!cl.journal.empty())
        SetJournalPath(cl.journal.c_str());
    if (cl.quietMs >= 0)
        SetComNetworkQuietGap(cl.quietMs / 1000.0);
    return -1;
}
