// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-sensor-sim: serves the simulated colour sensor on a new pty or a real serial device.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sensor_link.h"
#include "sensor_model.h"

using namespace sensorsim;

namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_advance = 0; // SIGUSR1 presses since start

void OnSignal(int) {
    g_stop = 1;
}

void OnAdvance(int) {
    g_advance = g_advance + 1;
}

const char kName[] = "tintaro-sensor-sim";

void Usage(FILE *to) {
    std::string faults;
    for (const char *c = Faults::Help(); *c; ++c) {
        if (c == Faults::Help() || c[-1] == '\n')
            faults += "                     ";
        faults += *c;
    }
    std::fprintf(
        to,
        "Usage: %s [OPTION]...\n"
        "Simulates the RGB colour sensor on a serial line (19200 baud, 8N1).\n"
        "By default it serves on a new pty and prints its device on the first line of output.\n"
        "\n"
        "  --link PATH      also make PATH a symbolic link to the pty (removed on exit)\n"
        "  --device PATH    serve a real serial device at 19200 8N1 instead of a pty\n"
        "  --fast           answer at once instead of at 19200-baud speed\n"
        "  --log FILE       write every frame received and sent, one line each:\n"
        "                   <seconds> RX <order> <hex bytes> | <seconds> TX <hex bytes> |\n"
        "                   <seconds> SKIP <hex bytes dropped while looking for 00 55>\n"
        "  --fault FAULT    inject a fault (repeatable):\n"
        "%s"
        "  --scene NAME     colour patches under the sensor: %s,\n"
        "                   or R,G,B[;R,G,B...] raw means at POWER 500 (0 to 4095); the\n"
        "                   default, cards, shows red, green, blue and yellow cards and a\n"
        "                   dark gap in turn, as on a conveyor\n"
        "  --dwell SECONDS  time each patch stays under the sensor (default 3)\n"
        "  --advance-every N  the next patch comes after every N data records instead of\n"
        "                   after a time, so a run sees the same patches whatever its pace\n"
        "  --advance-on-signal  the first patch stays until SIGUSR1 brings the next one\n"
        "                   (kill -USR1 PID), for stepping through the cards by hand or test\n"
        "  --eeprom FILE    keep the EEPROM in FILE (90 words, one a line): loaded at start\n"
        "                   when present, replaced on every write to EEPROM\n"
        "  --seed N         seed of the measurement noise (default 1)\n"
        "  --help           show this text\n",
        kName, faults.c_str(), SceneNames());
}

double Now(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int OpenPty(std::string *slavePath, int *slaveFd) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "%s: cannot create a pty: %s\n", kName, std::strerror(errno));
        return -1;
    }
    const char *name = ptsname(master);
    if (!name) {
        std::fprintf(stderr, "%s: no pty name: %s\n", kName, std::strerror(errno));
        return -1;
    }
    *slavePath = name;
    // Holding the slave open keeps the master from seeing EIO while the program closes and
    // reopens its port.
    *slaveFd = open(name, O_RDWR | O_NOCTTY);
    if (*slaveFd < 0) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", kName, name, std::strerror(errno));
        return -1;
    }
    termios tio{};
    if (tcgetattr(*slaveFd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B19200);
        cfsetospeed(&tio, B19200);
        tcsetattr(*slaveFd, TCSANOW, &tio);
    }
    return master;
}

int OpenDevice(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", kName, path.c_str(), std::strerror(errno));
        return -1;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        std::fprintf(stderr, "%s: %s is not a serial device: %s\n", kName, path.c_str(),
                     std::strerror(errno));
        close(fd);
        return -1;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        std::fprintf(stderr, "%s: cannot set 19200 8N1 on %s: %s\n", kName, path.c_str(),
                     std::strerror(errno));
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

bool MakeLink(const std::string &target, const std::string &link) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        // Replace a stale link from an earlier run, never a real file.
        if (!S_ISLNK(st.st_mode) || unlink(link.c_str()) != 0) {
            std::fprintf(stderr, "%s: %s exists and is not a link to replace\n", kName,
                         link.c_str());
            return false;
        }
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot link %s: %s\n", kName, link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void RemoveLink(const std::string &target, const std::string &link) {
    char buf[4096];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, std::size_t(n)) == target)
        unlink(link.c_str());
}

} // namespace

