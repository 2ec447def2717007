// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The one way tests and benchmarks start tintaro-sensor-sim: on a pty behind a link in a
// temporary folder, with its traffic log, stopped when the object goes.
#pragma once

#include <functional>

#include <QFile>
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
    // its link and log. `started` says whether its pty link appeared.
    explicit SimProcess(const QStringList &args = {}) { start(args); }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool start(const QStringList &args) {
        stop();
        link = dir.path() + "/sensor";
        log = dir.path() + "/traffic.log";
        proc.setProgram(QStringLiteral(TINTARO_BIN_DIR "/tintaro-sensor-sim"));
        proc.setArguments(QStringList{"--link", link, "--log", log} + args);
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start();
        started = proc.waitForStarted(5000) && WaitUntil([&] { return QFile::exists(link); }, 5000);
        return started;
    }
    // Ends it politely (it removes its link); a sensor pulled off the line is `kill`.
    void stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        if (!proc.waitForFinished(3000))
            kill();
    }
    void kill() {
        proc.kill();
        proc.waitForFinished(3000);
    }
    QByteArray output() { return proc.readAll(); }

    QTemporaryDir dir;
    QString link; // the pty, as a symbolic link: the value for TINTARO_COM<n>
    QString log;  // the traffic log (--log)
    QProcess proc;
    bool started = false;
};

} // namespace testsupport
