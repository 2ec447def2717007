// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Sensor transactions against the simulated sensor behind COM1: start-up, GET, SEND, pacing,
// polling with nested callbacks, time-outs and ports that failed to open.
#include <cstdlib>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include "gui/gui.h"
#include "link_fixture.h"
#include "platform/private/internal.h"
#include "platform/timer.h"

namespace {

sensorsim::ParamBlock SampleBlock() {
    sensorsim::ParamBlock b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint16_t>(3 * i + 1);
    b[sensorsim::kPower] = 700;
    b[sensorsim::kPmod] = 1;
    b[sensorsim::kAverage] = 16;
    b[sensorsim::kEvalmode] = 0;
    b[sensorsim::kHold] = 100;
    b[sensorsim::kIntlim] = 40;
    b[sensorsim::kMaxcolno] = 3;
    b[sensorsim::kOutmode] = 1;
    b[sensorsim::kTrigger] = 0;
    b[9] = 65535; // spare words travel unchanged
    b[14] = 4242;
    b[89] = 65535;
    return b;
}

} // namespace

TEST_F(LinkTest, StartUpIdentifiesTheSensorAndShowsItsRamBlock) {
    model.writeRam(SampleBlock());
    connect();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3})) << "the block is read twice";
    EXPECT_EQ(text(PANEL_STATUS).rfind(sensorsim::kIdentText, 0), 0u)
        << "status shows the identification: " << text(PANEL_STATUS);
    EXPECT_EQ(popups.shown.size(), 0u);
    const auto expected = SampleBlock();
    EXPECT_EQ(std::vector<u16>(pp.begin(), pp.end()),
              std::vector<u16>(expected.begin(), expected.end()));
    EXPECT_EQ(u16Val(PANEL_POWER), 700);
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 16);
    EXPECT_EQ(cell(5, 15), 65535);
    EXPECT_EQ(attr(PANEL_POWER, ATTR_DIMMED), 1) << "PMOD DYN from the sensor dims POWER";
}

TEST_F(LinkTest, FileSelectedAtLineCheckStillReadsSensorRam) {
    target = static_cast<u16>(DATFILE);
    model.writeRam(SampleBlock());
    connect();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3}));
    EXPECT_EQ(popups.count("INFO"), 0);
    EXPECT_EQ(pp[14], 4242);
}

TEST_F(LinkTest, SendToEepromThenGetBackWithPacing) {
    connect();
    SetCtrlVal(panel, PANEL_SELECT_EEPROM, std::int32_t{1});
    SetCtrlVal(panel, PANEL_SELECT_RAM, std::int32_t{0});
    target = static_cast<u16>(EEPROM);
    SetCtrlVal(panel, PANEL_AVERAGE, u16{33});
    SetTableCellVal(panel, PANEL_TABLE, MakePoint(3, 2), 177);
    pp[10] = 999; // a spare word read earlier goes back unchanged

    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(order, 4) << "the write to EEPROM is read back from EEPROM";
    EXPECT_DOUBLE_EQ(waitdel, 0.2) << "the read-back is a parameter read";
    EXPECT_EQ(model.eeprom()[2], 33);
    EXPECT_EQ(model.eeprom()[15 + 5 + 2], 177) << "cell (3,2) is word 2 of row 1";
    EXPECT_EQ(model.eeprom()[10], 999);
    EXPECT_EQ(model.ram()[2], 33) << "an EEPROM write also loads RAM";

    SetCtrlVal(panel, PANEL_AVERAGE, u16{5}); // edited but not sent: GET brings 33 back
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 33);
    // SEND reads EEPROM back; GET reads it twice.
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 2, 4, 4, 4}));
    EXPECT_GE(timeOf(4) - timeOf(2), 0.3 - 1e-3) << "the read-back waits 0.3 s after the write";
    EXPECT_GE(timeOf(4, 1) - timeOf(4), 0.2 - 1e-3) << "GET waits 0.2 s after the read-back";
    EXPECT_EQ(popups.count("INFO"), 0);
}

TEST_F(LinkTest, SendToRamPacesTheNextGoByTwoTenths) {
    connect();
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_DOUBLE_EQ(waitdel, 0.2);
    later(50, [] { poll = 0; });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_GE(timeOf(5), 0.0);
    EXPECT_GE(timeOf(5) - timeOf(1), 0.2 - 1e-3);
}

