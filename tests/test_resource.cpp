// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Holds the panel resource and the logo bitmaps against the identifier header and the layout.
#include <QFile>
#include <QImage>
#include <QRect>
#include <QXmlStreamReader>

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Tintarov10/panel_ids.h"

// Readable failure messages for Qt strings (found by argument-dependent lookup).
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// ---- A small reader for the Designer XML of the panel -------------------------------------

struct Prop {
    QString type, text;             // value element and its text (simple values)
    std::map<QString, QString> sub; // parts of rect, size, font and color values
    bool dynamic = false;
};

struct Widget {
    QString cls, name;
    std::map<QString, Prop> props;
    QStringList items, rows, columns; // ring items, table row and column labels
    std::map<std::pair<int, int>, QString> cells;
    int nested = 0; // child widgets or layouts inside a control: none allowed

    bool has(const char *p) const { return props.count(p) != 0; }
    QString str(const char *p) const { return has(p) ? props.at(p).text : QString(); }
    int num(const char *p) const { return str(p).toInt(); }
    bool flag(const char *p) const { return str(p) == QLatin1String("true"); }
    int ctrlId() const { return has("ctrlId") ? num("ctrlId") : 0; }
    QRect geometry() const {
        if (!has("geometry"))
            return {};
        const auto &g = props.at("geometry").sub;
        return {g.at("x").toInt(), g.at("y").toInt(), g.at("width").toInt(),
                g.at("height").toInt()};
    }
};

struct Resource {
    QString version, error;
    Widget root;
    std::vector<Widget> controls;             // direct children of the panel, in document order
    std::map<QString, QString> customClasses; // class -> extends
    const Widget *byId(int id) const {
        for (const auto &w : controls)
            if (w.ctrlId() == id)
                return &w;
        return nullptr;
    }
    int indexOf(int id) const {
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].ctrlId() == id)
                return int(i);
        return -1;
    }
};

QString Attr(const QXmlStreamReader &x, const char *name) {
    return x.attributes().value(QLatin1String(name)).toString();
}

Prop ReadProp(QXmlStreamReader &x) {
    Prop p;
    p.dynamic = Attr(x, "stdset") == QLatin1String("0");
    while (x.readNextStartElement()) {
        p.type = x.name().toString();
        if (p.type == "rect" || p.type == "size" || p.type == "font" || p.type == "color") {
            while (x.readNextStartElement())
                p.sub[x.name().toString()] = x.readElementText();
        } else {
            p.text = x.readElementText();
        }
    }
    return p;
}

// The text property of an <item>, <row> or <column>.
QString ReadItemText(QXmlStreamReader &x) {
    QString text;
    while (x.readNextStartElement()) {
        if (x.name() == QLatin1String("property") && Attr(x, "name") == "text")
            text = ReadProp(x).text;
        else
            x.skipCurrentElement();
    }
    return text;
}

void ReadWidget(QXmlStreamReader &x, Widget &w, Resource *top) {
    w.cls = Attr(x, "class");
    w.name = Attr(x, "name");
    while (x.readNextStartElement()) {
        const QString n = x.name().toString();
        if (n == "property") {
            const QString name = Attr(x, "name");
            w.props[name] = ReadProp(x);
        } else if (n == "widget" && top) {
            top->controls.emplace_back();
            ReadWidget(x, top->controls.back(), nullptr);
        } else if (n == "item" && x.attributes().hasAttribute(QLatin1String("row"))) {
            const int r = Attr(x, "row").toInt(), c = Attr(x, "column").toInt();
            w.cells[{r, c}] = ReadItemText(x);
        } else if (n == "item") {
            w.items << ReadItemText(x);
        } else if (n == "row") {
            w.rows << ReadItemText(x);
        } else if (n == "column") {
            w.columns << ReadItemText(x);
        } else {
            w.nested += n == "widget" || n == "layout";
            x.skipCurrentElement();
        }
    }
}

