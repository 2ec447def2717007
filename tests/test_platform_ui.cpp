// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel layer: loading, typed values, events, attributes, pop-ups, event loop, script runner.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/private/internal.h"
#include "platform/ui.h"
#include "script_runner.h"

namespace {

struct Ev {
    int ctrl, event, d1, d2;
    bool operator==(const Ev &o) const {
        return ctrl == o.ctrl && event == o.event && d1 == o.d1 && d2 == o.d2;
    }
};
std::ostream &operator<<(std::ostream &os, const Ev &e) {
    return os << "{" << e.ctrl << "," << e.event << "," << e.d1 << "," << e.d2 << "}";
}

std::vector<Ev> g_events;
std::function<void(int panel, int ctrl, int event)> g_onEvent;

int CB(int panel, int control, int event, void *, int d1, int d2) {
    g_events.push_back({control, event, d1, d2});
    if (g_onEvent)
        g_onEvent(panel, control, event);
    return 0;
}
int CBF_P(int panel, int event, void *, int, int) {
    g_events.push_back({0, event, 0, 0});
    if (g_onEvent)
        g_onEvent(panel, 0, event);
    return 0;
}
const CallbackEntry kTable[] = {{"CB", CB, nullptr}, {"CBF_P", nullptr, CBF_P}};

const char *const kPanelUi = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Test</class>
 <widget class="QWidget" name="Test">
  <property name="geometry"><rect><x>0</x><y>0</y><width>600</width><height>500</height></rect></property>
  <property name="windowTitle"><string>Test panel</string></property>
  <property name="ctrlId" stdset="0"><number>1</number></property>
  <property name="callback" stdset="0"><string>CBF_P</string></property>
  <widget class="QFrame" name="deco">
   <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>60</height></rect></property>
   <property name="ctrlId" stdset="0"><number>20</number></property>
  </widget>
  <widget class="QFrame" name="deco2">
   <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>60</height></rect></property>
   <property name="ctrlId" stdset="0"><number>23</number></property>
  </widget>
  <widget class="QPushButton" name="send">
   <property name="geometry"><rect><x>10</x><y>70</y><width>80</width><height>24</height></rect></property>
   <property name="text"><string>SEND</string></property>
   <property name="shortcut"><string>F9</string></property>
   <property name="ctrlId" stdset="0"><number>10</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
  </widget>
  <widget class="QPushButton" name="ram">
   <property name="geometry"><rect><x>100</x><y>70</y><width>80</width><height>24</height></rect></property>
   <property name="checkable"><bool>true</bool></property>
   <property name="checked"><bool>true</bool></property>
   <property name="ctrlId" stdset="0"><number>11</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
   <property name="dataType" stdset="0"><string>i32</string></property>
  </widget>
  <widget class="QCheckBox" name="para">
   <property name="geometry"><rect><x>190</x><y>70</y><width>80</width><height>24</height></rect></property>
   <property name="ctrlId" stdset="0"><number>13</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
  </widget>
  <widget class="QSpinBox" name="maxcol">
   <property name="geometry"><rect><x>10</x><y>100</y><width>80</width><height>24</height></rect></property>
   <property name="maximum"><number>15</number></property>
   <property name="value"><number>3</number></property>
   <property name="ctrlId" stdset="0"><number>14</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
   <property name="dataType" stdset="0"><string>u16</string></property>
  </widget>
  <widget class="QSpinBox" name="x">
   <property name="geometry"><rect><x>100</x><y>100</y><width>80</width><height>24</height></rect></property>
   <property name="readOnly"><bool>true</bool></property>
   <property name="buttonSymbols"><enum>QAbstractSpinBox::NoButtons</enum></property>
   <property name="maximum"><number>65535</number></property>
   <property name="ctrlId" stdset="0"><number>15</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
  </widget>
  <widget class="TintaroSlide" name="power">
   <property name="geometry"><rect><x>10</x><y>130</y><width>200</width><height>24</height></rect></property>
   <property name="maximum"><number>1000</number></property>
   <property name="value"><number>500</number></property>
   <property name="ctrlId" stdset="0"><number>16</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
  </widget>
  <widget class="QComboBox" name="outmode">
   <property name="geometry"><rect><x>220</x><y>130</y><width>120</width><height>24</height></rect></property>
   <item><property name="text"><string>DIRECT HI</string></property></item>
   <item><property name="text"><string>BINARY</string></property></item>
   <item><property name="text"><string>DIRECT LO</string></property></item>
   <property name="ctrlId" stdset="0"><number>17</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
   <property name="ringValues" stdset="0"><string>5,1,7</string></property>
  </widget>
  <widget class="QLineEdit" name="status">
   <property name="geometry"><rect><x>10</x><y>160</y><width>300</width><height>24</height></rect></property>
   <property name="readOnly"><bool>true</bool></property>
   <property name="ctrlId" stdset="0"><number>18</number></property>
   <property name="dataType" stdset="0"><string>string</string></property>
  </widget>
  <widget class="QLabel" name="logo">
   <property name="geometry"><rect><x>320</x><y>0</y><width>50</width><height>50</height></rect></property>
   <property name="ctrlId" stdset="0"><number>19</number></property>
  </widget>
  <widget class="QTableWidget" name="table">
   <property name="geometry"><rect><x>10</x><y>190</y><width>400</width><height>300</height></rect></property>
   <property name="rowCount"><number>15</number></property>
   <property name="columnCount"><number>5</number></property>
   <property name="ctrlId" stdset="0"><number>21</number></property>
   <property name="callback" stdset="0"><string>CB</string></property>
  </widget>
  <widget class="TintaroColorBar" name="red">
   <property name="geometry"><rect><x>450</x><y>190</y><width>40</width><height>200</height></rect></property>
   <property name="barColor"><color><red>255</red><green>0</green><blue>0</blue></color></property>
   <property name="ctrlId" stdset="0"><number>22</number></property>
  </widget>
 </widget>
</ui>
)";

