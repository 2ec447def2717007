// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A private X server (Xvfb) for tests of the program in a real window, and xdotool on it.
#pragma once

#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testsupport {

class XServer {
public:
    // Xvfb picks a free display itself (-displayfd); -noreset keeps the server from resetting
    // when its last client leaves, which made the next connection fail now and then.
    explicit XServer(const QString &screen = QStringLiteral("1280x1024x24")) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        proc.setProgram(QStringLiteral("Xvfb"));
        proc.setArguments({"-displayfd", QString::number(fds[1]), "-screen", "0", screen,
                           "-nolisten", "tcp", "-noreset"});
        proc.setChildProcessModifier([fd = fds[0]] { ::close(fd); });
        proc.start();
        ::close(fds[1]);
        QByteArray number;
        char c = 0;
        while (proc.waitForStarted(5000) && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.isEmpty())
            display = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~XServer() {
        proc.terminate();
        if (!proc.waitForFinished(5000)) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool ok() const { return !display.isEmpty(); }

    // The environment of a program on this server: the real xcb platform, no test variables.
    QProcessEnvironment environment() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DISPLAY", display);
        e.insert("QT_QPA_PLATFORM", "xcb");
        return e;
    }

    // Runs xdotool with `args`; returns what it printed, trimmed.
    QString xdotool(const QStringList &args, int timeoutMs = 15000) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(timeoutMs);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    QString display;
    QProcess proc;
};

} // namespace testsupport
