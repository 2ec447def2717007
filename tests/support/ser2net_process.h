// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Debian's ser2net as a plant's device server in front of a device (the simulator's pty), on
// 127.0.0.1 at a free port, with its own configuration in a temporary folder; stopped when the
// object goes.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "support/sim_process.h"

namespace testsupport {

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline int FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// Whether something accepts connections on 127.0.0.1:port.
inline bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class Ser2NetProcess {
public:
    // telnet: RFC 2217 instead of raw TCP. line: the device's settings as ser2net opens it
    // ("19200n81"). options: more lines for the connection's options block.
    Ser2NetProcess(const QString &device, bool telnet, const QString &line = "19200n81",
                   const QStringList &options = {})
        : device_(device), telnet_(telnet), line_(line), options_(options) {
        port = FreeTcpPort();
        start();
    }
    ~Ser2NetProcess() { stop(); }
    Ser2NetProcess(const Ser2NetProcess &) = delete;
    Ser2NetProcess &operator=(const Ser2NetProcess &) = delete;

    // (Re)starts it on the same port.
    bool start() {
        stop();
        QFile conf(dir.path() + "/ser2net.yaml");
        conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QString text = QString("connection: &sensor\n"
                               "  accepter: %1tcp,127.0.0.1,%2\n"
                               "  connector: serialdev,%3,%4,local\n"
                               "  options:\n"
                               "    kickolduser: true\n"
                               "    chardelay: false\n")
                           .arg(telnet_ ? "telnet(rfc2217)," : "")
                           .arg(port)
                           .arg(device_, line_);
        for (const QString &o : options_)
            text += "    " + o + "\n";
        conf.write(text.toUtf8());
        conf.close();
        proc.setProgram("ser2net");
        proc.setArguments({"-n", "-d", "-u", "-c", conf.fileName()});
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start();
        started = proc.waitForStarted(5000) && WaitUntil([this] { return Listening(port); }, 5000);
        return started;
    }
    void stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        if (!proc.waitForFinished(3000)) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    QString url() const {
        return QString("%1://127.0.0.1:%2").arg(telnet_ ? "rfc2217" : "tcp").arg(port);
    }

    QTemporaryDir dir;
    QProcess proc;
    int port = 0;
    bool started = false;

private:
    QString device_;
    bool telnet_;
    QString line_;
    QStringList options_;
};

} // namespace testsupport