// Runs events until `done` holds; the deadline only stops a broken test from hanging.
bool WaitFor(const std::function<bool()> &done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000)
        QTest::qWait(10);
    return done();
}

class PanelUiTest : public ::testing::Test {
protected:
    static QString WriteUi(const QString &name, const QByteArray &text) {
        static QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    static int Load(const QString &path, int resource = 1) {
        return LoadPanel(0, QFile::encodeName(path).constData(), resource);
    }
    void SetUp() override {
        RegisterCallbacks(kTable, std::size(kTable));
        panel = Load(WriteUi("panel.ui", kPanelUi));
        ASSERT_GT(panel, 0);
        window = platform::FindCtrl(panel, 10)->window();
        g_events.clear();
        g_onEvent = nullptr;
    }
    void TearDown() override {
        g_onEvent = nullptr;
        SetPopupHandler(nullptr);
        DiscardPanel(panel);
    }
    template <typename T> T *W(int id) { return qobject_cast<T *>(platform::FindCtrl(panel, id)); }
    void Show() {
        DisplayPanel(panel);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    int panel = 0;
    QWidget *window = nullptr;
};

TEST_F(PanelUiTest, TypedValuesRefuseMismatchAndNeverOverrun) {
    struct {
        std::uint16_t v;
        std::uint16_t guard;
    } u{0xAAAA, 0x5A5A};
    std::int32_t i = 0x11223344;
    EXPECT_EQ(GetCtrlVal(panel, 14, &u.v), 0);
    EXPECT_EQ(u.v, 3);
    EXPECT_EQ(u.guard, 0x5A5A);
    EXPECT_EQ(GetCtrlVal(panel, 14, &i), UIE_BAD_TYPE); // u16 control into a 32-bit variable
    EXPECT_EQ(i, 0x11223344);
    EXPECT_EQ(GetCtrlVal(panel, 11, &u.v), UIE_BAD_TYPE);
    EXPECT_EQ(GetCtrlVal(panel, 11, &i), 0);
    EXPECT_EQ(i, 1);
    char text[8] = "xxxxxxx";
    EXPECT_EQ(GetCtrlVal(panel, 14, text, sizeof text), UIE_BAD_TYPE);
    EXPECT_STREQ(text, "xxxxxxx");
    EXPECT_EQ(SetCtrlVal(panel, 18, std::int32_t(5)), UIE_BAD_TYPE);
    EXPECT_EQ(SetCtrlVal(panel, 14, "5"), UIE_BAD_TYPE);
    EXPECT_EQ(GetCtrlVal(panel, 99, &u.v), UIE_BAD_CONTROL);
    EXPECT_EQ(GetCtrlVal(panel + 100, 14, &u.v), UIE_BAD_PANEL);

    // Integers that do not fit u16 are refused and change nothing.
    EXPECT_EQ(SetCtrlVal(panel, 15, std::int32_t(65535)), 0);
    EXPECT_EQ(SetCtrlVal(panel, 15, std::int32_t(65536)), UIE_OUT_OF_RANGE);
    EXPECT_EQ(SetCtrlVal(panel, 15, std::int32_t(-1)), UIE_OUT_OF_RANGE);
    EXPECT_EQ(GetCtrlVal(panel, 15, &u.v), 0);
    EXPECT_EQ(u.v, 65535);
    // A value beyond the control's own range is coerced by the control.
    EXPECT_EQ(SetCtrlVal(panel, 14, std::uint16_t(100)), 0);
    EXPECT_EQ(GetCtrlVal(panel, 14, &u.v), 0);
    EXPECT_EQ(u.v, 15);
    // Rings take item values, not indices.
    EXPECT_EQ(SetCtrlVal(panel, 17, std::int32_t(7)), 0);
    EXPECT_EQ(W<QComboBox>(17)->currentIndex(), 2);
    EXPECT_EQ(GetCtrlVal(panel, 17, &u.v), 0);
    EXPECT_EQ(u.v, 7);
    EXPECT_EQ(SetCtrlVal(panel, 17, std::int32_t(70000)), UIE_OUT_OF_RANGE) << "not a u16";
    // Colour bars keep values above their scale exactly.
    EXPECT_EQ(SetCtrlVal(panel, 22, std::int32_t(65535)), 0);
    EXPECT_EQ(GetCtrlVal(panel, 22, &u.v), 0);
    EXPECT_EQ(u.v, 65535);
    EXPECT_EQ(SetCtrlVal(panel, 16, std::uint16_t(900)), 0);
    EXPECT_EQ(GetCtrlVal(panel, 16, &u.v), 0);
    EXPECT_EQ(u.v, 900);
    EXPECT_EQ(SetCtrlVal(panel, 11, std::int32_t(0)), 0);
    EXPECT_FALSE(W<QPushButton>(11)->isChecked());

    // Text is Latin-1 both ways and truncated safely.
    EXPECT_EQ(SetCtrlVal(panel, 18, "1000\xb5s"), 0);
    char buf[16];
    EXPECT_EQ(GetCtrlVal(panel, 18, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "1000\xb5s");
    char small[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(GetCtrlVal(panel, 18, small, sizeof small), 0);
    EXPECT_STREQ(small, "100");
    EXPECT_TRUE(g_events.empty()) << "programmatic writes raised events";
}

TEST_F(PanelUiTest, UserActionsRaiseTheirEvents) {
    Show();
    QTest::mouseClick(W<QPushButton>(10), Qt::LeftButton);
    EXPECT_EQ(g_events, (std::vector<Ev>{{10, EVENT_COMMIT, 0, 0}}));

    g_events.clear();
    QTest::mouseClick(W<QPushButton>(11), Qt::LeftButton);
    EXPECT_EQ(g_events, (std::vector<Ev>{{11, EVENT_VAL_CHANGED, 0, 0}, {11, EVENT_COMMIT, 0, 0}}));

    // The numeric commits once, on Enter, and the callback already reads the new value.
    g_events.clear();
    std::uint16_t seen = 0;
    g_onEvent = [&](int p, int ctrl, int) {
        if (ctrl == 14)
            GetCtrlVal(p, 14, &seen);
    };
    auto *spin = W<QSpinBox>(14);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "12");
    EXPECT_TRUE(g_events.empty()) << "keyboard tracking raised events while typing";
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(g_events, (std::vector<Ev>{{14, EVENT_COMMIT, 0, 0}}));
    EXPECT_EQ(seen, 12);

    g_events.clear();
    QTest::keyClick(W<QComboBox>(17), Qt::Key_Down);
    EXPECT_EQ(g_events, (std::vector<Ev>{{17, EVENT_COMMIT, 0, 0}}));
    QTest::keyClick(W<QWidget>(16)->findChild<QSlider *>(), Qt::Key_Right);
    EXPECT_EQ(g_events.size(), 2u);
    std::uint16_t power = 0;
    GetCtrlVal(panel, 16, &power);
    EXPECT_EQ(power, 501);

    // The shortcut clicks its button (Qt animates the click, so it lands a moment later).
    g_events.clear();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_F9);
    ASSERT_TRUE(WaitFor([] { return !g_events.empty(); }));
    EXPECT_EQ(g_events, (std::vector<Ev>{{10, EVENT_COMMIT, 0, 0}}));
}

TEST_F(PanelUiTest, RightClickReportsAndChangesNothing) {
    Show();
    auto *spin = W<QSpinBox>(14);
    QWidget *inner = spin->findChild<QLineEdit *>();
    ASSERT_NE(inner, nullptr);
    QTest::mouseClick(inner, Qt::RightButton);
    QTest::mouseClick(W<QComboBox>(17), Qt::RightButton);
    QTest::mouseClick(W<QPushButton>(11), Qt::RightButton);
    EXPECT_EQ(g_events, (std::vector<Ev>{{14, EVENT_RIGHT_CLICK, 0, 0},
                                         {17, EVENT_RIGHT_CLICK, 0, 0},
                                         {11, EVENT_RIGHT_CLICK, 0, 0}}));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "a context menu opened";
    EXPECT_EQ(spin->value(), 3);
    EXPECT_TRUE(W<QPushButton>(11)->isChecked());
}

TEST_F(PanelUiTest, CloseBoxRaisesCloseAndKeepsTheWindow) {
    Show();
    window->close();
    EXPECT_EQ(g_events, (std::vector<Ev>{{0, EVENT_CLOSE, 0, 0}}));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PanelUiTest, TableCellsAndLabels) {
    Show();
    EXPECT_EQ(SetTableCellVal(panel, 21, MakePoint(5, 15), 65535), 0);
    EXPECT_EQ(SetTableCellVal(panel, 21, MakePoint(1, 1), 0), 0);
    EXPECT_EQ(SetTableCellVal(panel, 21, MakePoint(2, 1), 65536), UIE_OUT_OF_RANGE);
    EXPECT_EQ(SetTableCellVal(panel, 21, MakePoint(6, 1), 1), UIE_BAD_ARGUMENT);
    EXPECT_EQ(SetTableCellVal(panel, 21, MakePoint(1, 16), 1), UIE_BAD_ARGUMENT);
    std::uint16_t v = 1;
    EXPECT_EQ(GetTableCellVal(panel, 21, MakePoint(5, 15), &v), 0);
    EXPECT_EQ(v, 65535);
    EXPECT_EQ(GetTableCellVal(panel, 21, MakePoint(1, 1), &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(GetTableCellVal(panel, 14, MakePoint(1, 1), &v), UIE_BAD_CONTROL);
    EXPECT_TRUE(g_events.empty());

    auto *table = W<QTableWidget>(21);
    EXPECT_EQ(table->verticalHeaderItem(14)->text(), "14");
    EXPECT_EQ(SetTableColumnAttribute(panel, 21, 3, ATTR_LABEL_TEXT, "CTO"), 0);
    char label[8];
    EXPECT_EQ(GetTableColumnAttribute(panel, 21, 3, ATTR_LABEL_TEXT, label, sizeof label), 0);
    EXPECT_STREQ(label, "CTO");

    // The row label colour must show on screen with the Fusion style, not only in the model.
    EXPECT_EQ(SetTableRowAttribute(panel, 21, 2, ATTR_LABEL_COLOR, 0xFF0000), 0);
    int colour = 0;
    EXPECT_EQ(GetTableRowAttribute(panel, 21, 2, ATTR_LABEL_COLOR, &colour), 0);
    EXPECT_EQ(colour, 0xFF0000);
    QHeaderView *header = table->verticalHeader();
    const QImage img = header->grab().toImage();
    const int y0 = header->sectionViewportPosition(1), h = header->sectionSize(1);
    int redPixels = 0, redElsewhere = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                ++(y >= y0 && y < y0 + h ? redPixels : redElsewhere);
        }
    EXPECT_GT(redPixels, 0);
    EXPECT_EQ(redElsewhere, 0);

    // A user edit of a cell is reported with its row and column.
    table->item(3, 1)->setData(Qt::EditRole, 77);
    EXPECT_EQ(g_events, (std::vector<Ev>{{21, EVENT_COMMIT, 4, 2}}));
}

TEST_F(PanelUiTest, Attributes) {
    int v = -1;
    EXPECT_EQ(SetCtrlAttribute(panel, 14, ATTR_VISIBLE, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, 14, ATTR_VISIBLE, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(SetCtrlAttribute(panel, 16, ATTR_DIMMED, 1), 0);
    EXPECT_FALSE(W<QWidget>(16)->isEnabled());
    EXPECT_EQ(GetCtrlAttribute(panel, 16, ATTR_DIMMED, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetCtrlAttribute(panel, 16, ATTR_DIMMED, 0), 0);
    EXPECT_TRUE(W<QWidget>(16)->isEnabled());

    // Stacking: the control set to 0 is the one in front, 100 puts it behind.
    const QPoint spot(150, 30);
    EXPECT_EQ(SetCtrlAttribute(panel, 20, ATTR_ZPLANE_POSITION, 0), 0);
    EXPECT_EQ(window->childAt(spot), W<QWidget>(20));
    EXPECT_EQ(SetCtrlAttribute(panel, 20, ATTR_ZPLANE_POSITION, 100), 0);
    EXPECT_EQ(window->childAt(spot), W<QWidget>(23));
    EXPECT_EQ(GetCtrlAttribute(panel, 20, ATTR_ZPLANE_POSITION, &v), 0);
    EXPECT_EQ(v, 100);

    EXPECT_EQ(SetCtrlAttribute(panel, 19, ATTR_LEFT, 77), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, 19, ATTR_TOP, 5), 0);
    EXPECT_EQ(W<QWidget>(19)->pos(), QPoint(77, 5));
    EXPECT_EQ(SetCtrlAttribute(panel, 20, ATTR_FRAME_COLOR, 0x0080FF), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, 20, ATTR_FRAME_COLOR, &v), 0);
    EXPECT_EQ(v, 0x0080FF);
    EXPECT_EQ(SetCtrlAttribute(panel, 15, ATTR_TEXT_COLOR, 0xFFFFFF), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, 15, ATTR_TEXT_BGCOLOR, 0x00FF00), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, 15, ATTR_TEXT_COLOR, &v), 0);
    EXPECT_EQ(v, 0xFFFFFF);
    EXPECT_EQ(GetCtrlAttribute(panel, 15, ATTR_TEXT_BGCOLOR, &v), 0);
    EXPECT_EQ(v, 0x00FF00);
    // The indicator really shows the background, not only its palette.
    const QImage shot = W<QWidget>(15)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, 3), QColor(0, 255, 0));
    EXPECT_EQ(SetCtrlAttribute(panel, 15, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, 15, ATTR_TEXT_BGCOLOR, &v), 0);
    EXPECT_EQ(v, VAL_TRANSPARENT);

