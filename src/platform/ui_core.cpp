// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Application start, panel registry, control events and the event loop.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QIcon>
#include <QLayout>
#include <QLibrary>
#include <QMainWindow>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/private/graph_widgets.h"
#include "platform/private/internal.h"
#include "platform/private/log.h"
#include "platform/private/ui_private.h"
#include "platform/private/ui_scale.h"
#include "platform/private/ui_widgets.h"

namespace platform {
namespace {

int g_argc = 1;
char g_defaultName[] = "tintaro";
char *g_defaultArgv[] = {g_defaultName, nullptr};
char **g_argv = g_defaultArgv;

std::map<int, Panel> g_panels;
int g_nextHandle = 1;
int g_latestHandle = 0;

QEventLoop *g_loop = nullptr;
ControlEventObserver g_observer = nullptr;
bool g_quitPending = false;
int g_quitCode = 0;

// The platform plugin Qt will pick: -platform on the command line, then QT_QPA_PLATFORM.
QString PlatformName() {
    for (int i = 1; i + 1 < g_argc; ++i)
        if (std::strcmp(g_argv[i], "-platform") == 0 || std::strcmp(g_argv[i], "--platform") == 0)
            return QString::fromLocal8Bit(g_argv[i + 1]);
    return qEnvironmentVariable("QT_QPA_PLATFORM");
}

// True when an X server answers at DISPLAY; the xcb plugin would abort the process otherwise.
bool XServerReachable(QString *why) {
    QLibrary xcb(QStringLiteral("libxcb.so.1"));
    if (!xcb.load()) {
        *why = QStringLiteral("libxcb.so.1 cannot be loaded: ") + xcb.errorString();
        return false;
    }
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    using Disconnect = void (*)(void *);
    auto connect = reinterpret_cast<Connect>(xcb.resolve("xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(xcb.resolve("xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(xcb.resolve("xcb_disconnect"));
    if (!connect || !hasError || !disconnect) {
        *why = QStringLiteral("libxcb.so.1 lacks the connection functions");
        return false;
    }
    void *c = connect(nullptr, nullptr);
    const bool ok = c && hasError(c) == 0;
    if (c)
        disconnect(c);
    if (!ok)
        *why = QStringLiteral("cannot connect to the X server at DISPLAY=") +
               qEnvironmentVariable("DISPLAY");
    return ok;
}

// Consumes right-button presses on a control and its children and reports them as
// EVENT_RIGHT_CLICK; context menus are suppressed so the right click does nothing else.
class RightClickFilter : public QObject {
public:
    RightClickFilter(QWidget *control) : QObject(control), control_(control) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: {
            auto *me = static_cast<QMouseEvent *>(e);
            if (me->button() != Qt::RightButton)
                return false;
            if (e->type() == QEvent::MouseButtonPress && control_)
                DispatchCtrlEvent(control_, EVENT_RIGHT_CLICK);
            return true;
        }
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> control_;
};

// Watches a panel's frame before it draws: puts the values written to its number fields into
// them and replots the plots that are due. While ProcessSystemEventsDrawLater holds drawing
// back, it keeps the frame's repaint request instead; released, the request is posted again,
// so that whatever runs the event loop next draws the frame: nothing stays undrawn.
class FrameDrawFilter : public QObject {
public:
    FrameDrawFilter(QWidget *frame, int handle) : QObject(frame), handle_(handle) {}

    static void Hold() { holding_ = true; }
    static void Release() {
        holding_ = false;
        for (const QPointer<QObject> &frame : held_)
            if (frame)
                QCoreApplication::postEvent(frame, new QEvent(QEvent::UpdateRequest),
                                            Qt::LowEventPriority);
        held_.clear();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override {
        if (e->type() != QEvent::UpdateRequest)
            return false;
        if (holding_) {
            if (std::find(held_.begin(), held_.end(), watched) == held_.end())
                held_.emplace_back(watched);
            return true;
        }
        if (Panel *p = FindPanel(handle_))
            ApplyPendingNumbers(*p);
        CoalescedPlot::FlushDue();
        return false;
    }

private:
    int handle_;
    static inline bool holding_ = false;
    static inline std::vector<QPointer<QObject>> held_;
};

// A number field drawn on its own (a grab of the panel, an expose) takes its pending value
// first.
class NumberPaintFilter : public QObject {
public:
    NumberPaintFilter(QWidget *field, int panel, int id)
        : QObject(field), panel_(panel), id_(id) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        int error = 0;
        if (e->type() == QEvent::Paint)
            if (Control *c = FindControl(panel_, id_, &error))
                ApplyPendingNumber(*c);
        return false;
    }

private:
    int panel_, id_; // the field's own: a live display is painted every record
};

// The close box raises EVENT_CLOSE; the window stays until the program discards it.
class CloseFilter : public QObject {
public:
    CloseFilter(QWidget *window, int handle) : QObject(window), handle_(handle) {}

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() != QEvent::Close)
            return false;
        e->ignore();
        DispatchPanelClose(handle_);
        return true;
    }

private:
    int handle_;
};

} // namespace

QString FromLatin1(const char *text) {
    return QString::fromLatin1(text ? text : "");
}

QColor ToQColor(int rgb) {
    if (rgb == VAL_TRANSPARENT)
        return QColor(Qt::transparent);
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

QString ResolveBesideExecutable(const char *file) {
    const QString name = QFile::decodeName(file ? file : "");
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return name;
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

Panel *FindPanel(int handle) {
    auto it = g_panels.find(handle);
    if (it == g_panels.end() || !it->second.window)
        return nullptr;
    return &it->second;
}

Control *FindControl(int panel, int control, int *error, const char *call) {
    Panel *p = FindPanel(panel);
    if (!p) {
        *error = Logged(UIE_BAD_PANEL, "%s(panel %d, control %d)", call, panel, control);
        return nullptr;
    }
    auto it = p->controls.find(control);
    if (it == p->controls.end() || !it->second.widget) {
        *error = Logged(UIE_BAD_CONTROL, "%s(panel %d, control %d)", call, panel, control);
        return nullptr;
    }
    *error = UIE_NO_ERROR;
    return &it->second;
}

QWidget *FindCtrl(int panel, int control, const char *call) {
    int error = 0;
    Control *c = FindControl(panel, control, &error, call);
    return c ? c->widget.data() : nullptr;
}

Panel *LatestPanel() {
    if (Panel *p = FindPanel(g_latestHandle))
        return p;
    for (auto it = g_panels.rbegin(); it != g_panels.rend(); ++it)
        if (it->second.window)
            return &it->second;
    return nullptr;
}

void DispatchCtrlEvent(QWidget *widget, int event, int eventData1, int eventData2) {
    if (!widget)
        return;
    const int handle = widget->property("tintaroPanel").toInt();
    const int id = widget->property("ctrlId").toInt();
    int error = 0;
    Control *c = FindControl(handle, id, &error);
    if (!c || c->widget != widget)
        return;
    ReleaseHeldDraws();
    if (c->callback)
        c->callback(handle, id, event, nullptr, eventData1, eventData2);
    if (g_observer)
        g_observer(handle, id, event);
}

void DispatchPanelClose(int handle) {
    Panel *p = FindPanel(handle);
    ReleaseHeldDraws();
    if (p && p->callback)
        p->callback(handle, EVENT_CLOSE, nullptr, 0, 0);
}

Control &AddControl(Panel &panel, QWidget *w, int id, Kind kind, DataType type,
                    CtrlCallbackPtr callback) {
    Control &c = panel.controls[id];
    c.id = id;
    c.widget = w;
    c.kind = kind;
    c.type = type;
    c.callback = callback;
    w->setProperty("ctrlId", id);
    w->setProperty("tintaroPanel", panel.handle);

    auto *filter = new RightClickFilter(w);
    w->installEventFilter(filter);
    for (QWidget *child : w->findChildren<QWidget *>())
        child->installEventFilter(filter);

    // Each connection uses the widget as context, so it ends with the widget.
    const auto commit = [w] { DispatchCtrlEvent(w, EVENT_COMMIT); };
    switch (kind) {
    case Kind::Button:
        // A shortcut key leaves the focus in the field being edited: what the operator typed
        // there is taken first, so that the button acts on what the panel shows.
        QObject::connect(static_cast<QAbstractButton *>(w), &QAbstractButton::clicked, w, [w] {
            QPointer<QWidget> guard(w);
            CommitPendingEdit(PanelWindowOf(w));
            if (guard)
                DispatchCtrlEvent(w, EVENT_COMMIT);
        });
        break;
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        QObject::connect(static_cast<QAbstractButton *>(w), &QAbstractButton::clicked, w, [w] {
            QPointer<QWidget> guard(w);
            DispatchCtrlEvent(w, EVENT_VAL_CHANGED);
            if (guard)
                DispatchCtrlEvent(w, EVENT_COMMIT);
        });
        break;
    case Kind::Numeric: {
        auto *spin = static_cast<QSpinBox *>(w);
        spin->setKeyboardTracking(false);
        if (spin->isReadOnly())
            spin->installEventFilter(new NumberPaintFilter(spin, panel.handle, id));
        QObject::connect(spin, &QSpinBox::valueChanged, w, commit);
        break;
    }
    case Kind::Slide:
        QObject::connect(static_cast<TintaroSlide *>(w), &TintaroSlide::committed, w, commit);
        break;
    case Kind::Ring:
        QObject::connect(static_cast<QComboBox *>(w), &QComboBox::activated, w, commit);
        break;
    case Kind::Table: {
        auto *table = static_cast<QTableWidget *>(w);
        QObject::connect(table, &QTableWidget::itemChanged, w, [w](QTableWidgetItem *item) {
            DispatchCtrlEvent(w, EVENT_COMMIT, item->row() + 1, item->column() + 1);
        });
        break;
    }
    default:
        break;
    }
    return c;
}

void SetUpKeyboard(Panel &p); // ui_keyboard.cpp

// Called by LoadPanel once the widget tree is built and checked.
int RegisterPanel(QWidget *window, PanelCallbackPtr callback, std::map<int, Control> *controls) {
    const int handle = g_nextHandle++;
    Panel &p = g_panels[handle];
    p.handle = handle;
    p.window = window;
    p.callback = callback;
    window->setProperty("tintaroPanel", handle);
    // The panel sits in a main window that adds a menu bar and a status bar around it; the
    // panel keeps its content and scales uniformly with the window.
    auto *frame = new QMainWindow;
    frame->setWindowTitle(window->windowTitle());
    frame->setWindowIcon(window->windowIcon());
    frame->setCentralWidget(new PanelHost(window));
    frame->setProperty("tintaroPanel", handle);
    frame->installEventFilter(new CloseFilter(frame, handle));
    frame->installEventFilter(new FrameDrawFilter(frame, handle));
    p.frame = frame;
    for (auto &entry : *controls) {
        const Control &c = entry.second;
        AddControl(p, c.widget, c.id, c.kind, c.type, c.callback).ringValues = c.ringValues;
    }
    SetUpKeyboard(p);
    g_latestHandle = handle;
    return handle;
}

} // namespace platform

using namespace platform;

void SetProcessArgs(int argc, char **argv) {
    if (argc > 0 && argv) {
        g_argc = argc;
        g_argv = argv;
    }
}

int InitRTEEx(void *, void *, void *) {
    if (QCoreApplication::instance())
        return 1;
    const QString platformName = PlatformName().section(QLatin1Char(':'), 0, 0);
    const QString first = platformName.section(QLatin1Char(';'), 0, 0);
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (first == QLatin1String("xcb") || (first.isEmpty() && !wayland)) {
        QString why;
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            why = QStringLiteral("DISPLAY is not set");
        else
            XServerReachable(&why);
        if (!why.isEmpty()) {
            std::fprintf(stderr,
                         "tintaro: no display available (%s); set DISPLAY or run with "
                         "QT_QPA_PLATFORM=offscreen\n",
                         why.toLocal8Bit().constData());
            return 0;
        }
    }
    static int argc = g_argc;
    new QApplication(argc, g_argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The desktop entry's icon, in the sizes installed beside the program.
    QIcon icon;
    for (const char *file : {"tintaro-48.png", "tintaro-128.png"})
        if (QFileInfo::exists(ResolveBesideExecutable(file)))
            icon.addFile(ResolveBesideExecutable(file));
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
    // Only QuitUserInterface ends the program's loop, not the last pop-up closing.
    QApplication::setQuitOnLastWindowClosed(false);
    return 1;
}

int DisplayPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_PANEL;
    QWidget *top = p->frame ? static_cast<QWidget *>(p->frame.data()) : p->window.data();
    // The first showing opens at a size that fits the screen. The offscreen platform has no
    // real screen: there the panel keeps its design size.
    if (p->frame && !top->isVisible() && !top->property("tintaroFitted").toBool()) {
        top->setProperty("tintaroFitted", true);
        auto *host = dynamic_cast<PanelHost *>(p->frame->centralWidget());
        if (host && QGuiApplication::platformName() != QLatin1String("offscreen"))
            FitWindowToScreen(top, host);
        else
            top->resize(top->sizeHint());
    }
    top->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        top->raise(); // the offscreen platform has no stacking and says so
    top->activateWindow();
    return 0;
}

int DiscardPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_PANEL;
    QWidget *w = p->frame ? static_cast<QWidget *>(p->frame.data()) : p->window.data();
    g_panels.erase(panel);
    w->hide();
    // A callback of this panel may be running further up the stack.
    w->deleteLater();
    return 0;
}

int RunUserInterface() {
    if (!QCoreApplication::instance())
        return UIE_NO_DISPLAY;
    if (!g_quitPending) {
        QEventLoop loop;
        QEventLoop *outer = g_loop;
        g_loop = &loop;
        loop.exec();
        g_loop = outer;
    }
    g_quitPending = false;
    return g_quitCode;
}

int QuitUserInterface(int code) {
    g_quitCode = code;
    g_quitPending = true;
    // exec() returns only when control is back in the loop, i.e. after nested callbacks.
    if (g_loop)
        g_loop->exit(code);
    return 0;
}

void SetControlEventObserver(ControlEventObserver observer) {
    g_observer = observer;
}

int ProcessSystemEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    return 0;
}

int ProcessSystemEventsDrawLater() {
    if (!QCoreApplication::instance())
        return 0;
    FrameDrawFilter::Hold();
    QCoreApplication::processEvents();
    FrameDrawFilter::Release();
    return 0;
}

int DrawPanels() {
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    return 0;
}

void platform::ReleaseHeldDraws() {
    FrameDrawFilter::Release();
}