Resource Load() {
    Resource r;
    QFile f(QStringLiteral(TINTARO_SOURCE_DIR "/resources/Tintarov10.uir"));
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = "cannot open the panel resource";
        return r;
    }
    QXmlStreamReader x(&f);
    if (!x.readNextStartElement() || x.name() != QLatin1String("ui")) {
        r.error = "no <ui> element";
        return r;
    }
    r.version = Attr(x, "version");
    while (x.readNextStartElement()) {
        if (x.name() == QLatin1String("widget")) {
            ReadWidget(x, r.root, &r);
        } else if (x.name() == QLatin1String("customwidgets")) {
            while (x.readNextStartElement()) {
                QString cls, extends;
                while (x.readNextStartElement()) {
                    if (x.name() == QLatin1String("class"))
                        cls = x.readElementText();
                    else if (x.name() == QLatin1String("extends"))
                        extends = x.readElementText();
                    else
                        x.skipCurrentElement();
                }
                r.customClasses[cls] = extends;
            }
        } else {
            x.skipCurrentElement();
        }
    }
    if (x.hasError())
        r.error = x.errorString() + QStringLiteral(" at line %1").arg(x.lineNumber());
    return r;
}

const Resource &Res() {
    static const Resource r = Load();
    return r;
}

#define REQUIRE_CONTROL(var, id)                                                                   \
    const Widget *var = Res().byId(id);                                                            \
    ASSERT_NE(var, nullptr) << "no control " << (id)

// ---- The control table, written from the control list (not from the header) -----------------

struct Expected {
    int id;
    const char *cls;
    const char *dataType; // nullptr: the control holds no value
    const char *callback; // nullptr: none
    char group;
};

// PARA_DECO_k is the caption of parameter word k - 1 of the parameter block:
// 1 EXP-TIME [µs] (POWER), 2 PMOD, 3 AVERAGE, 4 EVALMODE, 5 HOLD [ms], 6 INTLIM,
// 7 MAXCOL-No., 8 OUTMODE, 9 TRIGGER; each sits in the row of its control.
const Expected kControls[] = {
    {PANEL_COMPORT, "QComboBox", "u16", "CBF_EditConnect", 'F'},
    {PANEL_RESETTABLE, "QPushButton", nullptr, "CBF_ButtonResetTable", 'T'},
    {PANEL_TEACHDATATO, "QPushButton", nullptr, "CBF_ButtonTeachDataTo", 'T'},
    {PANEL_APPLYFROMALL, "QPushButton", nullptr, "CBF_ButtonApplyFromAll", 'T'},
    {PANEL_ZOOM, "QPushButton", nullptr, "CBF_ButtonZoom", 'T'},
    {PANEL_AUTOADJUST, "QPushButton", nullptr, "CBF_AutoAdjust", 'T'},
    {PANEL_SELECT_FILE, "QPushButton", "i32", "CBF_SelectFILE", 'F'},
    {PANEL_SELECT_EEPROM, "QPushButton", "i32", "CBF_SelectEEPROM", 'F'},
    {PANEL_AUTOINC, "QRadioButton", "i32", "CBF_RadioInc", 'T'},
    {PANEL_SELECT_RAM, "QPushButton", "i32", "CBF_SelectRAM", 'F'},
    {PANEL_LOGO, "QLabel", nullptr, nullptr, 'F'},
    {PANEL_STATUS, "QLineEdit", "string", "CBF_DispStatus", 'F'},
    {PANEL_POWER, "TintaroSlide", "u16", "CBF_SlidePower", 'P'},
    {PANEL_NO, "QSpinBox", "u16", "CBF_EditNo", 'T'},
    {PANEL_PARA_DECO_1, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_PARA_DECO_2, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_EVALMODE, "QComboBox", "u16", "CBF_Evalmode", 'P'},
    {PANEL_HOLD, "QSpinBox", "u16", "CBF_EditHold", 'P'},
    {PANEL_OUTMODE, "QComboBox", "u16", "CBF_EditOutmode", 'P'},
    {PANEL_MAXCOLNO, "QSpinBox", "u16", "CBF_EditMaxcolNo", 'P'},
    {PANEL_PARA_DECO_3, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_PARA_DECO_4, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_TRIGGER, "QComboBox", "u16", "CBF_EditTrigger", 'P'},
    {PANEL_COL_DECO, "QLabel", nullptr, nullptr, 'D'},
    {PANEL_RAW_DECO, "QLabel", nullptr, nullptr, 'R'},
    {PANEL_INT_DECO, "QLabel", nullptr, nullptr, 'D'},
    {PANEL_Y_DECO, "QLabel", nullptr, nullptr, 'D'},
    {PANEL_X_DECO, "QLabel", nullptr, nullptr, 'D'},
    {PANEL_GRAPHDATA2, "TintaroGraph", nullptr, "CBF_GraphData2", 'F'},
    {PANEL_GRAPHDATA1, "TintaroGraph", nullptr, "CBF_GraphData1", 'S'},
    {PANEL_PARA_DECO_5, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_AVERAGE, "QSpinBox", "u16", "CBF_EditAverage", 'P'},
    {PANEL_PARA_DECO_6, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_BLUE, "TintaroColorBar", "u16", "CBF_DispBLUE", 'F'},
    {PANEL_GREEN, "TintaroColorBar", "u16", "CBF_DispGREEN", 'F'},
    {PANEL_RED, "TintaroColorBar", "u16", "CBF_DispRED", 'F'},
    {PANEL_SOURCE, "QComboBox", "u16", "CBF_SelectSource", 'F'},
    {PANEL_PMOD, "QComboBox", "u16", "CBF_EditPmod", 'P'},
    {PANEL_PARA_DECO_7, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_X, "QSpinBox", "u16", "CBF_DispX", 'D'},
    {PANEL_TABLE, "QTableWidget", "u16", nullptr, 'T'},
    {PANEL_Y, "QSpinBox", "u16", "CBF_DispY", 'D'},
    {PANEL_INT, "QSpinBox", "u16", "CBF_DispINT", 'D'},
    {PANEL_RAW, "QSpinBox", "u16", "CBF_DispRAW", 'R'},
    {PANEL_PARA_DECO_8, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_COL, "QSpinBox", "u16", "CBF_DispCOL", 'D'},
    {PANEL_PARAVISIBLE, "QCheckBox", "i32", "CBF_ParaVisible", 'F'},
    {PANEL_INTLIM, "QSpinBox", "u16", "CBF_EditIntlim", 'P'},
    {PANEL_PARA_DECO_9, "QLabel", nullptr, nullptr, 'P'},
    {PANEL_LOGOFRAME, "QFrame", nullptr, nullptr, 'F'},
    {PANEL_GRAPHRAW1, "TintaroStripChart", nullptr, "CBF_GraphRaw1", 'S'},
    {PANEL_SEND, "QPushButton", nullptr, "CBF_ButtonSend", 'F'},
    {PANEL_GET, "QPushButton", nullptr, "CBF_ButtonGet", 'F'},
    {PANEL_GO, "QPushButton", nullptr, "CBF_ButtonGo", 'F'},
    {PANEL_STOP, "QPushButton", nullptr, "CBF_ButtonStop", 'F'},
};