    // Unknown codes are refused, and so is a value of the wrong kind.
    EXPECT_LT(SetCtrlAttribute(panel, 14, 9999, 1), 0);
    EXPECT_LT(GetCtrlAttribute(panel, 14, 9999, &v), 0);
    EXPECT_LT(SetCtrlAttribute(panel, 14, ATTR_VISIBLE, "1"), 0);
    EXPECT_LT(SetCtrlAttribute(panel, 99, ATTR_VISIBLE, 1), 0);
    EXPECT_TRUE(g_events.empty());
}

TEST_F(PanelUiTest, NewTextMessagesAndPictures) {
    const int a = NewCtrl(panel, CTRL_TEXT_MSG, "", 30, 323);
    const int b = NewCtrl(panel, CTRL_TEXT_MSG, "", 5, 15);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(NewCtrl(panel, 1, "", 0, 0), UIE_BAD_ARGUMENT);
    auto *label = W<QLabel>(a);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(323, 30));
    EXPECT_EQ(SetCtrlAttribute(panel, a, ATTR_TEXT_FONT, "AppFont"), 0);
    EXPECT_EQ(label->font().family(), QApplication::font().family());
    EXPECT_EQ(SetCtrlAttribute(panel, a, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, a, ATTR_TEXT_COLOR, 0xFFFFFF), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, a, ATTR_TEXT_POINT_SIZE, 18), 0);
    EXPECT_EQ(SetCtrlVal(panel, a, "Tintaro V1.0"), 0);
    // The label grows to its text, so nothing is clipped.
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance("Tintaro V1.0"));
    int size = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, a, ATTR_TEXT_POINT_SIZE, &size), 0);
    EXPECT_EQ(size, 18);

    QTemporaryDir dir;
    const QString png = dir.filePath("logo.png");
    QImage img(64, 32, QImage::Format_RGB32);
    img.fill(Qt::blue);
    ASSERT_TRUE(img.save(png));
    EXPECT_EQ(DisplayImageFile(panel, 19, QFile::encodeName(png).constData()), 0);
    EXPECT_EQ(W<QLabel>(19)->size(), QSize(64, 32));
    EXPECT_LT(DisplayImageFile(panel, 19, QFile::encodeName(dir.filePath("no.bmp")).constData()),
              0);
    EXPECT_EQ(W<QLabel>(19)->size(), QSize(64, 32));
}

