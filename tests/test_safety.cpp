// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Texts and files from outside handled safely: a hostile identification stays plain text, saves
// ask before replacing a file and do not follow other users' links, a recording notices its file
// going away, closing asks about edits that would be lost; and the zoom graph's click.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "com232/com232.h"
#include "gui/recording.h"
#include "link_fixture.h"
#include "platform/files.h"
#include "platform/graph.h"
#include "platform/private/graph_widgets.h"
#include "platform/private/internal.h"
#include "platform/private/ui_private.h"
#include "platform/timer.h"
#include "scripted_device.h"
#include "status/status.h"

namespace {

// Markup that Qt would load as an image, an ANSI colour sequence and a line break.
const char kHostileIdent[] = "<img src=\"/dev/zero\">\x1b[31mRED\nX";

class Safety : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        StartLinkStatus();
        InstallMenus();
    }
    void TearDown() override {
        StopRecording();
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }
    std::string path(const char *name) const { return (dir.path() + "/" + name).toStdString(); }
    static std::string contents(const std::string &file) {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void write(const std::string &file, const std::string &text) {
        std::ofstream(file) << text;
    }
    std::string field(int f) {
        char text[400] = {};
        GetStatusBarText(panel, f, text, sizeof text);
        return text;
    }
    int questions() const {
        int n = 0;
        for (const auto &r : popups.shown)
            n += r.kind == PopupRequest::Question;
        return n;
    }
    void saveToFile() {
        target = static_cast<u16>(DATFILE);
        CBF_ButtonSend(panel, PANEL_SEND, EVENT_COMMIT, nullptr, 0, 0);
    }
    // Polls until `stop` holds or `records` records were shown.
    void pollUntil(long records, const std::function<bool()> &stop) {
        long shown = 0;
        QTimer counter;
        counter.setInterval(0);
        QObject::connect(&counter, &QTimer::timeout, [&] {
            if (++shown >= records || stop())
                poll = 0;
        });
        counter.start();
        GetData();
    }

    // The code the event loop would end with after a close box: 0 when the close quit it, 9
    // when it is still running (no quit is left pending either way).
    static int loopAfterClose() {
        QTimer::singleShot(0, [] { QuitUserInterface(9); });
        const int rc = RunUserInterface();
        if (rc != 9) {
            QCoreApplication::processEvents();
            RunUserInterface();
        }
        return rc;
    }

    QTemporaryDir dir;
};

TEST_F(Safety, AHostileIdentificationIsShownAsPlainTextWithoutControlCharacters) {
    ScriptedDevice sensor;
    sensor.onRequest = [](int order, std::vector<char> &reply, std::vector<std::size_t> &pieces) {
        if (order == 7) {
            reply.assign(96, 0);
            for (std::size_t i = 0; i < 48; ++i)
                reply[2 * i + 1] = i < std::strlen(kHostileIdent) ? kHostileIdent[i] : ' ';
        } else {
            reply.assign(order == 5 ? 14 : 180, 0);
        }
        pieces.assign(1, reply.size());
    };
    AttachComDevice(1, &sensor);
    com = 1;
    InitRS232(com);

    const std::string link = field(1);
    EXPECT_EQ(link.rfind("identified: <img src=\"/dev/zero\">", 0), 0u) << link;
    EXPECT_EQ(link.find_first_of("\x1b\n"), std::string::npos) << "control characters replaced";
    auto *frame = platform::FindPanel(panel)->frame.data();
    auto *linkField = frame->statusBar()->findChild<QLabel *>("statusField1");
    ASSERT_NE(linkField, nullptr);
    EXPECT_TRUE(linkField->toolTip().contains("&lt;img")) << "escaped, never taken as mark-up";
    EXPECT_FALSE(linkField->toolTip().contains("<img"));

    const std::string status = text(PANEL_STATUS);
    EXPECT_EQ(status.find_first_of("\x1b\n"), std::string::npos) << status;

    ASSERT_TRUE(popups.shown.empty());
    ShowAbout();
    ASSERT_EQ(popups.count("About Tintaro"), 1);
    const std::string about = popups.shown.back().message;
    EXPECT_NE(about.find("<img src"), std::string::npos) << about;
    EXPECT_EQ(about.find('\x1b'), std::string::npos) << about;
    EXPECT_NE(about.find("?[31mRED?X"), std::string::npos) << about;
    CloseCom(1);
}

