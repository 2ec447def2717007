// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The status bar under the panel: port and device, link, polling, last transfer, and whether
// the panel still shows the block it last read or wrote.
#include <cstdlib>
#include <regex>
#include <string>

#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "gui/gui.h"
#include "link_fixture.h"
#include "platform/private/internal.h"
#include "status/status.h"

namespace {

enum { kPort, kLink, kPolling, kTransfer, kPanel };

class StatusBar : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        StartLinkStatus();
    }
    void TearDown() override {
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }
    bool alert(int f) {
        int on = -1;
        EXPECT_EQ(GetStatusBarAlert(panel, f, &on), 0);
        return on == 1;
    }
    std::string field(int f) {
        char buf[512] = {};
        EXPECT_EQ(GetStatusBarText(panel, f, buf, sizeof buf), 0);
        return buf;
    }
    // "<what> HH:MM:SS"
    void expectTransfer(const std::string &what) {
        const std::string text = field(kTransfer);
        EXPECT_TRUE(std::regex_match(text, std::regex(what + " [0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
            << text;
    }
    // Types into a numeric field and presses Enter, as the operator does.
    void typeInto(int control, const char *digits) {
        auto *spin = qobject_cast<QSpinBox *>(platform::FindCtrl(panel, control));
        QLineEdit *line = spin->findChild<QLineEdit *>();
        line->selectAll();
        QTest::keyClicks(line, digits);
        QTest::keyClick(line, Qt::Key_Return);
    }
    void send() { CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0); }
    void get() { CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0); }
};

} // namespace

TEST_F(StatusBar, IdentifiedSensorTransfersAndThePanelDiffersMarker) {
    EXPECT_EQ(field(kLink), "not connected");
    EXPECT_EQ(field(kPolling), "polling off");
    connect();
    EXPECT_EQ(field(kPort).rfind("COM1 ", 0), 0u) << field(kPort);
    EXPECT_EQ(field(kLink), std::string("identified: ") + text(PANEL_STATUS));
    expectTransfer("RAM read");
    EXPECT_EQ(field(kPanel), "panel matches RAM");
    EXPECT_FALSE(alert(kPanel));
    EXPECT_FALSE(alert(kLink));

    // The operator's edits, named by word, the first three of them.
    DisplayPanel(panel);
    typeInto(PANEL_HOLD, "321");
    EXPECT_EQ(field(kPanel), "panel differs from RAM: 4 HOLD");
    EXPECT_TRUE(alert(kPanel));
    auto *table = qobject_cast<QTableWidget *>(platform::FindCtrl(panel, PANEL_TABLE));
    table->item(0, 2)->setData(Qt::EditRole, 99); // as the cell editor commits it
    EXPECT_EQ(field(kPanel), "panel differs from RAM: 4 HOLD, 17 CTO row 0");
    table->item(14, 4)->setData(Qt::EditRole, 98);
    table->item(14, 3)->setData(Qt::EditRole, 97);
    EXPECT_EQ(field(kPanel), "panel differs from RAM: 4 HOLD, 17 CTO row 0, 88 INT row 14 ...");

    // Written: the panel matches where it went.
    SetCtrlVal(panel, PANEL_SELECT_EEPROM, std::int32_t{1});
    target = static_cast<u16>(EEPROM);
    send();
    expectTransfer("EEPROM written and verified");
    EXPECT_EQ(field(kPanel), "panel matches EEPROM");

    // A parameter file, by its own name.
    QTemporaryDir dir;
    target = static_cast<u16>(DATFILE);
    popups.fileAnswers.push_back(dir.path().toStdString() + "/line 3.dat");
    send();
    expectTransfer("line 3.dat saved");
    EXPECT_EQ(field(kPanel), "panel matches line 3.dat");
    popups.fileAnswers.push_back(dir.path().toStdString() + "/missing.dat");
    get();
    expectTransfer("missing.dat not loaded");
    EXPECT_EQ(field(kPanel), "panel matches line 3.dat") << "a refused file changes nothing";
}

TEST_F(StatusBar, ValuesThePanelCannotShowOrForcesAreMarked) {
    // POWER beyond the slide, and a contrast mode that forces INTLIM and MAXCOL-No.
    sensorsim::ParamBlock block = sensorsim::FactoryDefaults();
    block[sensorsim::kPower] = 2000;
    block[sensorsim::kEvalmode] = 2;
    block[sensorsim::kIntlim] = 40;
    block[sensorsim::kMaxcolno] = 7;
    block[sensorsim::kOutmode] = 1;
    block[sensorsim::kTrigger] = 0;
    model.writeRam(block);
    connect();
    EXPECT_EQ(field(kPanel), "panel differs from RAM: 0 POWER, 5 INTLIM, 6 MAXCOL-No.");
}

TEST_F(StatusBar, PollingRateAndTheTimeDataStopped) {
    std::string error;
    sensorsim::Faults faults;
    ASSERT_TRUE(faults.add("silence-after:30", &error)) << error;
    connect(faults, true); // at 19200-baud timing: about ten records a second
    std::string during;
    // One action: two coarse timers 100 ms apart may fire in either order.
    later(2500, [&] {
        during = field(kPolling);
        tintaro::poll = 0;
    });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    // The measured rate: about ten a second at line speed, less on a busy machine (however
    // busy), never more than the line carries.
    std::smatch rate;
    ASSERT_TRUE(std::regex_match(during, rate, std::regex("polling: ([0-9]+\\.[0-9]) records/s")))
        << during;
    EXPECT_GT(std::stod(rate[1].str()), 0.0) << during;
    EXPECT_LE(std::stod(rate[1].str()), 10.5) << during;
    EXPECT_EQ(field(kPolling), "polling off");

    // The sensor falls silent: the time of the last record, and the link has no reply.
    popups.shown.clear();
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_TRUE(std::regex_match(field(kPolling),
                                 std::regex("no data since [0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
        << field(kPolling);
    EXPECT_EQ(field(kLink), "no reply");
    EXPECT_TRUE(alert(kLink));
    EXPECT_TRUE(alert(kPolling));
    get();
    expectTransfer("TIMEOUT at GET");
    EXPECT_TRUE(alert(kTransfer));
}

TEST_F(StatusBar, PortErrorsNameTheirMessage) {
    setenv("TINTARO_COM9", "/nonexistent/tintaro-no-such-tty", 1);
    com = 9;
    InitRS232(com);
    unsetenv("TINTARO_COM9");
    EXPECT_EQ(field(kPort), "COM9 /nonexistent/tintaro-no-such-tty");
    EXPECT_EQ(field(kLink), "port error: No serial port found");
    com = 1;
}
