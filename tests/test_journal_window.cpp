// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The window's setup journal with the simulated sensor: every transfer leaves its entry, a
// broken journal is shown and stops nothing, and the File menu's journal, compare and sheet.
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include "gui/journaling.h"
#include "journal/journal.h"
#include "journal/sheet.h"
#include "link_fixture.h"
#include "status/status.h"

namespace {

enum { kTransferField = 3 };

class WindowJournal : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        StartLinkStatus();
        SetJournalPath(path.c_str());
    }
    void TearDown() override {
        SetJournalPath("");
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }
    std::vector<journal::Entry> entries() {
        journal::Journal j;
        std::vector<journal::Entry> out;
        EXPECT_EQ(j.openForReading(path), journal::kOk) << j.error();
        EXPECT_EQ(j.list({}, &out), journal::kOk);
        return out;
    }
    std::string transferField(bool *alert) {
        char text[800] = {};
        GetStatusBarText(panel, kTransferField, text, sizeof text);
        int on = 0;
        GetStatusBarAlert(panel, kTransferField, &on);
        *alert = on == 1;
        return text;
    }
    void press(int memory, bool send) {
        target = static_cast<u16>(memory);
        if (send)
            CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
        else
            CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    }

    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/journal.sqlite";
};

} // namespace

TEST_F(WindowJournal, EveryTransferLeavesItsEntry) {
    connect(); // the line check reads RAM
    press(EEPROM, true);
    press(RAM, false);
    const std::string file = dir.path().toStdString() + "/init.dat";
    popups.fileAnswers = {file, file};
    press(DATFILE, true);
    press(DATFILE, false);
    // Each block read twice, the write read back.
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 2, 4, 3, 3}));

    const std::vector<journal::Entry> e = entries();
    ASSERT_EQ(e.size(), 5u);
    const char *expected[][3] = {{"file loaded", "verified", "init.dat"},
                                 {"file saved", "verified", "init.dat"},
                                 {"read RAM", "verified", ""},
                                 {"write EEPROM", "verified", ""},
                                 {"read RAM", "verified", ""}};
    for (std::size_t i = 0; i < e.size(); ++i) {
        EXPECT_EQ(e[i].action, expected[i][0]) << i;
        EXPECT_EQ(e[i].result, expected[i][1]) << i;
        EXPECT_EQ(e[i].file.empty(), !*expected[i][2]) << i;
        EXPECT_EQ(e[i].sensor.rfind(text(PANEL_STATUS).substr(0, 20), 0), 0u) << e[i].sensor;
        EXPECT_EQ(e[i].program.rfind("tintaro ", 0), 0u);
        EXPECT_EQ(e[i].port.rfind("COM1", 0), 0u) << e[i].port;
        EXPECT_TRUE(std::equal(pp.begin(), pp.end(), e[i].words.begin())) << i;
    }
}

TEST_F(WindowJournal, ABrokenJournalIsShownInAmberAndStopsNoTransfer) {
    {
        std::ofstream notes(path);
        notes << "not a journal\n";
    }
    connect();
    SetCtrlVal(panel, PANEL_HOLD, u16{321});
    press(RAM, true);
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 1, 3}));
    EXPECT_EQ(model.ram()[4], 321);
    bool alert = false;
    const std::string text = transferField(&alert);
    EXPECT_EQ(text.rfind("RAM written ", 0), 0u) << text;
    EXPECT_NE(text.find("not in the journal"), std::string::npos) << text;
    EXPECT_NE(text.find("damaged"), std::string::npos) << text;
    EXPECT_TRUE(alert);
    std::ifstream kept(path);
    std::string first;
    std::getline(kept, first);
    EXPECT_EQ(first, "not a journal");
}

TEST_F(WindowJournal, CompareAndJournalLeaveThePanelOrLoadItWithoutSending) {
    connect();
    const u16 sensorHold = u16Val(PANEL_HOLD);
    SetCtrlVal(panel, PANEL_HOLD, u16(sensorHold + 7));
    std::vector<PopupRequest> shown;
    std::vector<PopupAnswer> answers;
    SetPopupHandler([&](const PopupRequest &r) {
        shown.push_back(r);
        PopupAnswer a;
        if (!answers.empty() &&
            (r.kind == PopupRequest::List || r.kind == PopupRequest::FileSelect)) {
            a = answers.front();
            answers.erase(answers.begin());
        }
        return a;
    });
    auto lastText = [&shown] {
        return shown.empty() || shown.back().kind != PopupRequest::Text ? std::string()
                                                                        : shown.back().message;
    };

    // Against RAM: one line for HOLD, with both values; the panel keeps its edit.
    PopupAnswer ram;
    ram.row = 0;
    answers = {ram};
    ComparePanel();
    const std::string diff = lastText();
    EXPECT_NE(diff.find("in 1 word"), std::string::npos) << diff;
    EXPECT_NE(diff.find("4  HOLD"), std::string::npos) << diff;
    EXPECT_NE(diff.find(std::to_string(sensorHold + 7)), std::string::npos) << diff;
    EXPECT_EQ(u16Val(PANEL_HOLD), sensorHold + 7);
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 3, 3})) << "RAM read twice for it";

    // The journal lists this sensor's entries; loading the newest sends nothing.
    PopupAnswer load;
    load.row = 0;
    answers = {load};
    ShowJournal();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 1].rows.size(), 2u);
    EXPECT_EQ(u16Val(PANEL_HOLD), sensorHold);
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3, 3, 3}));
    EXPECT_EQ(entries().front().file, "journal:2");

    PopupAnswer differences;
    differences.result = 2;
    differences.row = 0;
    answers = {differences};
    ShowJournal();
    EXPECT_EQ(lastText(), "The panel matches journal entry 3.\n");

    // The setup sheet of the panel.
    PopupAnswer sheet;
    sheet.path = dir.path().toStdString() + "/setup.pdf";
    answers = {sheet};
    ExportSetupSheet();
    QFile pdf(dir.path() + "/setup.pdf");
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    SetPopupHandler(nullptr);
}

TEST(JournalFile, EntriesStayAsWrittenAndTextFromOutsideIsMadeSafe) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/j.sqlite";
    journal::Journal j;
    ASSERT_EQ(j.open(path), journal::kOk) << j.error();
    journal::Entry e = journal::NewEntry("t", "COM1", "S", journal::Action::WriteRam, "",
                                         journal::Result::Differs, {});
    ASSERT_EQ(j.add(&e), journal::kOk);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, "UPDATE entries SET result = 'verified'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, "DELETE FROM entries", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    journal::Entry back;
    ASSERT_EQ(j.get(e.id, &back), journal::kOk);
    EXPECT_EQ(back.result, "differs");

    // Escape sequences, a raw CSI byte and a broken UTF-8 sequence never reach a terminal.
    EXPECT_EQ(journal::Printable("a\x1b[2Jb\x9b\xc3("), "a?[2Jb?" "?(");
    EXPECT_EQ(journal::Printable("gr\xc3\xbcn"), "gr\xc3\xbcn");
    for (int r = 0; r < protocol::kTableRows; ++r)
        EXPECT_EQ(journal::kRowColours[r], int(sicolarr[std::size_t(r)])) << r;
}
