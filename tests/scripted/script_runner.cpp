// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Script runner: timed user actions on the panel and scripted pop-up answers, on top of the
// panel layer's private registry. Built only into test targets (tintaro-scripted and the tests).
#include "script_runner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "platform/private/internal.h"
#include "platform/private/ui_private.h"
#include "platform/ui.h"

namespace scripted {
namespace {

using namespace platform;

struct Step {
    int ms;
    QString line;
};

bool g_armed = false;
std::vector<Step> g_steps;             // read from the file, not yet started
QObject *g_context = nullptr;          // owns the pending timers of the armed script
std::deque<std::string> g_fileAnswers; // "" = cancel
std::deque<bool> g_questionAnswers;    // yes (true) or no; yes when none is queued

void Log(const QString &s) {
    std::fprintf(stderr, "%s\n", s.toLocal8Bit().constData());
}

Control *ScriptControl(const QStringList &args, int index) {
    Panel *p = LatestPanel();
    bool ok = false;
    const int id = args.value(index).toInt(&ok);
    int err = 0;
    Control *c = (p && ok) ? FindControl(p->handle, id, &err) : nullptr;
    if (!c)
        Log(QStringLiteral("SCRIPT: no control %1").arg(args.value(index)));
    return c;
}

// A key as the user types it: a button with that shortcut is clicked the way Qt's shortcut
// handling does it; any other key goes to the focus widget.
void PressKey(const QString &text) {
    Panel *p = LatestPanel();
    const QKeySequence seq(text);
    if (!p || seq.isEmpty()) {
        Log(QStringLiteral("SCRIPT: cannot press key %1").arg(text));
        return;
    }
    for (QAbstractButton *b : p->window->findChildren<QAbstractButton *>()) {
        if (b->shortcut() == seq && b->isVisibleTo(p->window) && b->isEnabled()) {
            b->setFocus(Qt::ShortcutFocusReason);
            // At once, not animated: the next step must find this one done.
            b->click();
            return;
        }
    }
    QWidget *target = p->window->focusWidget() ? p->window->focusWidget() : p->window.data();
    // A dialog on top (Find sensor) takes the keys, as it would from the keyboard.
    if (QWidget *modal = QApplication::activeModalWidget())
        target = modal->focusWidget() ? modal->focusWidget() : modal;
    const QKeyCombination k = seq[0];
    QKeyEvent press(QEvent::KeyPress, k.key(), k.keyboardModifiers());
    QKeyEvent release(QEvent::KeyRelease, k.key(), k.keyboardModifiers());
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

void RightClick(QWidget *w) {
    const QPointF local(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QPointer<QWidget> guard(w);
    QCoreApplication::sendEvent(w, &press);
    if (guard)
        QCoreApplication::sendEvent(w, &release);
}

// Sets a value the way the user would, with the events that the user's action raises.
void SetAsUser(Control &c, long long value) {
    QPointer<QWidget> w = c.widget;
    if (WriteCtrlValue(c, value) != UIE_NO_ERROR) {
        Log(QStringLiteral("SCRIPT: control %1 does not take %2").arg(c.id).arg(value));
        return;
    }
    switch (c.kind) {
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        DispatchCtrlEvent(w, EVENT_VAL_CHANGED);
        if (w)
            DispatchCtrlEvent(w, EVENT_COMMIT);
        break;
    default:
        DispatchCtrlEvent(w, EVENT_COMMIT);
        break;
    }
}

// The texts of the status bar's fields as last printed by "watch".
QStringList g_watched;

// Prints each status bar field whose text changed since the last look.
void PrintStatusChanges() {
    Panel *p = LatestPanel();
    if (!p)
        return;
    if (g_watched.size() < kStatusFields)
        g_watched = QStringList(kStatusFields, QString());
    for (int f = 0; f < kStatusFields; ++f) {
        char buf[512] = {};
        GetStatusBarText(p->handle, f, buf, sizeof buf);
        const QString text = QString::fromUtf8(buf);
        if (text != g_watched[f]) {
            g_watched[f] = text;
            Log(QStringLiteral("STATUS %1 %2").arg(f).arg(text));
        }
    }
}

void Execute(const QString &line) {
    const QStringList a = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString cmd = a.value(1);
    Log(QStringLiteral("SCRIPT %1").arg(line));
    Panel *p = LatestPanel();
    if (cmd == QLatin1String("key") && a.size() >= 3) {
        PressKey(a.mid(2).join(QLatin1Char(' ')));
    } else if (cmd == QLatin1String("click") && a.size() >= 3) {
        if (Control *c = ScriptControl(a, 2)) {
            if (auto *b = qobject_cast<QAbstractButton *>(c->widget.data()))
                b->click();
            else
                Log(QStringLiteral("SCRIPT: control %1 is not a button").arg(c->id));
        }
    } else if (cmd == QLatin1String("rightclick") && a.size() >= 3) {
        if (Control *c = ScriptControl(a, 2))
            RightClick(c->widget);
    } else if (cmd == QLatin1String("set") && a.size() >= 4) {
        bool ok = false;
        const long long v = a[3].toLongLong(&ok);
        Control *c = ok ? ScriptControl(a, 2) : nullptr;
        if (c)
            SetAsUser(*c, v);
    } else if (cmd == QLatin1String("cell") && a.size() >= 5) {
        bool okc = false, okr = false, okv = false;
        const int col = a[2].toInt(&okc), row = a[3].toInt(&okr), v = a[4].toInt(&okv);
        QTableWidget *t = nullptr;
        if (p)
            for (auto &entry : p->controls)
                if (entry.second.kind == Kind::Table && entry.second.widget)
                    t = static_cast<QTableWidget *>(entry.second.widget.data());
        QTableWidgetItem *item = (t && okc && okr) ? t->item(row - 1, col - 1) : nullptr;
        if (item && okv && v >= 0 && v <= 65535)
            item->setData(Qt::EditRole, v); // not blocked: raises the table's commit
        else
            Log(QStringLiteral("SCRIPT: bad cell command"));
    } else if (cmd == QLatin1String("file") && a.size() >= 3) {
        const QString arg = a.mid(2).join(QLatin1Char(' '));
        g_fileAnswers.push_back(
            arg == QLatin1String("cancel") ? std::string() : QFile::encodeName(arg).toStdString());
    } else if (cmd == QLatin1String("answer") && a.size() >= 3) {
        g_questionAnswers.push_back(a.value(2) != QLatin1String("no"));
    } else if (cmd == QLatin1String("menu") && a.size() >= 3) {
        // "menu Teach/Teach check...": the item of the panel window's menu bar, as if chosen.
        const QStringList path = a.mid(2).join(QLatin1Char(' ')).split(QLatin1Char('/'));
        auto *frame = p ? qobject_cast<QMainWindow *>(p->window->window()) : nullptr;
        QAction *item = nullptr;
        if (frame && path.size() == 2)
            for (QAction *m : frame->menuBar()->actions())
                if (m->menu() && m->text() == path[0])
                    for (QAction *i : m->menu()->actions())
                        if (i->text() == path[1])
                            item = i;
        if (item)
            item->trigger();
        else
            Log(QStringLiteral("SCRIPT: no menu item %1").arg(path.join(QLatin1Char('/'))));
    } else if (cmd == QLatin1String("grab") && a.size() >= 3) {
        if (!p || !p->window->window()->grab().save(a.mid(2).join(QLatin1Char(' '))))
            Log(QStringLiteral("SCRIPT: grab failed"));
    } else if (cmd == QLatin1String("grabmodal") && a.size() >= 3) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->grab().save(a.mid(2).join(QLatin1Char(' '))))
            Log(QStringLiteral("SCRIPT: grabmodal failed"));
    } else if (cmd == QLatin1String("watch")) {
        // Checked often enough for a test to see every state that lasts; each change once.
        auto *timer = new QTimer(g_context);
        QObject::connect(timer, &QTimer::timeout, [] { PrintStatusChanges(); });
        timer->start(20);
        PrintStatusChanges();
    } else if (cmd == QLatin1String("close")) {
        if (p)
            p->window->window()->close();
    } else if (cmd == QLatin1String("quit")) {
        QuitUserInterface(0);
    } else {
        Log(QStringLiteral("SCRIPT: unknown command skipped: %1").arg(line));
    }
}

std::string Escaped(const std::string &s) {
    std::string out;
    for (char ch : s) {
        if (ch == '\n')
            out += "\\n";
        else
            out += ch;
    }
    return out;
}

// Scripted runs never block on a dialog: report what would be shown and answer.
PopupAnswer Answer(const PopupRequest &r) {
    if (r.kind == PopupRequest::Message) {
        std::fprintf(stderr, "POPUP %s|%s\n", r.title.c_str(),
                     (Escaped(r.message) + r.path).c_str());
        return PopupAnswer{1, {}};
    }
    if (r.kind == PopupRequest::Question) {
        const bool yes = g_questionAnswers.empty() || g_questionAnswers.front();
        if (!g_questionAnswers.empty())
            g_questionAnswers.pop_front();
        std::fprintf(stderr, "QUESTION %s|%s%s|%s\n", r.title.c_str(), r.path.c_str(),
                     r.message.c_str(), yes ? "yes" : "no");
        return PopupAnswer{yes ? 1 : 0, {}};
    }
    PopupAnswer a{0, {}};
    if (!g_fileAnswers.empty()) {
        a.path = g_fileAnswers.front();
        g_fileAnswers.pop_front();
        a.result = a.path.empty() ? 0 : 1;
    }
    std::fprintf(stderr, "FILEPOPUP %s|%s\n", r.title.c_str(),
                 a.result > 0 ? a.path.c_str() : "cancel");
    return a;
}

bool LoopRunning() {
    return QThread::currentThread()->loopLevel() > 0;
}

QElapsedTimer g_clock;  // the steps' times count from here: the loop's start, an await's end
std::size_t g_next = 0; // the next step of g_steps to arm

void ArmNext();

// An await step: the steps after it wait until `path` exists, and count their times from then.
void Await(const QString &path) {
    if (QFileInfo::exists(path)) {
        g_clock.restart();
        ArmNext();
        return;
    }
    QTimer::singleShot(10, Qt::PreciseTimer, g_context, [path] { Await(path); });
}

// Steps are armed one after the other, each when the one before starts: they run in their order
// however late a loaded machine fires them. The next is armed before a step runs, so that it
// also fires inside the step's nested event processing (a polling loop).
void ArmNext() {
    if (g_next >= g_steps.size())
        return;
    const Step s = g_steps[g_next++];
    const qint64 due = std::max<qint64>(0, s.ms - g_clock.elapsed());
    QTimer::singleShot(int(due), Qt::PreciseTimer, g_context, [s] {
        const QStringList a = s.line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (a.value(1) == QLatin1String("await")) {
            Log(QStringLiteral("SCRIPT %1").arg(s.line));
            Await(a.mid(2).join(QLatin1Char(' ')));
            return;
        }
        ArmNext();
        // Steps belong to the run of the event loop, like the user's actions.
        if (LoopRunning())
            Execute(s.line);
    });
}

void StartSteps() {
    g_clock.start();
    g_next = 0;
    ArmNext();
}

// The program may process events during its start-up (the line check) before its event loop
// runs; the steps are timed from the loop itself.
void StartWhenLoopRuns(int ms) {
    QTimer::singleShot(ms, Qt::PreciseTimer, g_context, [] {
        if (LoopRunning())
            StartSteps();
        else
            StartWhenLoopRuns(1);
    });
}

// Runs once the application object exists: timers need its event dispatcher.
void OnApplication() {
    if (!g_armed || g_context)
        return;
    g_context = new QObject;
    StartWhenLoopRuns(0);
}

} // namespace

bool ArmScript(const char *path) {
    DisarmScript();
    const QString name = QFile::decodeName(path ? path : "");
    QFile f(name);
    if (name.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Log(QStringLiteral("SCRIPT: cannot read %1").arg(name));
        return false;
    }
    while (!f.atEnd()) {
        const QString line = QString::fromLocal8Bit(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        bool ok = false;
        const int ms = line.section(QLatin1Char(' '), 0, 0).toInt(&ok);
        if (!ok || ms < 0) {
            Log(QStringLiteral("SCRIPT: bad line skipped: %1").arg(line));
            continue;
        }
        g_steps.push_back(Step{ms, line});
    }
    // In the order of their times; an await ends the steps timed from the same moment.
    auto from = g_steps.begin();
    for (auto it = g_steps.begin(); it != g_steps.end(); ++it) {
        if (it->line.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty) == "await") {
            std::stable_sort(from, it, [](const Step &a, const Step &b) { return a.ms < b.ms; });
            from = it + 1;
        }
    }
    std::stable_sort(from, g_steps.end(), [](const Step &a, const Step &b) { return a.ms < b.ms; });
    g_armed = true;
    SetPopupHandler(Answer);
    if (QCoreApplication::instance())
        OnApplication();
    else
        qAddPreRoutine(OnApplication);
    return true;
}

void DisarmScript() {
    // Steps not yet run die with their context.
    delete g_context;
    g_context = nullptr;
    g_armed = false;
    g_steps.clear();
    g_next = 0;
    g_fileAnswers.clear();
    g_questionAnswers.clear();
    SetPopupHandler(nullptr);
}

} // namespace scripted
