// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The shipped program in a real X window: what the operator types into a numeric field or a
// teach-table cell reaches the sensor when F9 follows without Enter.
#include <QAbstractItemView>
#include <QApplication>
#include <QPoint>
#include <QProcess>
#include <QTableWidget>
#include <QThread>

#include <gtest/gtest.h>

#include "Tintarov10/Tintarov10.h"
#include "platform/private/internal.h"
#include "platform/ui.h"
#include "support/sim_process.h"
#include "support/traffic_log.h"
#include "support/xserver.h"
#include "gui/recording.h"

using testsupport::SimProcess;
using testsupport::XServer;

namespace {

// Where the operator clicks, relative to the window's top-left corner: the panel is loaded
// here as the program loads it, so the layout is the same.
struct Targets {
    QPoint hold, paraSwitch, cell;
};

Targets FindTargets() {
    RegisterPanelCallbacks();
    const int p = LoadPanel(0, "Tintarov10.uir", PANEL);
    Targets t;
    if (p <= 0)
        return t;
    // The menu bar above the panel moves it down, as in the program.
    panel = p;
    InstallMenus();
    DisplayPanel(p);
    const auto centre = [](QWidget *w) { return w->mapTo(w->window(), w->rect().center()); };
    t.hold = centre(platform::FindCtrl(p, PANEL_HOLD));
    t.paraSwitch = [&] {
        QWidget *w = platform::FindCtrl(p, PANEL_PARAVISIBLE);
        return w->mapTo(w->window(), QPoint(8, w->height() / 2)); // on the check box itself
    }();
    auto *table = qobject_cast<QTableWidget *>(platform::FindCtrl(p, PANEL_TABLE));
    table->show();
    const QRect r = table->visualItemRect(table->item(1, 2)); // row 1, CTO
    t.cell = table->viewport()->mapTo(table->window(), r.center());
    DiscardPanel(p);
    panel = 0;
    return t;
}

// The word `index` of a write request in the log.
int WordOf(const Frame &f, int index) {
    return (static_cast<unsigned char>(f.bytes[4 + 2 * index]) << 8) |
           static_cast<unsigned char>(f.bytes[5 + 2 * index]);
}

} // namespace

TEST(RealWindow, TypedValuesReachTheSensorWhenF9FollowsWithoutEnter) {
    const Targets at = FindTargets();
    ASSERT_FALSE(at.hold.isNull());
    XServer x;
    ASSERT_TRUE(x.ok()) << "Xvfb is installed by scripts/install-deps";
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started) << sim.output().toStdString();

    QProcess app;
    QProcessEnvironment env = x.environment();
    env.insert("TINTARO_COM1", sim.link);
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro"), QStringList{});
    ASSERT_TRUE(app.waitForStarted(5000));
    const QString window =
        x.xdotool({"search", "--sync", "--onlyvisible", "--name", "Tintaro V1.0"}).section('\n', 0, 0);
    ASSERT_FALSE(window.isEmpty()) << "the panel window appeared";
    x.xdotool({"windowfocus", "--sync", window});
    const auto clickAt = [&](QPoint p, int clicks = 1) {
        x.xdotool({"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y()),
                   "click", "--repeat", QString::number(clicks), "1"});
        QThread::msleep(200);
    };
    const auto type = [&](const char *keys) {
        x.xdotool({"type", "--delay", "40", keys});
        QThread::msleep(200);
    };

    // Waits for the `n`-th SEND to RAM to reach the sensor, however long the machine takes.
    const auto sent = [&](std::size_t n) {
        return testsupport::WaitUntil(
            [&] {
                std::size_t writes = 0;
                for (const Frame &f : ReadLog(sim.log))
                    writes += f.rx && f.order == 1;
                return writes >= n;
            },
            20000);
    };

    // HOLD: select its text, type a new value, F9 at once.
    clickAt(at.hold, 3);
    x.xdotool({"key", "ctrl+a"});
    type("345");
    x.xdotool({"key", "F9"});
    EXPECT_TRUE(sent(1));

    // A teach-table cell: the table in place of the parameters, a cell typed into, F9.
    clickAt(at.paraSwitch);
    clickAt(at.cell);
    type("777");
    x.xdotool({"key", "F9"});
    EXPECT_TRUE(sent(2));

    app.terminate();
    if (!app.waitForFinished(5000))
        app.kill();

    std::vector<Frame> writes;
    for (const Frame &f : ReadLog(sim.log))
        if (f.rx && f.order == 1)
            writes.push_back(f);
    ASSERT_EQ(writes.size(), 2u) << "two SENDs to RAM";
    EXPECT_EQ(WordOf(writes[0], 4), 345) << "HOLD as typed";
    EXPECT_EQ(WordOf(writes[1], 4), 345);
    EXPECT_EQ(WordOf(writes[1], 15 + 5 * 1 + 2), 777) << "CTO of row 1 as typed";
}
