// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// What the panel shows is what the sensor gets: values the rings do not list, edits pending
// when a shortcut key is pressed, an echoing line, a FIFO in the place of a parameter file,
// GO pressed while polling, and file names outside ASCII.
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/gui.h"
#include "link_fixture.h"
#include "platform/private/internal.h"
#include "status/status.h"

#include <poll.h> // after the program's headers: its global `poll` is meant below

namespace {

using sensorsim::ParamBlock;

// A block no panel default resembles: every ring holds a value it does not list, the spare
// words are set, and the table holds values across the whole 16-bit range.
ParamBlock OffListBlock() {
    ParamBlock b = sensorsim::FactoryDefaults();
    b[sensorsim::kPower] = 640;
    b[sensorsim::kPmod] = 2;
    b[sensorsim::kAverage] = 9;
    b[sensorsim::kEvalmode] = 6;
    b[sensorsim::kHold] = 25;
    b[sensorsim::kIntlim] = 300;
    b[sensorsim::kMaxcolno] = 4;
    b[sensorsim::kOutmode] = 7;
    b[sensorsim::kTrigger] = 5;
    for (std::size_t i = 9; i < 15; ++i)
        b[i] = static_cast<std::uint16_t>(60000 + i);
    for (std::size_t i = 15; i < b.size(); ++i)
        b[i] = static_cast<std::uint16_t>((i * 7919) % 65536);
    return b;
}

std::vector<std::uint16_t> Words(const ParamBlock &b) {
    return {b.begin(), b.end()};
}

class TrustTest : public LinkTest {
protected:
    void TearDown() override {
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }
    void select(int memory) {
        const int sw = memory == RAM      ? PANEL_SELECT_RAM
                       : memory == EEPROM ? PANEL_SELECT_EEPROM
                                          : PANEL_SELECT_FILE;
        SetCtrlVal(panel, sw, std::int32_t{0});
        QTest::mouseClick(platform::FindCtrl(panel, sw), Qt::LeftButton);
        ASSERT_EQ(target, memory);
    }
    QWidget *window() { return platform::FindCtrl(panel, PANEL_SEND)->window(); }
    void show() {
        DisplayPanel(panel);
        QApplication::setActiveWindow(window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
    }
    // Presses a function key the way the operator does: on the window, shortcut and all.
    void key(Qt::Key k) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window(), k);
        EXPECT_TRUE(ShortcutClicksDone());
    }
    QTableWidget *table() {
        return qobject_cast<QTableWidget *>(platform::FindCtrl(panel, PANEL_TABLE));
    }
    // Opens the editor of a table cell and types into it, without Enter.
    QWidget *typeIntoCell(int col, int row, const QString &digits) {
        QTableWidget *t = table();
        t->setFocus();
        t->setCurrentCell(row - 1, col - 1);
        t->editItem(t->item(row - 1, col - 1));
        QWidget *editor = t->indexWidget(t->model()->index(row - 1, col - 1));
        EXPECT_NE(editor, nullptr);
        if (!editor)
            return nullptr;
        auto *line = editor->findChild<QLineEdit *>();
        line->selectAll();
        QTest::keyClicks(line, digits);
        return editor;
    }
    std::string statusField(int field) {
        char buf[256] = {};
        GetStatusBarText(panel, field, buf, sizeof buf);
        return buf;
    }
};

} // namespace