TEST_F(PanelUiTest, LoadRefusesBrokenResources) {
    EXPECT_EQ(Load(WriteUi("nothing.ui", "")), UIE_BAD_RESOURCE);
    EXPECT_EQ(Load("/nonexistent/panel.ui"), UIE_FILE_NOT_FOUND);
    EXPECT_EQ(LoadPanel(0, "no-such-panel.uir", 1), UIE_FILE_NOT_FOUND);
    EXPECT_EQ(Load(WriteUi("bad.ui", "<ui><widget class=")), UIE_BAD_RESOURCE);
    EXPECT_EQ(Load(WriteUi("panel.ui", kPanelUi), 2), UIE_BAD_RESOURCE);

    QByteArray unknown(kPanelUi);
    unknown.replace("<string>CB</string>", "<string>CBF_Missing</string>");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load(WriteUi("unknown.ui", unknown)), UIE_BAD_RESOURCE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("CBF_Missing"), std::string::npos);

    QByteArray ring(kPanelUi);
    ring.replace("5,1,7", "5,1");
    EXPECT_EQ(Load(WriteUi("ring.ui", ring)), UIE_BAD_RESOURCE);

    // Panels are independent: a second load of the same file gives a second handle.
    const int second = Load(WriteUi("panel.ui", kPanelUi));
    EXPECT_GT(second, panel);
    SetCtrlVal(second, 14, std::uint16_t(9));
    std::uint16_t v = 0;
    GetCtrlVal(panel, 14, &v);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(DiscardPanel(second), 0);
    EXPECT_EQ(GetCtrlVal(second, 14, &v), UIE_BAD_PANEL);
}

