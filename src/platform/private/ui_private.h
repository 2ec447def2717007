// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// State shared by the panel layer's own source files (panels, controls) and by test-side code
// that drives a panel the way its user does.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace platform {

// What a control is, decided from its widget class when the panel is loaded.
enum class Kind {
    Button,        // command button
    Toggle,        // latching (checkable) button
    Radio,         // radio button
    Switch,        // check box
    Numeric,       // spin box, editable or indicator
    Slide,         // TintaroSlide
    Ring,          // combo box with explicit item values
    TextIndicator, // read-only line edit
    Label,         // text message or picture
    Deco,          // frame
    Table,         // table of u16 cells
    ColorBar,      // TintaroColorBar
    Other          // graphs and anything else
};

enum class DataType { None, U16, I32, String };

struct Control {
    int id = 0;
    QPointer<QWidget> widget;
    Kind kind = Kind::Other;
    DataType type = DataType::None;
    CtrlCallbackPtr callback = nullptr;
    int zplane = 0;
    std::vector<int> ringValues; // Ring: the value of each item of the resource, in item order
    // Ring: a value that none of the items has is shown as one extra item after them, so that
    // it reads back exactly instead of being replaced by an item's value.
    bool hasExtraItem = false;
    int extraValue = 0;
    // Read-only number field: a value written but not laid out in the field yet. Reads return
    // it; the field takes it when its window is next drawn (ApplyPendingNumbers).
    bool hasPending = false;
    int pending = 0;
};

struct Panel {
    int handle = 0;
    QPointer<QWidget> window;     // the panel itself: the design surface of its controls
    QPointer<QMainWindow> frame;  // the top-level window around it: menu bar, status bar
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    int nextNewId = 1000; // identifiers of controls created at run time
};

// A text from outside (the sensor, a file name) made fit to show: control characters (C0, DEL,
// C1) become U+FFFD, except the line breaks that `keepNewlines` lets through. Shown only as
// plain text: never through Qt's rich-text guess, which would load the images it names.
QString ShowableText(const QString &text, bool keepNewlines = false);
// A tool tip that Qt shows as the text given, whatever mark-up it looks like.
QString PlainToolTip(const QString &text);

// Of controls stacked in one place, only the one in front is a Tab stop: one covered by a
// visible control above it is taken out of the Tab chain until it is uncovered. Called when the
// keyboard is set up and after every change of stacking or visibility (ui_keyboard.cpp).
void UpdateCoveredTabStops(QWidget *panelWindow);

// The panel with that handle, or nullptr.
Panel *FindPanel(int handle);
// The control, or nullptr with *error set to UIE_BAD_PANEL or UIE_BAD_CONTROL. A miss is logged
// as a failure of `call`, by default the function asking.
Control *FindControl(int panel, int control, int *error, const char *call = __builtin_FUNCTION());
// Adds a widget to a panel as an addressed control and connects its events.
Control &AddControl(Panel &panel, QWidget *widget, int id, Kind kind, DataType type,
                    CtrlCallbackPtr callback);
// Makes a loaded window a panel: wraps it in its frame, takes over `controls` and returns the
// new panel handle.
int RegisterPanel(QWidget *window, PanelCallbackPtr callback, std::map<int, Control> *controls);
// The most recently loaded panel still alive, or nullptr.
Panel *LatestPanel();
// Delivers EVENT_CLOSE to a panel's callback.
void DispatchPanelClose(int panel);

// A file name from the program: a bare name is looked up beside the executable.
QString ResolveBesideExecutable(const char *file);

// Writes a value into a control as the program does: signals blocked, no event.
int WriteCtrlValue(Control &c, long long value);
// Puts the values written to the panel's read-only number fields into the fields; the panel's
// frame calls it before it draws. The one-control form serves a field drawn on its own.
void ApplyPendingNumbers(Panel &panel);
void ApplyPendingNumber(Control &c);

// Lets the frames draw again at once what ProcessSystemEventsDrawLater held back; called
// before any callback runs, so that its pop-ups show the panel as it is.
void ReleaseHeldDraws();

// Commits what the operator has typed into the focused editor of the panel (a numeric field,
// a table cell) as if the editor had been left, raising its usual events. A command button
// calls this before its own commit, so that its callback reads what the panel shows.
void CommitPendingEdit(QWidget *panelWindow);

// The panel that holds the control's widget: the origin of its positions.
QWidget *PanelWindowOf(QWidget *control);

} // namespace platform