TEST_F(TrustTest, ValuesTheRingsDoNotListComeBackExactlyFromRamEepromAndFile) {
    const ParamBlock block = OffListBlock();
    model.writeRam(block);
    connect();
    ASSERT_EQ(ordersReceived(), (std::vector<int>{7, 3, 3}));

    // Each ring names the number it cannot show as one of its items, and reads it back.
    for (auto [ctrl, value] : {std::pair{PANEL_PMOD, 2}, {PANEL_EVALMODE, 6},
                               {PANEL_OUTMODE, 7}, {PANEL_TRIGGER, 5}}) {
        auto *ring = qobject_cast<QComboBox *>(platform::FindCtrl(panel, ctrl));
        EXPECT_EQ(ring->currentText(), QString("%1 (?)").arg(value)) << ctrl;
        EXPECT_EQ(u16Val(ctrl), value) << ctrl;
    }
    // EVALMODE 6 is a colour mode and PMOD 2 is DYN.
    EXPECT_EQ(attr(PANEL_TRIGGER, ATTR_DIMMED), 0);
    EXPECT_EQ(attr(PANEL_INTLIM, ATTR_DIMMED), 0);
    EXPECT_EQ(attr(PANEL_POWER, ATTR_DIMMED), 1);

    // GET then SEND to RAM, to EEPROM and to a file: all 90 words unchanged.
    model.writeRam(sensorsim::FactoryDefaults());
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(Words(model.ram()), Words(block));
    select(EEPROM);
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(Words(model.eeprom()), Words(block));
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/offlist.dat";
    select(DATFILE);
    popups.fileAnswers.push_back(file);
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    ParamBlock saved{};
    std::string error;
    ASSERT_TRUE(sensorsim::LoadParamFile(file, &saved, &error)) << error;
    EXPECT_EQ(Words(saved), Words(block));

    // Choosing a listed item on the panel replaces the odd value, and the list shrinks back.
    auto *trigger = qobject_cast<QComboBox *>(platform::FindCtrl(panel, PANEL_TRIGGER));
    const int listed = trigger->count() - 1;
    SetCtrlVal(panel, PANEL_TRIGGER, std::int32_t{0});
    EXPECT_EQ(trigger->count(), listed);
    EXPECT_EQ(u16Val(PANEL_TRIGGER), 0);
}

TEST_F(TrustTest, ShortcutKeysTakeWhatIsTypedButNotEntered) {
    connect();
    show();
    model.writeRam(sensorsim::FactoryDefaults());

    // A new HOLD typed, then F9 without Enter: the sensor gets the typed value.
    auto *hold = qobject_cast<QSpinBox *>(platform::FindCtrl(panel, PANEL_HOLD));
    hold->setFocus();
    QLineEdit *line = hold->findChild<QLineEdit *>();
    line->selectAll();
    QTest::keyClicks(line, "123");
    key(Qt::Key_F9);
    EXPECT_EQ(model.ram()[sensorsim::kHold], 123);
    EXPECT_EQ(u16Val(PANEL_HOLD), 123);

    // The same for a teach-table cell whose editor is still open.
    ParaInVis();
    QWidget *editor = typeIntoCell(3, 2, "777");
    ASSERT_NE(editor, nullptr);
    key(Qt::Key_F9);
    EXPECT_EQ(model.ram()[15 + 5 * 1 + 2], 777);
    EXPECT_EQ(cell(3, 2), 777);
    EXPECT_EQ(table()->indexWidget(table()->model()->index(1, 2)), nullptr) << "editor closed";

    // F10 over an open editor: the block read from the sensor shows and stays.
    ParamBlock inSensor = model.ram();
    inSensor[15] = 2024;
    model.writeRam(inSensor);
    ASSERT_NE(typeIntoCell(1, 1, "4321"), nullptr);
    key(Qt::Key_F10);
    QTest::qWait(100);
    EXPECT_EQ(cell(1, 1), 2024);
    EXPECT_EQ(ctt[0], 2024);
    EXPECT_EQ(table()->indexWidget(table()->model()->index(0, 0)), nullptr);
}

TEST_F(TrustTest, AProgramWriteIntoAnOpenCellEditorClosesItAndStays) {
    show();
    ParaInVis();
    ASSERT_NE(typeIntoCell(4, 6, "999"), nullptr);
    ASSERT_EQ(SetTableCellVal(panel, PANEL_TABLE, MakePoint(4, 6), 55), 0);
    QTest::qWait(50);
    EXPECT_EQ(table()->indexWidget(table()->model()->index(5, 3)), nullptr);
    EXPECT_EQ(cell(4, 6), 55);
    // Focus moving on afterwards commits nothing stale.
    platform::FindCtrl(panel, PANEL_NO)->setFocus();
    QTest::qWait(50);
    EXPECT_EQ(cell(4, 6), 55);
}

TEST_F(TrustTest, AnEchoingLineOnAPtyIsNotTakenForTheSensor) {
    // A loopback plug: a pty whose far end sends back every byte it gets.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        char buf[512];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0 && ::write(master, buf, std::size_t(n)) != n)
                    break;
            }
        }
    });
    setenv("TINTARO_COM7", slave.c_str(), 1);
    const auto before = pp;
    com = 7;
    StartLinkStatus();
    InitRS232(com);
    stop = true;
    echo.join();
    CloseCom(7);
    unsetenv("TINTARO_COM7");
    ::close(master);

    EXPECT_EQ(text(PANEL_STATUS), "LINE ECHOES THE REQUEST");
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_NE(popups.shown.back().message.find("LINE ECHOES THE REQUEST"), std::string::npos);
    EXPECT_EQ(statusField(1), "line echoes the request");
    EXPECT_EQ(pp, before) << "no parameter read followed";
    com = 1;
}