TEST_F(PanelUiTest, NestedEventsAndQuitFromInsideACallback) {
    // A quit asked for before the loop runs makes it return at once.
    QuitUserInterface(3);
    EXPECT_EQ(RunUserInterface(), 3);

    // Button 10 polls like the GO loop; a click on 11 arrives inside it and quits. The loop
    // returns only after the outer callback has finished.
    std::vector<std::string> trace;
    g_onEvent = [&](int p, int ctrl, int event) {
        if (ctrl == 10) {
            trace.push_back("go");
            QTimer::singleShot(0, W<QPushButton>(11), &QPushButton::click);
            for (int i = 0; i < 1000 && trace.size() < 2; ++i)
                ProcessSystemEvents();
            trace.push_back("go done");
        } else if (ctrl == 11 && event == EVENT_COMMIT) {
            trace.push_back("stop");
            QuitUserInterface(7);
        }
        (void)p;
    };
    QTimer::singleShot(0, W<QPushButton>(10), &QPushButton::click);
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_EQ(trace, (std::vector<std::string>{"go", "stop", "go done"}));
}

// Counts the paint events a widget gets and notes the text it shows at each.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QSpinBox *w) : field(w) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
    QSpinBox *field;
    int count = 0;
};

// Clicks a button from a posted event of the repaint request's low priority, so that the click
// comes after a repaint request already waiting.
class LateClick : public QObject {
public:
    explicit LateClick(QPushButton *b) : button(b) {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
    }
    bool event(QEvent *e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        button->click();
        return true;
    }
    QPushButton *button;
};