// Companion captions: caption id, text, the control it labels.
struct Caption {
    int id;
    const char *text;
    int control;
};
const Caption kCaptions[] = {
    {PANEL_PARA_DECO_1, "EXP-TIME [µs]", PANEL_POWER},
    {PANEL_PARA_DECO_2, "PMOD", PANEL_PMOD},
    {PANEL_PARA_DECO_3, "AVERAGE", PANEL_AVERAGE},
    {PANEL_PARA_DECO_4, "EVALMODE", PANEL_EVALMODE},
    {PANEL_PARA_DECO_5, "HOLD [ms]", PANEL_HOLD},
    {PANEL_PARA_DECO_6, "INTLIM", PANEL_INTLIM},
    {PANEL_PARA_DECO_7, "MAXCOL-No.", PANEL_MAXCOLNO},
    {PANEL_PARA_DECO_8, "OUTMODE", PANEL_OUTMODE},
    {PANEL_PARA_DECO_9, "TRIGGER", PANEL_TRIGGER},
    {PANEL_X_DECO, "X", PANEL_X},
    {PANEL_Y_DECO, "Y", PANEL_Y},
    {PANEL_INT_DECO, "INT", PANEL_INT},
    {PANEL_COL_DECO, "C-No:", PANEL_COL},
    {PANEL_RAW_DECO, "RAW", PANEL_RAW},
};

constexpr int kPanelWidth = 1000, kPanelHeight = 720, kLogoBand = 62;

// ---- The panel and its controls ------------------------------------------------------------

TEST(PanelResource, IsDesignerXmlForOneFixedSizePanel) {
    const Resource &r = Res();
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.version, "4.0");
    EXPECT_EQ(r.root.cls, "QWidget");
    EXPECT_EQ(r.root.str("windowTitle"), "Tintaro V1.0");
    EXPECT_EQ(r.root.ctrlId(), PANEL);
    EXPECT_EQ(r.root.str("callback"), "CBF_P");
    for (const char *p : {"minimumSize", "maximumSize"}) {
        ASSERT_TRUE(r.root.has(p)) << p;
        EXPECT_EQ(r.root.props.at(p).sub.at("width").toInt(), kPanelWidth) << p;
        EXPECT_EQ(r.root.props.at(p).sub.at("height").toInt(), kPanelHeight) << p;
    }
    // Every class the loader must create itself is declared, as Designer needs it.
    for (const auto &w : r.controls)
        if (w.cls.startsWith("Tintaro")) {
            EXPECT_EQ(r.customClasses.count(w.cls) ? r.customClasses.at(w.cls) : QString(),
                      "QWidget")
                << w.cls.toStdString();
        }
}