TEST_F(TrustTest, AFifoOrDeviceInThePlaceOfAParameterFileIsRefusedAtOnce) {
    InitVars();
    QTemporaryDir dir;
    const std::string fifo = dir.path().toStdString() + "/init.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    select(DATFILE);
    SetCtrlVal(panel, PANEL_HOLD, u16{321}); // an edit that must survive
    const auto before = pp;

    popups.fileAnswers.push_back(fifo);
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0); // would hang on the FIFO
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_NE(popups.shown.back().message.find("NOT A REGULAR FILE"), std::string::npos);
    EXPECT_EQ(popups.shown.back().path, fifo);
    EXPECT_EQ(pp, before);
    EXPECT_EQ(u16Val(PANEL_HOLD), 321);

    // Saving does not put a regular file in the FIFO's place either.
    popups.fileAnswers.push_back(fifo);
    CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_EQ(popups.count("INFO"), 2);
    EXPECT_NE(popups.shown.back().message.find("NOT SAVED"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A character device (what /dev/null is) likewise, when the test may make one.
    const std::string dev = dir.path().toStdString() + "/null.dat";
    if (mknod(dev.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        popups.fileAnswers.push_back(dev);
        CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_NE(popups.shown.back().message.find("NOT A REGULAR FILE"), std::string::npos);
    }
}

TEST_F(TrustTest, GoWhilePollingRunsDoesNotStackAnotherLoop) {
    connect();
    int returnedWhilePolling = 0;
    for (int i = 0; i < 20; ++i)
        later(200 + 10 * i, [&] {
            CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
            returnedWhilePolling += tintaro::poll == 1; // a nested loop would return only at the stop
        });
    later(600, [] { tintaro::poll = 0; });
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(returnedWhilePolling, 20);
    EXPECT_FALSE(PollingLoopRunning());
    // Polling starts again once the loop has ended.
    later(300, [] { tintaro::poll = 0; });
    const auto requests = ordersReceived().size();
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_GT(ordersReceived().size(), requests);
}

TEST_F(TrustTest, FileNamesShowInTheirOwnEncoding) {
    InitVars();
    QTemporaryDir dir;
    const std::string name = dir.path().toStdString() + "/gr\xc3\xbcn.dat"; // "grün.dat", UTF-8
    std::ofstream(name) << "1 2 3\n";
    select(DATFILE);
    popups.fileAnswers.push_back(name);
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_EQ(popups.count("INFO"), 1);
    const PopupRequest shown = popups.shown.back();
    EXPECT_EQ(shown.path, name);

    // The message box shows the name as the file system spells it.
    SetPopupHandler(nullptr);
    QString text;
    QTimer::singleShot(100, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
        }
    });
    MessagePopupWithPath(shown.title.c_str(), shown.message.c_str(), shown.path.c_str());
    popups.install();
    EXPECT_TRUE(text.endsWith(QString::fromUtf8("gr\xc3\xbcn.dat"))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(" ATTENTION!")) << text.toStdString();
}

TEST_F(TrustTest, StrayBytesAfterAReplyAtLineSpeedGetItRefused) {
    // At 19200 baud the two stray bytes arrive after the reply's last byte, not with it.
    std::string error;
    sensorsim::Faults faults;
    ASSERT_TRUE(faults.add("long:7", &error)) << error;
    ASSERT_TRUE(faults.add("long:5", &error)) << error;
    ASSERT_TRUE(faults.add("long:4", &error)) << error;
    const auto before = pp;
    connect(faults, true);
    EXPECT_EQ(ordersReceived(), (std::vector<int>{7})) << "no parameter read after a long reply";
    EXPECT_EQ(text(PANEL_STATUS), "TIMEOUT");
    EXPECT_EQ(pp, before);

    // A GET from RAM, clean, is taken; one from EEPROM with strays is refused.
    popups.shown.clear();
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(popups.count("INFO"), 0);
    const auto fromRam = pp;
    target = static_cast<u16>(EEPROM);
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(pp, fromRam);

    // A data record with strays: refused, nothing shown, polling ends.
    const auto data = databuf;
    CBF_ButtonGo(panel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(popups.count("INFO"), 2);
    EXPECT_EQ(databuf, data);
}