TEST_F(PanelUiTest, DrawingLaterDefersOnlyTheDrawing) {
    Show();
    PaintCounter x(W<QSpinBox>(15));
    const auto write = [&](std::uint16_t v) {
        ASSERT_EQ(SetCtrlVal(panel, 15, v), 0);
        std::uint16_t back = 0;
        GetCtrlVal(panel, 15, &back);
        EXPECT_EQ(back, v) << "a read returns the value written, drawn or not";
    };

    // Held through the event processing, drawn by DrawPanels.
    write(1234);
    x.count = 0;
    ProcessSystemEventsDrawLater();
    EXPECT_EQ(x.count, 0);
    DrawPanels();
    EXPECT_GT(x.count, 0);
    EXPECT_EQ(x.field->text(), "1234");

    // Nothing stays undrawn: any later event processing draws what was held.
    write(4321);
    x.count = 0;
    ProcessSystemEventsDrawLater();
    ASSERT_TRUE(WaitFor([&] { return x.count > 0; }));
    EXPECT_EQ(x.field->text(), "4321");

    // A callback that runs meanwhile (one that opens a pop-up, say) sees the panel drawn. The
    // click comes after the held repaint request, as an operator's click during polling does.
    write(777);
    x.count = 0;
    QString shownInCallback;
    g_onEvent = [&](int, int ctrl, int event) {
        if (ctrl != 10 || event != EVENT_COMMIT)
            return;
        QElapsedTimer t; // a pop-up's own event loop runs
        t.start();
        while (x.count == 0 && t.elapsed() < 10000)
            QTest::qWait(10);
        shownInCallback = x.field->text();
    };
    LateClick click(W<QPushButton>(10));
    for (int i = 0; i < 100 && shownInCallback.isEmpty(); ++i)
        ProcessSystemEventsDrawLater();
    EXPECT_EQ(shownInCallback, "777");

    // A picture of the panel shows the value written, even before any drawing.
    write(55);
    const QImage picture = window->grab().toImage();
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(x.field->text(), "55");
}

