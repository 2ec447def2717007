// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The window program believes only what the sensor confirms: writes read back, parameter
// blocks read twice, data records checked against themselves, and a status bar that says why.
#include <regex>
#include <string>

#include "com232/com232.h"
#include "gui/gui.h"
#include "link_fixture.h"
#include "status/status.h"

namespace {

enum { kPort, kLink, kPolling, kTransfer, kPanel };

class Verify : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        StartLinkStatus();
        // As the recorder does, and each pop-up also notes the status bar as it stood then.
        SetPopupHandler([this](const PopupRequest &r) {
            popups.shown.push_back(r);
            atPopup.push_back({field(kLink), field(kPolling), field(kTransfer)});
            return PopupAnswer{};
        });
    }
    void TearDown() override {
        SetControlEventObserver(nullptr);
        SetPopupObserver(nullptr);
        LinkTest::TearDown();
    }
    std::string field(int f) {
        char buf[512] = {};
        EXPECT_EQ(GetStatusBarText(panel, f, buf, sizeof buf), 0);
        return buf;
    }
    bool alert(int f) {
        int on = -1;
        EXPECT_EQ(GetStatusBarAlert(panel, f, &on), 0);
        return on == 1;
    }
    void connectWith(const char *fault) {
        sensorsim::Faults faults;
        std::string error;
        ASSERT_TRUE(faults.add(fault, &error)) << error;
        connect(faults);
    }
    static bool endsWithClock(const std::string &text, const std::string &head) {
        return std::regex_match(text, std::regex(head + " [0-2][0-9]:[0-5][0-9]:[0-6][0-9]"));
    }
    void send() { CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0); }
    void get() { CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0); }

    struct Bar {
        std::string link, polling, transfer;
    };
    std::vector<Bar> atPopup;
};

TEST_F(Verify, AWriteIsReadBackAfterItsPacingAndTheStartUpBlockReadTwice) {
    connect();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3}));
    EXPECT_GE(timeOf(3, 1) - timeOf(3, 0), 0.2 - 1e-3) << "the second read is paced";
    EXPECT_EQ(LastParamTransfer(), line::Transfer::kVerified);

    SetCtrlVal(panel, PANEL_AVERAGE, u16{40});
    send();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 1, 3})) << "one read when it matches";
    EXPECT_GE(timeOf(3, 2) - timeOf(1), 0.2 - 1e-3);
    EXPECT_TRUE(endsWithClock(field(kTransfer), "RAM written and verified")) << field(kTransfer);
    EXPECT_FALSE(alert(kTransfer));
    EXPECT_EQ(field(kPanel), "panel matches RAM");
    EXPECT_EQ(LastParamTransfer(), line::Transfer::kVerified);

    // EEPROM: read back with order 4 after 0.3 s; the next GET keeps its own pacing.
    target = static_cast<u16>(EEPROM);
    send();
    EXPECT_GE(timeOf(4) - timeOf(2), 0.3 - 1e-3);
    EXPECT_TRUE(endsWithClock(field(kTransfer), "EEPROM written and verified"));
    get();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 1, 3, 2, 4, 4, 4}));
    EXPECT_GE(timeOf(4, 1) - timeOf(4, 0), 0.2 - 1e-3);
    EXPECT_EQ(popups.shown.size(), 0u);
}

TEST_F(Verify, AWriteNobodyAnswersIsNotConfirmedAndNothingClaimsTheSensorAnswers) {
    connectWith("silence:3");
    popups.shown.clear();
    atPopup.clear();
    SetCtrlVal(panel, PANEL_AVERAGE, u16{40});
    send();
    EXPECT_EQ(model.ram()[2], 40) << "the write itself went out";
    const std::string transfer = field(kTransfer);
    EXPECT_TRUE(endsWithClock(transfer, "RAM write not confirmed: no reply")) << transfer;
    EXPECT_TRUE(alert(kTransfer));
    EXPECT_EQ(field(kLink), "no reply");
    EXPECT_EQ(field(kPanel), "panel from the panel file") << "no block is known to be there";
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown[0].message.rfind(" ATTENTION! \n \n RAM WRITE NOT CONFIRMED", 0), 0u)
        << popups.shown[0].message;
    EXPECT_EQ(atPopup[0].transfer, transfer) << "the status bar is written before the pop-up";
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 40);
    EXPECT_EQ(LastParamTransfer(), line::Transfer::kNotConfirmed);
}

TEST_F(Verify, ASensorThatStoresAnotherBlockIsNamedWordByWord) {
    connectWith("misstore:1");
    SetCtrlVal(panel, PANEL_AVERAGE, u16{1});
    send();
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 1, 3, 3}))
        << "a read that differs is read again";
    EXPECT_TRUE(
        endsWithClock(field(kTransfer), "RAM write differs: 2 AVERAGE sent 1, sensor holds 2"))
        << field(kTransfer);
    EXPECT_TRUE(alert(kTransfer));
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 1) << "the read-back never changes the panel";
    EXPECT_EQ(field(kPanel), "panel differs from RAM: 2 AVERAGE");
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_NE(popups.shown[0].message.find("RAM WRITE DIFFERS"), std::string::npos);
    EXPECT_EQ(LastParamTransfer(), line::Transfer::kDiffers);
}