TEST_F(LinkTest, GoPollsUntilStopAndShowsEachRecord) {
    model.holdPatch(0);
    connect();
    when([this] { return records() > 5; },
         [this] { CBF_ButtonStop(panel, PANEL_STOP, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    const long records = device->link().records();
    EXPECT_GT(records, 5);
    EXPECT_EQ(order, 5);
    // No request after STOP: every data request got its reply.
    long requests = 0;
    for (int o : ordersReceived())
        requests += o == 5;
    EXPECT_EQ(requests, records);
    const auto expected = model.measure(0.0);
    EXPECT_EQ(u16Val(PANEL_X), expected.x);
    EXPECT_EQ(u16Val(PANEL_INT), expected.intensity);
    EXPECT_EQ(alldata[693], expected.r) << "the newest history record is the last one shown";
    EXPECT_EQ(popups.shown.size(), 0u);
}

TEST_F(LinkTest, GetDuringPollingRunsAfterTheCurrentCycleAndEndsPolling) {
    connect();
    later(300, [this] { CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    const auto orders = ordersReceived();
    ASSERT_GE(orders.size(), 4u);
    EXPECT_EQ(orders.back(), 3) << "the nested GET is the last request; polling ended with it";
    // Every data request before the GET was answered and read.
    long requests = 0;
    for (int o : orders)
        requests += o == 5;
    EXPECT_EQ(requests, device->link().records());
    EXPECT_EQ(popups.count("INFO"), 0);
}

TEST_F(LinkTest, FileSaveDuringPollingLeavesItRunning) {
    connect();
    target = static_cast<u16>(DATFILE);
    const std::string path = ::testing::TempDir() + "tintaro_link_save.dat";
    popups.fileAnswers.push_back(path);
    long recordsAtSave = -1;
    later(200, [&] {
        CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
        recordsAtSave = device->link().records();
        EXPECT_EQ(poll, 1) << "saving a file does not stop polling";
    });
    when([&] { return recordsAtSave >= 0 && records() > recordsAtSave + 2; },
         [this] { CBF_ButtonStop(panel, PANEL_STOP, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_GT(device->link().records(), recordsAtSave + 2);
    EXPECT_EQ(popups.count("init"), 1);
    std::remove(path.c_str());
}

TEST_F(LinkTest, WrongLengthIdentificationEndsInTimeout) {
    sensorsim::Faults faults;
    std::string error;
    ASSERT_TRUE(faults.add("long:7", &error)) << error; // 98 bytes
    connect(faults);
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown.back().message, InfoTimeout);
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7})) << "no parameter read after a failure";
}

TEST_F(LinkTest, ShortOrMissingParameterReplyChangesNothing) {
    for (const char *fault : {"short:3", "long:3", "silence:3"}) {
        SCOPED_TRACE(fault);
        popups.shown.clear();
        traffic.clear();
        sensorsim::Faults faults;
        std::string error;
        ASSERT_TRUE(faults.add(fault, &error)) << error;
        pp.fill(7);
        SetCtrlVal(panel, PANEL_AVERAGE, u16{12});
        const auto before = pp;
        connect(faults);
        EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
        EXPECT_EQ(popups.count("INFO"), 1);
        EXPECT_EQ(pp, before);
        EXPECT_EQ(u16Val(PANEL_AVERAGE), 12);
        CloseCom(1);
    }
}

TEST_F(LinkTest, DataTimeoutEndsPollingAndKeepsTheLastRecord) {
    sensorsim::Faults faults;
    std::string error;
    ASSERT_TRUE(faults.add("silence-after:3", &error)) << error;
    model.holdPatch(1);
    connect(faults);
    const double begin = Timer();
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_GE(Timer() - begin, 2.0) << "the reply wait runs its full time-out";
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    EXPECT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(u16Val(PANEL_X), model.measure(0.0).x) << "the displays keep the last record";
}

TEST_F(LinkTest, PortThatFailedToOpenReportsThenTimesOutAtOnce) {
    setenv("TINTARO_COM9", "/nonexistent/tintaro-port", 1);
    com = 9;
    InitRS232(com);
    EXPECT_EQ(ret, -6);
    EXPECT_EQ(text(PANEL_STATUS), "No serial port found");
    EXPECT_EQ(popups.shown.size(), 0u) << "an opening failure has no pop-up";

    // Time passes only as the program asks for it, 1 ms a look: a reply wait would take its
    // 2 s in 2,000 looks, however fast the machine.
    static double now;
    now = Timer(); // the pacing wait counts from a reading of the real clock
    SetTimerSource([] { return now += 0.001; });
    const double begin = Timer();
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    const double waited = Timer() - begin;
    SetTimerSource(nullptr);
    EXPECT_LT(waited, 1.5) << "a write to a closed port fails without the reply wait";
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    EXPECT_EQ(popups.count("INFO"), 1);
    unsetenv("TINTARO_COM9");
    com = 1;
}

TEST_F(LinkTest, ComPortChangeStopsPollingAndOpensTheNewPort) {
    connect();
    setenv("TINTARO_COM9", "/nonexistent/tintaro-port", 1);
    SetCtrlVal(panel, PANEL_COMPORT, u16{9});
    later(200, [this] { CBF_EditConnect(panel, PANEL_COMPORT, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(com, 9);
    EXPECT_EQ(text(PANEL_STATUS), "No serial port found");
    unsetenv("TINTARO_COM9");
}

TEST_F(LinkTest, FunctionKeysDriveTheTransactions) {
    connect();
    QWidget *window = platform::FindCtrl(panel, PANEL_SEND)->window();
    DisplayPanel(panel);
    QApplication::setActiveWindow(window);
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(window, key);
        EXPECT_TRUE(ShortcutClicksDone());
    };
    press(Qt::Key_F10);
    press(Qt::Key_F9);
    // F12 comes while F11's polling runs: after its first record.
    when([this] { return records() > 0; }, [&] { QTest::keyClick(window, Qt::Key_F12); });
    press(Qt::Key_F11);
    EXPECT_EQ(poll, 0);
    const auto orders = ordersReceived();
    ASSERT_GE(orders.size(), 8u);
    EXPECT_EQ(orders[3], 3) << "F10 reads";
    EXPECT_EQ(orders[5], 1) << "F9 writes";
    EXPECT_EQ(orders[6], 3) << "and reads back";
    EXPECT_EQ(orders[7], 5) << "F11 polls";
    EXPECT_EQ(popups.count("INFO"), 0);
}