TEST_F(PanelUiTest, PopupsGoThroughTheHandler) {
    std::vector<PopupRequest> seen;
    std::string answer = "/tmp/params";
    SetPopupHandler([&](const PopupRequest &r) {
        seen.push_back(r);
        return PopupAnswer{answer.empty() ? 0 : 1, answer};
    });
    EXPECT_EQ(MessagePopup("Info", " 0\xb5s = no exposure,\n next"), 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, PopupRequest::Message);
    EXPECT_EQ(seen[0].title, "Info");
    EXPECT_EQ(seen[0].message, " 0\xb5s = no exposure,\n next");

    char path[MAX_PATHNAME_LEN] = "old";
    EXPECT_EQ(FileSelectPopup("/tmp", "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, path), 1);
    EXPECT_STREQ(path, "/tmp/params.dat");
    EXPECT_EQ(seen[1].directory, "/tmp");
    EXPECT_EQ(seen[1].defaultName, "init.dat");
    EXPECT_EQ(seen[1].filter, "*.dat");
    EXPECT_EQ(seen[1].title, "init");
    EXPECT_EQ(seen[1].restrictExtension, 1);
    EXPECT_EQ(seen[1].allowMakeDirectory, 1);
    answer = "/tmp/b.DAT";
    EXPECT_EQ(FileSelectPopup("/tmp", "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, path), 1);
    EXPECT_STREQ(path, "/tmp/b.DAT");

    // Cancel and a path that does not fit leave the caller's buffer alone.
    answer.clear();
    EXPECT_EQ(FileSelectPopup("/tmp", "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, path), 0);
    answer = "/" + std::string(MAX_PATHNAME_LEN, 'a');
    EXPECT_LT(FileSelectPopup("/tmp", "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, path), 0);
    EXPECT_STREQ(path, "/tmp/b.DAT");
}

// Without a reachable display the layer refuses to start instead of letting Qt abort.
TEST(StartWithoutDisplay, InitFailsCleanly) {
    for (const char *display : {"", ":97"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
        env.remove("WAYLAND_DISPLAY");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=-*"});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << display;
        EXPECT_EQ(child.exitCode(), 2) << display; // tests/main.cpp: InitRTEEx returned 0
        EXPECT_TRUE(child.readAllStandardError().contains("no display")) << display;
    }
}

TEST_F(PanelUiTest, ScriptDrivesThePanel) {
    QTemporaryDir dir;
    const QString png = dir.filePath("shot.png");
    const QString script = dir.filePath("steps.txt");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# comment\n"
            "0 set 14 9\n"
            "10 set 13 1\n"
            "20 rightclick 17\n"
            "30 file /tmp/a.dat\n"
            "40 click 10\n"
            "50 bogus line\n"
            "60 cell 2 3 500\n"
            "70 grab " +
            QFile::encodeName(png) +
            "\n"
            "80 key F9\n" // done before the next step, however soon it comes
            "80 close\n"
            "80 quit\n");
    f.close();
    DisplayPanel(panel);
    std::vector<int> fileResults;
    char path[MAX_PATHNAME_LEN] = "";
    g_onEvent = [&](int, int ctrl, int event) {
        if (ctrl == 17 && event == EVENT_RIGHT_CLICK)
            MessagePopup("Info", "a\nb");
        if (ctrl == 10)
            fileResults.push_back(
                FileSelectPopup("/tmp", "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, path));
    };
    ASSERT_TRUE(scripted::ArmScript(QFile::encodeName(script).constData()));
    testing::internal::CaptureStderr();
    // Armed, the runner answers pop-ups at once, also before the event loop runs (a start-up
    // warning); its steps wait for the loop, even while events are processed before it.
    EXPECT_EQ(MessagePopup("Start", "early"), 1);
    for (int i = 0; i < 20; ++i) {
        ProcessSystemEvents();
        QThread::msleep(5);
    }
    const bool earlySteps = !g_events.empty();
    const int rc = RunUserInterface();
    const std::string err = testing::internal::GetCapturedStderr();
    scripted::DisarmScript();
    EXPECT_FALSE(earlySteps) << "steps ran before the event loop";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(g_events, (std::vector<Ev>{{14, EVENT_COMMIT, 0, 0},
                                         {13, EVENT_VAL_CHANGED, 0, 0},
                                         {13, EVENT_COMMIT, 0, 0},
                                         {17, EVENT_RIGHT_CLICK, 0, 0},
                                         {10, EVENT_COMMIT, 0, 0},
                                         {21, EVENT_COMMIT, 3, 2},
                                         {10, EVENT_COMMIT, 0, 0},
                                         {0, EVENT_CLOSE, 0, 0}}));
    EXPECT_NE(err.find("POPUP Start|early"), std::string::npos) << err;
    EXPECT_NE(err.find("POPUP Info|a\\nb"), std::string::npos) << err;
    EXPECT_NE(err.find("FILEPOPUP init|/tmp/a.dat"), std::string::npos) << err;
    EXPECT_NE(err.find("FILEPOPUP init|cancel"), std::string::npos) << err;
    EXPECT_NE(err.find("unknown command"), std::string::npos) << err;
    EXPECT_EQ(fileResults, (std::vector<int>{1, 0}));
    EXPECT_TRUE(QImage(png).size() == window->size());
    std::uint16_t v = 0;
    GetCtrlVal(panel, 14, &v);
    EXPECT_EQ(v, 9);
}

} // namespace