TEST_F(Verify, ABlockGarbledOnTheWayIsRefusedLikeAShortReply) {
    connect();
    SetCtrlVal(panel, PANEL_AVERAGE, u16{12}); // an edit that a refused GET must keep
    const auto before = pp;
    device->link().faults().byOrder[3] = sensorsim::Fault::Garble;
    popups.shown.clear();
    atPopup.clear();
    get();
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown[0].message, InfoTimeout);
    EXPECT_EQ(atPopup[0].link, "replies differ");
    EXPECT_TRUE(endsWithClock(atPopup[0].transfer, "replies differ: line noise\\?"))
        << atPopup[0].transfer;
    EXPECT_EQ(pp, before);
    EXPECT_EQ(u16Val(PANEL_AVERAGE), 12);
    EXPECT_EQ(LastParamTransfer(), line::Transfer::kRefused);

    // The read-back of a write meets the same noise: two different replies, not confirmed.
    send();
    EXPECT_TRUE(endsWithClock(field(kTransfer), "RAM write not confirmed: replies differ"))
        << field(kTransfer);
}

TEST_F(Verify, TheLinkFieldTellsWhyAReplyWasRefused) {
    const std::pair<const char *, const char *> cases[] = {
        {"silence:3", "no reply"},
        {"short:3", "reply incomplete"},
        {"long:3", "reply too long (stray bytes)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        atPopup.clear();
        connectWith(c.first);
        ASSERT_EQ(atPopup.size(), 1u);
        EXPECT_EQ(atPopup[0].link, c.second);
        EXPECT_TRUE(alert(kLink));
        CloseCom(1);
    }
    // The port closed under the program: the write cannot go out.
    atPopup.clear();
    send();
    ASSERT_EQ(atPopup.size(), 1u);
    EXPECT_EQ(atPopup[0].link, "port gone");
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
}

TEST_F(Verify, GarbledRecordsAreRefusedCountedAndPollingGoesOn) {
    sensorsim::Faults faults;
    std::string error;
    ASSERT_TRUE(faults.add("garble:5", &error)) << error;
    ASSERT_TRUE(faults.add("silence-after:5", &error)) << error; // then a missing reply
    connect(faults);
    const u16 shownX = u16Val(PANEL_X);
    const auto history = alldata;
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(device->link().records(), 5) << "polling went on past every refused record";
    EXPECT_EQ(u16Val(PANEL_X), shownX) << "nothing shown";
    EXPECT_EQ(alldata, history) << "nothing drawn";
    // The missing reply still ends polling with the TIMEOUT pop-up.
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown.back().message, InfoTimeout);
    EXPECT_TRUE(std::regex_match(
        field(kPolling), std::regex("no data since [0-9:]{8}, 5 records refused: line noise\\?")))
        << field(kPolling);
    EXPECT_TRUE(alert(kPolling));
}

TEST_F(Verify, ARecordThatBeginsLikeTheDataRequestIsShown) {
    // RED 85, GREEN 5: the record's first bytes are 00 55 00 05, as the data request's are.
    model = sensorsim::SensorModel(sensorsim::Scene{{{"probe", 85, 5, 10}}, 3.0});
    model.setNoise(0.0);
    connect();
    later(200, [this] { CBF_ButtonStop(panel, PANEL_STOP, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(u16Val(PANEL_RED), 85);
    EXPECT_EQ(u16Val(PANEL_GREEN), 5);
    EXPECT_EQ(popups.shown.size(), 0u);
}

TEST_F(Verify, APopUpThatHoldsPollingSaysSoAndTheTimeoutIsReportedFirst) {
    connect();
    // A help text asked for while polling runs; then the sensor falls silent.
    later(100, [this] {
        CBF_ButtonGet(panel, PANEL_GET, EVENT_RIGHT_CLICK, nullptr, 0, 0);
        device->link().faults().silenceAfter = 0;
    });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_EQ(atPopup.size(), 2u);
    EXPECT_EQ(popups.shown[0].title, "Info");
    EXPECT_EQ(atPopup[0].polling, "polling paused");
    // The sensor then fell silent: the TIMEOUT pop-up comes with the status bar already said.
    EXPECT_EQ(popups.shown[1].message, InfoTimeout);
    EXPECT_EQ(atPopup[1].link, "no reply");
    EXPECT_EQ(atPopup[1].polling.rfind("no data since ", 0), 0u) << atPopup[1].polling;
    EXPECT_EQ(field(kPolling), atPopup[1].polling);
}

} // namespace
