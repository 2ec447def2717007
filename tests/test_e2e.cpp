// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The built program against the simulator executable on a pty: offscreen with a key script
// (tintaro-scripted), and once in a real X window under Xvfb driven with xdotool.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "support/sim_process.h"
#include "support/xserver.h"
#include "support/traffic_log.h"

// Asks a window to close as a window manager's close box would (x11_close.cpp).
bool SendCloseRequest(const char *display, unsigned long window);

namespace {

const QString kBin = QStringLiteral(TINTARO_BIN_DIR);

using testsupport::SimProcess;

std::vector<int> OrdersIn(const QString &logPath) {
    return Orders(ReadLog(logPath));
}

int Count(const std::vector<int> &orders, int order) {
    return static_cast<int>(std::count(orders.begin(), orders.end(), order));
}

// Runs the program with the given environment additions; returns its exit code (-1000 when
// it did not end in time).
int RunProgram(const QString &program, const QStringList &env, int timeoutMs, QString *errors) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env) {
        const int eq = kv.indexOf('=');
        if (kv.mid(eq + 1).isEmpty())
            e.remove(kv.left(eq));
        else
            e.insert(kv.left(eq), kv.mid(eq + 1));
    }
    p.setProcessEnvironment(e);
    p.setProgram(program);
    p.start();
    if (!p.waitForStarted(5000))
        return -1001;
    const bool ended = p.waitForFinished(timeoutMs);
    if (!ended) {
        p.kill();
        p.waitForFinished(3000);
    }
    if (errors)
        *errors = QString::fromLocal8Bit(p.readAllStandardError());
    return ended ? p.exitCode() : -1000;
}

QString WriteScript(const QTemporaryDir &dir, const QString &text) {
    const QString path = dir.path() + "/script";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    return path;
}

} // namespace

TEST(EndToEnd, OffscreenStartUpGetSendAndPolling) {
    SimProcess sim;
    ASSERT_TRUE(sim.started) << sim.output().toStdString();
    QTemporaryDir work;
    const QString script = WriteScript(work, "1000 key F10\n"
                                             "2000 key F9\n"
                                             "3000 key F11\n"
                                             "5000 key F12\n"
                                             "5800 close\n");
    QString errors;
    const int code = RunProgram(
        kBin + "/tintaro-scripted",
        {"QT_QPA_PLATFORM=offscreen", "TINTARO_COM1=" + sim.link, "TINTARO_SCRIPT=" + script},
        30000, &errors);
    EXPECT_EQ(code, 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("POPUP")) << errors.toStdString();

    const auto orders = OrdersIn(sim.log);
    ASSERT_GE(orders.size(), 8u);
    EXPECT_EQ(orders[0], 7) << "start-up identifies the sensor";
    EXPECT_EQ(orders[1], 3) << "then reads its RAM twice";
    EXPECT_EQ(orders[2], 3);
    EXPECT_EQ(orders[3], 3) << "F10: GET from RAM, twice";
    EXPECT_EQ(orders[4], 3);
    EXPECT_EQ(orders[5], 1) << "F9: SEND to RAM";
    EXPECT_EQ(orders[6], 3) << "and its read-back";
    EXPECT_GE(Count(orders, 5), 2) << "F11 polls until F12";
    EXPECT_EQ(Count(orders, 5), static_cast<int>(orders.size()) - 7);
}

TEST(EndToEnd, MissingPanelResourceExitsWithoutTouchingThePort) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    QTemporaryDir lonely;
    const QString copy = lonely.path() + "/tintaro";
    ASSERT_TRUE(QFile::copy(kBin + "/tintaro", copy));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
    const int code =
        RunProgram(copy, {"QT_QPA_PLATFORM=offscreen", "TINTARO_COM1=" + sim.link}, 15000, nullptr);
    EXPECT_EQ(code, 255) << "exit code -1";
    QThread::msleep(200);
    EXPECT_TRUE(OrdersIn(sim.log).empty()) << "the serial port was never opened";
}

TEST(EndToEnd, NoDisplayIsReportedInsteadOfAborting) {
    QString errors;
    const int code = RunProgram(
        kBin + "/tintaro",
        {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY=", "TINTARO_COM1=/nonexistent/port"},
        15000, &errors);
    EXPECT_EQ(code, 255) << errors.toStdString();
    EXPECT_TRUE(errors.contains("display", Qt::CaseInsensitive)) << errors.toStdString();
}

TEST(EndToEnd, RealWindowUnderXvfbWithFunctionKeys) {
    testsupport::XServer x(QStringLiteral("1280x800x24"));
    ASSERT_TRUE(x.ok()) << "Xvfb is installed by scripts/install-deps";
    const QString display = x.display;

    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    QProcess app;
    QProcessEnvironment e = x.environment();
    e.insert("TINTARO_COM1", sim.link);
    app.setProcessEnvironment(e);
    app.start(kBin + "/tintaro", QStringList{});
    ASSERT_TRUE(app.waitForStarted(5000));

    const QString window =
        x.xdotool({"search", "--sync", "--onlyvisible", "--name", "Tintaro V1.0"})
            .split('\n')
            .value(0);
    ASSERT_FALSE(window.isEmpty()) << "the panel window appeared";
    x.xdotool({"windowfocus", "--sync", window});
    // Each key is followed by what it asks of the sensor, however long the machine takes.
    const auto press = [&](const char *key, int order, int count) {
        x.xdotool({"key", key});
        return testsupport::WaitUntil([&] { return Count(OrdersIn(sim.log), order) >= count; },
                                      20000);
    };
    EXPECT_TRUE(press("F10", 3, 2));
    EXPECT_TRUE(press("F9", 1, 1));
    EXPECT_TRUE(press("F11", 5, 1));
    x.xdotool({"key", "F12"});
    QThread::msleep(500);
    ASSERT_TRUE(SendCloseRequest(display.toLatin1().constData(), window.toULong()));
    const bool ended = app.waitForFinished(15000);
    if (!ended)
        app.kill();
    EXPECT_TRUE(ended);
    EXPECT_EQ(app.exitCode(), 0) << app.readAllStandardError().toStdString();

    const auto orders = OrdersIn(sim.log);
    EXPECT_GE(Count(orders, 3), 2) << "start-up read and F10";
    EXPECT_EQ(Count(orders, 1), 1) << "F9";
    EXPECT_GE(Count(orders, 5), 1) << "F11";
}