TEST(PanelResource, EveryIdentifierOnceWithKindTypeCallbackAndGroup) {
    const Resource &r = Res();
    ASSERT_EQ(std::size(kControls), 55u);
    std::map<int, int> seen;
    for (const auto &w : r.controls) {
        EXPECT_EQ(w.nested, 0) << w.name.toStdString() << " holds widgets or a layout";
        if (w.has("ctrlId")) {
            EXPECT_TRUE(w.props.at("ctrlId").dynamic && w.props.at("ctrlId").type == "number");
            ++seen[w.ctrlId()];
        }
    }
    std::set<int> expectedIds;
    for (const Expected &e : kControls) {
        expectedIds.insert(e.id);
        SCOPED_TRACE("control " + std::to_string(e.id));
        EXPECT_EQ(seen[e.id], 1);
        const Widget *w = r.byId(e.id);
        if (!w)
            continue;
        EXPECT_EQ(w->cls, e.cls);
        EXPECT_EQ(w->str("dataType"), e.dataType ? e.dataType : "");
        EXPECT_EQ(w->str("callback"), e.callback ? e.callback : "");
        EXPECT_EQ(w->str("group"), QString(QChar(e.group)));
    }
    for (const auto &[id, count] : seen)
        EXPECT_TRUE(expectedIds.count(id)) << "unexpected ctrlId " << id << " (x" << count << ")";
}

TEST(PanelResource, RingsListTheirItemsWithExplicitValues) {
    struct Ring {
        int id;
        std::vector<std::pair<int, const char *>> items;
        int defaultValue;
    };
    const Ring rings[] = {
        {PANEL_PMOD, {{0, "STAT"}, {1, "DYN"}}, 0},
        {PANEL_TRIGGER, {{0, "CONT"}, {1, "EXT"}}, 0},
        {PANEL_OUTMODE, {{0, "DIRECT HI"}, {1, "BINARY"}, {2, "DIRECT LO"}}, 1},
        {PANEL_EVALMODE,
         {{0, "X/Y INT"},
          {1, "X/Y"},
          {2, "CONTRAST R"},
          {3, "CONTRAST G"},
          {4, "CONTRAST B"},
          {5, "X/Y INT CONT"}},
         0},
        {PANEL_SOURCE,
         {{0, "X/Y"}, {1, "RGB"}, {2, "RED"}, {3, "GREEN"}, {4, "BLUE"}, {5, "INT"}, {6, "C-No"}},
         0},
    };
    for (const Ring &ring : rings) {
        REQUIRE_CONTROL(w, ring.id);
        SCOPED_TRACE(w->name.toStdString());
        QStringList texts, values;
        for (const auto &[v, t] : ring.items) {
            values << QString::number(v);
            texts << QString::fromUtf8(t);
        }
        EXPECT_EQ(w->items, texts);
        EXPECT_EQ(w->str("ringValues"), values.join(','));
        EXPECT_EQ(values.value(w->num("currentIndex")), QString::number(ring.defaultValue));
    }
    REQUIRE_CONTROL(com, PANEL_COMPORT);
    QStringList texts, values;
    for (int n = 1; n <= 16; ++n) {
        texts << QStringLiteral("COM%1").arg(n);
        values << QString::number(n);
    }
    EXPECT_EQ(com->items, texts);
    EXPECT_EQ(com->str("ringValues"), values.join(','));
    EXPECT_TRUE(com->flag("comPortList"));
    EXPECT_EQ(com->num("currentIndex"), 0); // COM1, where start-up opens the port
}

