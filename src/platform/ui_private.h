// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// State shared by the panel layer's own source files (panels, controls) and by test-side code
// that drives a panel the way its user does.
#pragma once

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
    std::vector<int> ringValues; // Ring: the value of each item, in item order
};

struct Panel {
    int handle = 0;
    QPointer<QWidget> window;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    int nextNewId = 1000; // identifiers of controls created at run time
};

// The panel with that handle, or nullptr.
Panel *FindPanel(int handle);
// The control, or nullptr with *error set to UIE_BAD_PANEL or UIE_BAD_CONTROL.
Control *FindControl(int panel, int control, int *error);
// Adds a widget to a panel as an addressed control and connects its events.
Control &AddControl(Panel &panel, QWidget *widget, int id, Kind kind, DataType type,
                    CtrlCallbackPtr callback);
// The most recently loaded panel still alive, or nullptr.
Panel *LatestPanel();
// Delivers EVENT_CLOSE to a panel's callback.
void DispatchPanelClose(int panel);

// A file name from the program: a bare name is looked up beside the executable.
QString ResolveBesideExecutable(const char *file);

// Writes a value into a control as the program does: signals blocked, no event.
int WriteCtrlValue(Control &c, long long value);

} // namespace platform
