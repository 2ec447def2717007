// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Recording shown records to CSV from the window's File menu, and Help → About Tintaro.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <string>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>

#include "gui/recording.h"
#include "link_fixture.h"
#include "status/status.h"

namespace {

constexpr int kRecordField = 5;

class Recording : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        StartLinkStatus();
        InstallMenus();
    }
    void TearDown() override {
        StopRecording();
        SetControlEventObserver(nullptr);
        LinkTest::TearDown();
    }

    // Chooses a menu item as the operator would.
    bool choose(const QString &menu, const QString &item) {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<QMainWindow *>(w);
            if (!window || !window->menuBar())
                continue;
            for (QAction *m : window->menuBar()->actions()) {
                if (!m->menu() || m->menu()->title() != menu)
                    continue;
                for (QAction *a : m->menu()->actions())
                    if (a->text() == item && a->isEnabled()) {
                        a->trigger();
                        return true;
                    }
            }
        }
        return false;
    }

    // Polls until `records` records have been shown.
    void pollRecords(long records) {
        long shown = 0;
        QTimer counter;
        counter.setInterval(0);
        QObject::connect(&counter, &QTimer::timeout, [&] {
            if (++shown >= records)
                poll = 0;
        });
        counter.start();
        GetData();
    }

    std::string field(int f) {
        char text[400] = {};
        GetStatusBarText(panel, f, text, sizeof text);
        return text;
    }
    static std::string readAll(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    static int lines(const std::string &text) {
        return int(std::count(text.begin(), text.end(), '\n'));
    }
    std::string displayedRow() {
        std::ostringstream row;
        row << dataX << ',' << dataY << ',' << dataINT << ',' << dataR << ',' << dataG << ','
            << dataB << ',' << dataCOL << '\n';
        return row.str();
    }

    QTemporaryDir dir;
};

TEST_F(Recording, ShownRecordsGoToTheFileUntilStopped) {
    connect();
    const QString csv = dir.path() + "/line 3.csv";
    popups.fileAnswers.push_back(csv.toStdString());
    EXPECT_EQ(field(kRecordField), "not recording");
    ASSERT_TRUE(choose("File", "Record data to CSV..."));
    ASSERT_TRUE(RecordingOn());
    EXPECT_EQ(popups.shown.back().kind, PopupRequest::FileSelect);

    pollRecords(12);
    std::string text = readAll(csv);
    EXPECT_EQ(text.rfind("time,x,y,int,red,green,blue,cno\n", 0), 0u) << text;
    EXPECT_EQ(lines(text), 13);
    // The last row is the record the displays show, in the CSV's columns.
    const std::string lastRow = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(lastRow.substr(lastRow.find(',') + 1), displayedRow());
    EXPECT_EQ(text.substr(text.find('\n') + 1, 6), "0.000,");
    EXPECT_EQ(field(kRecordField), "recording to line 3.csv (12 records)");

    // Recording carries on across polling runs; the file is written as records come.
    pollRecords(3);
    EXPECT_EQ(lines(readAll(csv)), 16);

    ASSERT_TRUE(choose("File", "Stop recording"));
    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(field(kRecordField), "not recording");
    EXPECT_FALSE(choose("File", "Stop recording")) << "greyed out while not recording";
    pollRecords(5);
    EXPECT_EQ(lines(readAll(csv)), 16) << "nothing after stop";
    EXPECT_EQ(popups.count("INFO"), 0);
}

TEST_F(Recording, UnwritableFileIsReportedAndPollingGoesOn) {
    connect();
    const std::string bad = (dir.path() + "/no/such/folder/data.csv").toStdString();
    popups.fileAnswers.push_back(bad);
    ASSERT_TRUE(choose("File", "Record data to CSV..."));
    EXPECT_FALSE(RecordingOn());
    ASSERT_EQ(popups.count("INFO"), 1);
    EXPECT_EQ(popups.shown.back().path, bad);
    EXPECT_NE(popups.shown.back().message.find("NOT WRITABLE"), std::string::npos);
    EXPECT_EQ(field(kRecordField), "not recording");

    // Cancelling the chooser changes nothing either.
    ASSERT_TRUE(choose("File", "Record data to CSV..."));
    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(popups.count("INFO"), 1);

    pollRecords(4);
    EXPECT_EQ(field(2).rfind("poll", 0), 0u);
    EXPECT_EQ(popups.count("INFO"), 1);
}

TEST_F(Recording, WriteFailureWhilePollingStopsRecordingAfterThePollEnds) {
    connect();
    const QString csv = dir.path() + "/data.csv";
    popups.fileAnswers.push_back(csv.toStdString());
    ASSERT_TRUE(choose("File", "Record data to CSV..."));
    ASSERT_TRUE(RecordingOn());

    // The disk "fills" after a few hundred bytes: writes beyond fail with EFBIG.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int infosDuringPoll = -1;
    later(1, [&] {}); // an event in the loop, for good measure
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!RecordingOn() && infosDuringPoll < 0)
            infosDuringPoll = popups.count("INFO");
    });
    watch.start();
    pollRecords(40);
    watch.stop();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(RecordingOn());
    EXPECT_EQ(infosDuringPoll, 0) << "no pop-up holds the polling loop";
    EXPECT_EQ(popups.count("INFO"), 1) << "one pop-up once polling ended";
    EXPECT_NE(popups.shown.back().message.find("RECORDING STOPPED"), std::string::npos);
    EXPECT_EQ(field(kRecordField), "not recording");
    const std::string text = readAll(csv);
    EXPECT_LE(text.size(), 300u);
    EXPECT_GT(lines(text), 1);
    // The row that did not fit is not left torn: the file ends with the last whole row.
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream rows(text);
    for (std::string row; std::getline(rows, row);)
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 7) << row;
}

TEST_F(Recording, AboutNamesVersionsLicenceAndTheSensor) {
    ASSERT_TRUE(choose("Help", "About Tintaro"));
    ASSERT_EQ(popups.count("About Tintaro"), 1);
    const std::string before = popups.shown.back().message;
    for (const char *part : {"Tintaro 1.", "GPL-3.0-or-later", "Qt 6.", "QCustomPlot 2.",
                             "no sensor identified"})
        EXPECT_NE(before.find(part), std::string::npos) << part << " in " << before;

    connect();
    char ident[64] = {};
    LastIdentification(ident, sizeof ident);
    ASSERT_NE(ident[0], '\0');
    ASSERT_TRUE(choose("Help", "About Tintaro"));
    const std::string after = popups.shown.back().message;
    EXPECT_NE(after.find(ident), std::string::npos) << after;
    EXPECT_EQ(after.find("no sensor identified"), std::string::npos);
}

} // namespace
