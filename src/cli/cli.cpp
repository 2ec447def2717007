// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli's command line: the global options, the usage, and the table of commands. Frames,
// the reply wait, the parameter-file format and the CSV rows are the window program's own
// (src/protocol, src/line, src/platform/files).
#include "cli/cli.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/common.h"
#include "line/line.h"
#include "platform/serial.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace cli {
namespace {

constexpr char kUsageText[] =
    "Usage: tintaro-cli [--port PORT] COMMAND ...\n"
    "\n"
    "Talks to the colour sensor on PORT: COM1 to COM16 (TINTARO_COM<n> names the device, as in\n"
    "the window program), a device path, or a device server's port on the network:\n"
    "tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (telnet COM port control). Default COM1.\n"
    "\n"
    "Commands:\n"
    "  identify                      print the sensor's identification\n"
    "  read ram|eeprom [-o FILE]     the parameter block as a parameter file, on stdout or\n"
    "                                into FILE\n"
    "  write ram|eeprom FILE         send FILE's block, read it back, compare\n"
    "  diff A B                      compare two blocks; A and B are ram, eeprom or a file\n"
    "  poll [--count N] [--interval SECONDS]\n"
    "       [--quiet] [--mqtt URL [--mqtt-password-file FILE] [--mqtt-cafile FILE]]\n"
    "                                data records as CSV until N records or SIGINT/SIGTERM;\n"
    "                                --quiet: no CSV; --mqtt: each record and the link's\n"
    "                                state to a broker, URL mqtt[s]://[USER@]HOST[:PORT]/PREFIX\n"
    "  scan [--ports LIST]           ask COM1 to COM16 (or the ports in LIST, comma-separated)\n"
    "                                for their identification; one line a port\n"
    "  check [--records N] [--table ram|eeprom|FILE]\n"
    "                                polls N records (200) and grades each active row of the\n"
    "                                teach table (RAM by default) as CSV; exit 1 when a row\n"
    "                                is marginal or failing\n"
    "  journal [--sensor TEXT] [--since YYYY-MM-DD] [--limit N]\n"
    "                                the journal's entries as CSV, newest first\n"
    "  journal show ID [-o FILE]     an entry's block as a parameter file\n"
    "  sheet SOURCE -o FILE.pdf      the setup sheet of ram, eeprom, a file or journal:ID\n"
    "\n"
    "Every read and write is recorded in the journal; journal:ID names an entry's block\n"
    "wherever a file is taken.\n"
    "\n"
    "Options:\n"
    "  --port PORT   the sensor's port (default COM1)\n"
    "  --quiet-ms MS the quiet time that ends a reply on a network port (default 10)\n"
    "  --journal PATH  the journal (default TINTARO_JOURNAL, else\n"
    "                $XDG_DATA_HOME/tintaro/journal.sqlite)\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "\n"
    "Exit codes: 0 success, 1 the blocks differ or a row is not robust, 2 usage error, 3 port\n"
    "missing or cannot be opened, 4 no reply or a refused reply (scan: no sensor answered),\n"
    "5 parameter file refused or not written, 6 the MQTT broker refused the user, the\n"
    "password or the certificate, 7 journal missing or damaged, or no such entry.\n";

struct Command {
    const char *name;
    int (*run)(Link &link, const Args &args);
};

// Each command's own file implements it; add a row here for a new one.
constexpr Command kCommands[] = {
    {"identify", Identify}, {"read", Read},       {"write", Write}, {"diff", Diff},
    {"poll", Poll},         {"journal", Journal}, {"sheet", Sheet}, {"scan", Scan},
    {"check", Check},
};

} // namespace

int UsageError(const char *what, const char *arg) {
    if (arg)
        std::fprintf(stderr, "tintaro-cli: %s: %s\n\n", what,
                     line::EscapedForTerminal(arg).c_str());
    else
        std::fprintf(stderr, "tintaro-cli: %s\n\n", what);
    std::fputs(kUsageText, stderr);
    return kUsage;
}

int Run(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    PortChoice port;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        if (a == "--version") {
            std::printf("tintaro-cli " TINTARO_VERSION "\n");
            return kOk;
        }
        if (a == "--port") {
            if (i + 1 >= args.size())
                return UsageError("--port needs a port: COM1 to COM16 or a device path");
            if (!ParsePort(args[++i], &port))
                return UsageError("not a port (COM1 to COM16 or a device path)", args[i].c_str());
            continue;
        }
        if (a.compare(0, 7, "--port=") == 0) {
            if (!ParsePort(a.substr(7), &port))
                return UsageError("not a port (COM1 to COM16 or a device path)", a.c_str() + 7);
            continue;
        }
        if (a == "--journal") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return UsageError("--journal needs a file name");
            gJournalOption = args[++i];
            continue;
        }
        if (a == "--quiet-ms") {
            double ms = 0;
            if (i + 1 >= args.size() || !ParseSeconds(args[i + 1], &ms) || ms > 1000)
                return UsageError("--quiet-ms needs milliseconds from 0 to 1000");
            ++i;
            SetComNetworkQuietGap(ms / 1000.0);
            continue;
        }
        if (!a.empty() && a[0] == '-')
            return UsageError("unknown option", a.c_str());
        break;
    }
    if (i >= args.size())
        return UsageError("no command given");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + std::ptrdiff_t(i) + 1, args.end());
    for (const Command &c : kCommands)
        if (command == c.name) {
            Link link(port);
            return c.run(link, rest);
        }
    return UsageError("unknown command", command.c_str());
}

} // namespace cli