TEST(PanelResource, CommandKeysAndSwitchesStartAsTheProgramExpects) {
    const std::pair<int, const char *> keys[] = {
        {PANEL_SEND, "F9"}, {PANEL_GET, "F10"}, {PANEL_GO, "F11"}, {PANEL_STOP, "F12"}};
    for (const auto &[id, key] : keys) {
        REQUIRE_CONTROL(w, id);
        EXPECT_EQ(w->str("shortcut"), key) << w->name.toStdString();
    }
    // One memory switch on, RAM, matching target = RAM at start.
    const std::pair<int, bool> memory[] = {
        {PANEL_SELECT_RAM, true}, {PANEL_SELECT_EEPROM, false}, {PANEL_SELECT_FILE, false}};
    for (const auto &[id, on] : memory) {
        REQUIRE_CONTROL(w, id);
        EXPECT_TRUE(w->flag("checkable")) << w->name.toStdString();
        EXPECT_EQ(w->flag("checked"), on) << w->name.toStdString();
    }
    REQUIRE_CONTROL(view, PANEL_PARAVISIBLE);
    EXPECT_TRUE(view->flag("checked"));
}

TEST(PanelResource, NumericRangesAndIndicators) {
    struct Range {
        int id, min, max;
    };
    const Range editable[] = {{PANEL_AVERAGE, 1, 1024}, {PANEL_HOLD, 0, 1000},
                              {PANEL_INTLIM, 0, 4095},  {PANEL_MAXCOLNO, 0, 15},
                              {PANEL_NO, 0, 14},        {PANEL_POWER, 0, 1000}};
    for (const Range &e : editable) {
        REQUIRE_CONTROL(w, e.id);
        SCOPED_TRACE(w->name.toStdString());
        EXPECT_EQ(w->num("minimum"), e.min);
        EXPECT_EQ(w->num("maximum"), e.max);
        const int value = w->has("value") ? w->num("value") : e.min;
        EXPECT_GE(value, e.min);
        EXPECT_LE(value, e.max);
        // Commit on Enter or focus change only, never on every keystroke.
        if (w->cls == "QSpinBox") {
            EXPECT_EQ(w->str("keyboardTracking"), "false");
        }
    }
    for (int id : {PANEL_X, PANEL_Y, PANEL_INT, PANEL_COL, PANEL_RAW}) {
        REQUIRE_CONTROL(w, id);
        SCOPED_TRACE(w->name.toStdString());
        EXPECT_TRUE(w->flag("readOnly"));
        EXPECT_EQ(w->str("buttonSymbols"), "QAbstractSpinBox::NoButtons");
        EXPECT_EQ(w->num("minimum"), 0);
        EXPECT_EQ(w->num("maximum"), 65535);
    }
    REQUIRE_CONTROL(status, PANEL_STATUS);
    EXPECT_TRUE(status->flag("readOnly"));
}

TEST(PanelResource, TeachTableShowsFifteenRowsOfFiveWords) {
    REQUIRE_CONTROL(t, PANEL_TABLE);
    EXPECT_EQ(t->num("rowCount"), 15);
    EXPECT_EQ(t->num("columnCount"), 5);
    EXPECT_EQ(t->columns, QStringList({"X", "Y", "CTO", "INT", "ITO"}));
    QStringList rows;
    for (int r = 0; r < 15; ++r)
        rows << QString::number(r);
    EXPECT_EQ(t->rows, rows);
    EXPECT_EQ(t->cells.size(), 75u);
    for (const auto &[cell, text] : t->cells) {
        bool ok = false;
        const int v = text.toInt(&ok);
        EXPECT_TRUE(ok && v >= 0 && v <= 65535 && cell.first < 15 && cell.second < 5)
            << cell.first << "," << cell.second << " = " << text.toStdString();
    }
}

TEST(PanelResource, StripChartHasTheSevenHistoryTraces) {
    REQUIRE_CONTROL(chart, PANEL_GRAPHRAW1);
    EXPECT_EQ(chart->num("traces"), 7);
    EXPECT_EQ(chart->str("traceNames"), "RED,GREEN,BLUE,INT,C-No,UL,LL");
}