int main(int argc, char **argv) {
    std::string linkPath, devicePath, logPath, sceneSpec = "cards", eepromPath;
    bool fast = false;
    double dwell = 3.0;
    unsigned long seed = 1;
    long advanceEvery = 0;
    bool advanceOnSignal = false;
    Faults faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string *out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s: %s needs a value\n", kName, arg.c_str());
                std::exit(2);
            }
            *out = argv[++i];
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--link") {
            value(&linkPath);
        } else if (arg == "--device") {
            value(&devicePath);
        } else if (arg == "--fast") {
            fast = true;
        } else if (arg == "--log") {
            value(&logPath);
        } else if (arg == "--scene") {
            value(&sceneSpec);
        } else if (arg == "--eeprom") {
            value(&eepromPath);
        } else if (arg == "--fault") {
            value(&v);
            std::string error;
            if (!faults.add(v, &error)) {
                std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
                return 2;
            }
        } else if (arg == "--advance-on-signal") {
            advanceOnSignal = true;
        } else if (arg == "--advance-every") {
            value(&v);
            char *end = nullptr;
            errno = 0;
            advanceEvery = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || advanceEvery < 1) {
                std::fprintf(stderr, "%s: bad value for %s: %s\n", kName, arg.c_str(), v.c_str());
                return 2;
            }
        } else if (arg == "--dwell" || arg == "--seed") {
            value(&v);
            char *end = nullptr;
            errno = 0;
            const double d = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || errno != 0 || !(d >= 0) || d > 4e9 ||
                (arg == "--seed" && d != std::floor(d))) {
                std::fprintf(stderr, "%s: bad value for %s: %s\n", kName, arg.c_str(), v.c_str());
                return 2;
            }
            if (arg == "--dwell")
                dwell = d;
            else
                seed = static_cast<unsigned long>(d);
        } else {
            std::fprintf(stderr, "%s: unknown option %s (try --help)\n", kName, arg.c_str());
            return 2;
        }
    }
    if (advanceEvery > 0 && advanceOnSignal) {
        std::fprintf(stderr, "%s: choose one of --advance-every and --advance-on-signal\n", kName);
        return 2;
    }
    if (!linkPath.empty() && !devicePath.empty()) {
        std::fprintf(stderr, "%s: --link is for the pty; not with --device\n", kName);
        return 2;
    }

    Scene scene;
    std::string error;
    if (!MakeScene(sceneSpec, &scene, &error)) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 2;
    }
    scene.dwellSeconds = dwell;
    SensorModel model(scene, static_cast<std::uint32_t>(seed));
    if (!eepromPath.empty() && !model.useEepromFile(eepromPath, &error)) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 2;
    }

    FILE *logFile = nullptr;
    if (!logPath.empty()) {
        logFile = std::fopen(logPath.c_str(), "w");
        if (!logFile) {
            std::fprintf(stderr, "%s: cannot write %s: %s\n", kName, logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    struct sigaction usr {};
    usr.sa_handler = OnAdvance;
    sigemptyset(&usr.sa_mask);
    sigaction(SIGUSR1, &usr, nullptr);

    std::string servedPath;
    int slaveFd = -1;
    int fd = -1;
    if (devicePath.empty()) {
        fd = OpenPty(&servedPath, &slaveFd);
        if (fd >= 0)
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    } else {
        servedPath = devicePath;
        fd = OpenDevice(devicePath);
    }
    if (fd < 0)
        return 1;
    if (!linkPath.empty() && !MakeLink(servedPath, linkPath))
        return 1;

    std::printf("%s: serving on %s\n", kName, servedPath.c_str());
    std::fflush(stdout);

#ifdef __linux__
    // A reply byte goes out when it is due; the default timer slack (50 us) would send each one
    // late by up to a tenth of its own wire time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
    const auto start = std::chrono::steady_clock::now();
    SensorLink link(model, faults, !fast);
    const std::size_t patchCount = model.scene().patches.size();
    // The patch a measurement sees when the conveyor is stepped rather than timed.
    auto stepPatch = [&] {
        if (advanceEvery > 0)
            model.holdPatch(int((link.records() / advanceEvery) % long(patchCount)));
        else if (advanceOnSignal)
            model.holdPatch(int(long(g_advance) % long(patchCount)));
    };
    if (logFile)
        link.setLog([logFile](const std::string &line) {
            std::fprintf(logFile, "%s\n", line.c_str());
            std::fflush(logFile);
        });

    // Closing the pty at once would take the last reply with it: give the reader time.
    constexpr double kLinger = 0.5;
    double endAt = -1;
    std::vector<std::uint8_t> unsent;
    std::uint8_t buf[4096];
    int rc = 0;
    while (!g_stop) {
        double now = Now(start);
        const std::size_t due = link.take(buf, sizeof buf, now);
        unsent.insert(unsent.end(), buf, buf + due);
        if (!unsent.empty()) {
            const ssize_t w = write(fd, unsent.data(), unsent.size());
            if (w > 0)
                unsent.erase(unsent.begin(), unsent.begin() + w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "%s: write: %s\n", kName, std::strerror(errno));
                rc = 1;
                break;
            }
        }
        if (link.ended() && unsent.empty() && link.nextReady() < 0) {
            if (endAt < 0) {
                tcdrain(fd);
                endAt = now + kLinger;
            } else if (now >= endAt) {
                std::fprintf(stderr, "%s: leaving after %ld data records, as asked\n", kName,
                             link.records());
                break;
            }
        }
        // Sleep until input arrives or the next reply byte is due.
        double wait = 0.2;
        if (!unsent.empty())
            wait = 0.002;
        else if (endAt >= 0)
            wait = std::clamp(endAt - now, 0.0, 0.2);
        else if (link.nextReady() >= 0)
            wait = std::clamp(link.nextReady() - now, 0.0, 0.2);
        pollfd p{fd, short(POLLIN | (unsent.empty() ? 0 : POLLOUT)), 0};
        const timespec ts{0, long(wait * 1e9)};
        const int ready = ppoll(&p, 1, &ts, nullptr);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "%s: poll: %s\n", kName, std::strerror(errno));
            rc = 1;
            break;
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) {
                stepPatch();
                link.receive(buf, std::size_t(n), Now(start));
            }
        }
        const std::string warning = link.takeWarning();
        if (!warning.empty())
            std::fprintf(stderr, "%s: EEPROM not saved: %s\n", kName, warning.c_str());
    }

    if (!linkPath.empty())
        RemoveLink(servedPath, linkPath);
    if (slaveFd >= 0)
        close(slaveFd);
    close(fd);
    if (logFile)
        std::fclose(logFile);
    return rc;
}