TEST_F(Safety, SavesAskBeforeReplacingAFileAndNoLeavesItUntouched) {
    const std::string dat = path("init.dat");
    const std::string csv = path("data.csv");
    write(dat, "precious\n");
    write(csv, "earlier recording\n");

    // No: nothing is written, not even read from the panel.
    popups.fileAnswers = {dat, csv};
    popups.questionAnswers = {0, 0};
    saveToFile();
    StartRecording();
    ASSERT_EQ(questions(), 2);
    EXPECT_EQ(popups.shown[1].title, "Replace file");
    EXPECT_EQ(popups.shown[1].path + popups.shown[1].message, "init.dat exists. Replace it?");
    EXPECT_EQ(popups.shown[3].path + popups.shown[3].message, "data.csv exists. Replace it?");
    EXPECT_EQ(contents(dat), "precious\n");
    EXPECT_EQ(contents(csv), "earlier recording\n");
    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(popups.count("INFO"), 0);
    // The file pop-up itself is as it always was.
    EXPECT_EQ(popups.shown[0].title, "init");
    EXPECT_EQ(popups.shown[0].defaultName, "init.dat");
    EXPECT_EQ(popups.shown[0].filter, "*.dat");

    // Yes replaces; a new name and a load ask nothing.
    popups.shown.clear();
    popups.fileAnswers = {dat, csv, path("new.dat"), dat};
    popups.questionAnswers = {1, 1};
    saveToFile();
    StartRecording();
    EXPECT_TRUE(RecordingOn());
    EXPECT_EQ(contents(csv), "time,x,y,int,red,green,blue,cno\n");
    EXPECT_EQ(contents(dat).size(), 90u * 6);
    saveToFile();
    CBF_ButtonGet(panel, PANEL_GET, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(questions(), 2);
    EXPECT_EQ(popups.count("INFO"), 0);
}

TEST_F(Safety, ALinkPlantedByAnotherUserIsNeverFollowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting a link of another user needs root";
    const std::string victim = path("victim.txt");
    write(victim, "mine\n");
    const std::string dat = path("init.dat"), csv = path("data.csv"), dangling = path("d.dat");
    for (const auto &[link, to] :
         {std::pair{dat, victim}, {csv, victim}, {dangling, path("gone")}}) {
        ASSERT_EQ(::symlink(to.c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(CheckSaveTarget(dat.c_str()), FILE_UNSAFE_LINK);

    popups.fileAnswers = {dat, csv, dangling};
    saveToFile();
    StartRecording();
    saveToFile();
    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(contents(victim), "mine\n");
    EXPECT_NE(::access(path("gone").c_str(), F_OK), 0) << "a dangling link creates nothing";
    ASSERT_EQ(popups.count("INFO"), 3);
    EXPECT_EQ(questions(), 0);
    for (const auto &r : popups.shown) {
        if (r.title == "INFO") {
            EXPECT_NE(r.message.find("SYMBOLIC LINK NOT FOLLOWED"), std::string::npos) << r.path;
        }
    }
    EXPECT_EQ(popups.shown[1].path, dat);

    // A link of one's own to an existing file is followed, as any program does.
    const std::string own = path("own.dat");
    ASSERT_EQ(::symlink(victim.c_str(), own.c_str()), 0);
    EXPECT_EQ(CheckSaveTarget(own.c_str()), FILE_OK);
}

TEST_F(Safety, ARecordingWhoseFileIsDeletedStopsWithAWarningAfterPolling) {
    connect();
    const std::string csv = path("data.csv");
    popups.fileAnswers = {csv};
    StartRecording();
    ASSERT_TRUE(RecordingOn());
    pollUntil(3, [] { return false; });
    ASSERT_EQ(::unlink(csv.c_str()), 0);
    // The file is looked at about once a second: within a few seconds of records it is noticed.
    const double until = Timer() + 20.0;
    pollUntil(1000000, [&] { return !RecordingOn() || Timer() > until; });
    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(field(5), "not recording");
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_NE(popups.shown.back().message.find("DELETED OR REPLACED"), std::string::npos);
    EXPECT_EQ(popups.shown.back().path, csv);
}

TEST_F(Safety, ClosingWithChangesNowhereElseAsksFirst) {
    connect();
    // Just read from the sensor: the close box ends the program at once.
    EXPECT_FALSE(PanelDiffersFromKept());
    CBF_P(panel, EVENT_CLOSE, nullptr, 0, 0);
    EXPECT_EQ(loopAfterClose(), 0);
    EXPECT_EQ(questions(), 0);

    SetCtrlVal(panel, PANEL_AVERAGE, u16{321});
    CheckPanelBlock();
    ASSERT_TRUE(PanelDiffersFromKept());
    popups.questionAnswers = {0};
    poll = 1;
    CBF_P(panel, EVENT_CLOSE, nullptr, 0, 0);
    ASSERT_EQ(questions(), 1);
    EXPECT_EQ(popups.shown.back().message,
              "The panel has changes that are not in the sensor or a file. Close anyway?");
    EXPECT_EQ(popups.shown.back().buttons, CONFIRM_CLOSE_CANCEL);
    EXPECT_EQ(poll, 1) << "Cancel: the window stays and polling goes on";
    EXPECT_EQ(loopAfterClose(), 9);
    popups.questionAnswers = {1};
    CBF_P(panel, EVENT_CLOSE, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(loopAfterClose(), 0);
}

TEST_F(Safety, AClickOnTheZoomGraphRecentresOnThePointUnderTheMouseOnce) {
    DisplayPanel(panel);
    CBF_ButtonZoom(panel, PANEL_ZOOM, EVENT_COMMIT, nullptr, 0, 0);
    auto *zoom = qobject_cast<platform::TintaroGraph *>(platform::FindCtrl(panel, PANEL_GRAPHDATA2));
    ASSERT_NE(zoom, nullptr);
    zoom->replot();
    const QPoint at(qRound(zoom->xAxis->coordToPixel(1000)),
                    qRound(zoom->yAxis->coordToPixel(3000)));
    const double onePixel = 4096.0 / zoom->axisRect()->width();
    QTest::mouseClick(zoom, Qt::LeftButton, Qt::NoModifier, at);
    double x = 0, y = 0;
    GetGraphCursor(panel, PANEL_GRAPHDATA2, 1, &x, &y);
    EXPECT_NEAR(x, 1000, 2 * onePixel);
    EXPECT_NEAR(y, 3000, 2 * onePixel);
    EXPECT_NEAR(zoom->xAxis->range().center(), x, 1e-9);
    EXPECT_NEAR(zoom->yAxis->range().center(), y, 1e-9);
}

} // namespace
