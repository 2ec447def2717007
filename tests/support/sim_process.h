// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The one way tests and benchmarks start tintaro-sensor-sim: on a pty behind a link in a
// temporary folder, with its traffic log, stopped when the object goes.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <functional>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

namespace testsupport {

// Polls `ready` every 20 ms for up to `ms`; true once it holds.
inline bool WaitUntil(const std::function<bool()> &ready, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (ready())
            return true;
        QThread::msleep(20);
    }
    return ready();
}

class SimProcess {
public:
    // Starts the simulator with `args` (for example {"--fast", "--fault", "long:5"}) added to
    // its link and log. The link is `linkPath`, or "sensor" in a temporary folder of its own;
    // the traffic log lies beside it. `started` says whether it serves on that link.
    explicit SimProcess(const QStringList &args = {}, const QString &linkPath = {}) {
        link = linkPath.isEmpty() ? dir.path() + "/sensor" : linkPath;
        log = linkPath.isEmpty() ? dir.path() + "/traffic.log" : linkPath + ".log";
        start(args);
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // (Re)starts it on the same link and log.
    bool start(const QStringList &args) {
        stop();
        proc.setProgram(QStringLiteral(TINTARO_BIN_DIR "/tintaro-sensor-sim"));
        proc.setArguments(QStringList{"--link", link, "--log", log} + args);
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start();
        started = false;
        if (!proc.waitForStarted(5000))
            return false;
        // Its first line names the pty, after the link is made. A link left behind by an earlier
        // simulator may name a pty that exists again, so the link must name this one.
        while (!proc.canReadLine() && proc.waitForReadyRead(5000)) {
        }
        firstLine = proc.readLine();
        const int at = firstLine.indexOf("serving on ");
        started = at >= 0 && QFileInfo(link).symLinkTarget() ==
                                 QString::fromLocal8Bit(firstLine.mid(at + 11).trimmed());
        return started;
    }
    // Ends it politely (it removes its link).
    void stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        if (!proc.waitForFinished(3000))
            kill();
    }
    // The sensor is unplugged: the simulator dies without a word and leaves its link dangling.
    void kill() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.kill();
        proc.waitForFinished(3000);
    }
    // Steps its scene on (it runs with --advance-on-signal).
    void advance() { ::kill(static_cast<pid_t>(proc.processId()), SIGUSR1); }
    // Everything it printed, the first line included.
    QByteArray output() { return firstLine + proc.readAll(); }

    QTemporaryDir dir;
    QString link; // the pty, as a symbolic link: the value for TINTARO_COM<n>
    QString log;  // the traffic log (--log)
    QProcess proc;
    QByteArray firstLine;
    bool started = false;
};

} // namespace testsupport