// Controls that may be visible together must not cover each other; the ones that share a
// place must coincide, and nothing but the logo may sit in the logo band.
TEST(PanelResource, LayoutSharesPlacesOnlyWhereTheProgramSwitches) {
    const Resource &r = Res();
    const QRect panel(0, 0, kPanelWidth, kPanelHeight);
    const auto isGraph = [](const Widget &w) {
        return w.cls.startsWith("TintaroGraph") || w.cls == "TintaroStripChart";
    };
    for (std::size_t i = 0; i < r.controls.size(); ++i) {
        const Widget &a = r.controls[i];
        const QRect ga = a.geometry();
        EXPECT_TRUE(panel.contains(ga)) << a.name.toStdString() << " leaves the panel";
        const bool logo = a.ctrlId() == PANEL_LOGO || a.ctrlId() == PANEL_LOGOFRAME;
        EXPECT_EQ(logo, ga.top() < kLogoBand) << a.name.toStdString();
        for (std::size_t j = i + 1; j < r.controls.size(); ++j) {
            const Widget &b = r.controls[j];
            if (!ga.intersects(b.geometry()) || (logo && b.ctrlId() == PANEL_LOGO))
                continue;
            const std::set<QString> groups = {a.str("group"), b.str("group")};
            const bool exclusive = groups == std::set<QString>{"P", "T"} ||
                                   groups == std::set<QString>{"D", "R"} ||
                                   (isGraph(a) && isGraph(b));
            EXPECT_TRUE(exclusive) << a.name.toStdString() << " overlaps " << b.name.toStdString();
        }
    }
    // The three graphs are stacked in one place; the zoom graph starts behind the X/Y graph.
    REQUIRE_CONTROL(g1, PANEL_GRAPHDATA1);
    REQUIRE_CONTROL(g2, PANEL_GRAPHDATA2);
    REQUIRE_CONTROL(raw, PANEL_GRAPHRAW1);
    EXPECT_EQ(g1->geometry(), g2->geometry());
    EXPECT_EQ(g1->geometry(), raw->geometry());
    EXPECT_LT(r.indexOf(PANEL_GRAPHDATA2), r.indexOf(PANEL_GRAPHDATA1));
    // The logo frame lies behind the picture and spans the band.
    REQUIRE_CONTROL(frame, PANEL_LOGOFRAME);
    EXPECT_EQ(frame->geometry(), QRect(0, 0, kPanelWidth, kLogoBand));
    EXPECT_LT(r.indexOf(PANEL_LOGOFRAME), r.indexOf(PANEL_LOGO));

    // Each caption says what it labels and sits beside (parameters) or above (displays) it.
    for (const Caption &c : kCaptions) {
        REQUIRE_CONTROL(cap, c.id);
        REQUIRE_CONTROL(ctl, c.control);
        SCOPED_TRACE(cap->name.toStdString());
        EXPECT_EQ(cap->str("text"), QString::fromUtf8(c.text));
        const QRect a = cap->geometry(), b = ctl->geometry();
        const bool beside =
            a.right() < b.left() && a.center().y() >= b.top() && a.center().y() <= b.bottom();
        const bool above = a.bottom() < b.top() && a.center().x() == b.center().x();
        EXPECT_TRUE(beside || above);
    }
}

// ---- Logo bitmaps ---------------------------------------------------------------------------

TEST(LogoBitmaps, EachVariantHasItsOwnBitmapThatFitsItsPlace) {
    // Picture position (top, left) of variants 1 to 12; variant 0 has no bitmap.
    const std::pair<int, int> place[13] = {{5, 800}, {5, 646}, {5, 705}, {6, 572}, {6, 636},
                                           {6, 325}, {6, 599}, {5, 649}, {5, 594}, {2, 7},
                                           {6, 640}, {6, 640}, {6, 650}};
    REQUIRE_CONTROL(logo, PANEL_LOGO);
    const QSize control = logo->geometry().size();
    EXPECT_FALSE(QFile::exists(QStringLiteral(TINTARO_SOURCE_DIR "/resources/logo_v0.bmp")));
    std::vector<QImage> images;
    for (int v = 1; v <= 12; ++v) {
        SCOPED_TRACE("variant " + std::to_string(v));
        const QString path = QStringLiteral(TINTARO_SOURCE_DIR "/resources/logo_v%1.bmp").arg(v);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(30);
        ASSERT_EQ(head.size(), 30);
        EXPECT_TRUE(head.startsWith("BM"));
        EXPECT_EQ(int(head[28]), 24) << "not a 24-bit bitmap";
        const QImage img(path);
        ASSERT_FALSE(img.isNull());
        const auto [top, left] = place[v];
        EXPECT_LE(img.width(), control.width());
        EXPECT_LE(img.height(), control.height());
        EXPECT_LE(left + img.width(), kPanelWidth);
        EXPECT_LE(top + img.height(), kLogoBand);
        // Variant 5's title line starts at top 30 below it, variant 9's at left 280 beside it.
        if (v == 5) {
            EXPECT_LE(top + img.height(), 30);
        }
        if (v == 9) {
            EXPECT_LE(left + img.width(), 280);
        }
        for (std::size_t k = 0; k < images.size(); ++k)
            EXPECT_NE(img, images[k]) << "same picture as variant " << k + 1;
        images.push_back(img);
    }
}

} // namespace
