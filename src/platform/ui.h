// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panels, controls, tables, pop-ups and the event loop: the run-time operations the program
// calls, addressed by panel handle and integer control identifier. No Qt type appears here.
//
// The layer's naming: functions (public and internal) in CamelCase, constants and result codes
// in UPPER_CASE with their family's prefix (UIE_, COM_, FILE_, VAL_, ATTR_), globals g_name, and
// methods of the Qt widget classes in Qt's own lowerCamelCase. Public headers sit in
// src/platform; what only the layer's own sources share sits in src/platform/private.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---- Events delivered to callbacks -------------------------------------------------------
enum {
    EVENT_COMMIT = 1,      // button pressed, value entered, ring item chosen
    EVENT_VAL_CHANGED = 2, // switch toggled, graph cursor moved
    EVENT_RIGHT_CLICK = 5, // right mouse button on a control
    EVENT_CLOSE = 11       // the panel's close box (panel callback only)
};

// ---- Result codes ------------------------------------------------------------------------
enum {
    UIE_NO_ERROR = 0,
    UIE_BAD_PANEL = -4,       // no panel with that handle
    UIE_BAD_CONTROL = -5,     // no control with that identifier
    UIE_BAD_ATTRIBUTE = -6,   // attribute code unknown or not applicable to the control
    UIE_BAD_TYPE = -7,        // C++ type does not match the control's data type
    UIE_OUT_OF_RANGE = -8,    // value does not fit the control's data type
    UIE_NO_DISPLAY = -9,      // no display platform could be opened
    UIE_FILE_NOT_FOUND = -10, // resource file missing or unreadable
    UIE_BAD_RESOURCE = -11,   // resource file malformed, or it names a callback not registered
    UIE_BAD_ARGUMENT = -12,
};

// ---- Attribute codes ----------------------------------------------------------------------
enum {
    ATTR_DIMMED = 500,             // 1 greyed and not operable, 0 normal
    ATTR_VISIBLE = 530,            // 0 hidden, 1 shown
    ATTR_LEFT = 531,               // pixels from the panel's left edge
    ATTR_TOP = 532,                // pixels from the panel's top edge
    ATTR_FRAME_COLOR = 550,        // background colour of a decoration, 0xRRGGBB
    ATTR_ZPLANE_POSITION = 610,    // stacking: 0 in front of its siblings, 100 behind them
    ATTR_LABEL_COLOR = 640,        // table row label colour (SetTableRowAttribute)
    ATTR_LABEL_TEXT = 641,         // table column label text (SetTableColumnAttribute)
    ATTR_TEXT_COLOR = 680,         // 0xRRGGBB
    ATTR_TEXT_FONT = 682,          // font name; "AppFont" is the application's standard font
    ATTR_TEXT_POINT_SIZE = 686,    // points
    ATTR_TEXT_BGCOLOR = 690,       // 0xRRGGBB or VAL_TRANSPARENT
    ATTR_POINTS_PER_SCREEN = 1171, // strip chart: x span in points; setting it empties the chart
    ATTR_TRACE_VISIBLE = 1234,     // strip chart trace (SetTraceAttribute): 0 hidden, 1 shown
};

constexpr int VAL_TRANSPARENT = 0x1000000;

// Control style for NewCtrl.
enum { CTRL_TEXT_MSG = 160 };

// Data type codes for arrays handed to plots and array files.
enum { VAL_DOUBLE = 4, VAL_UNSIGNED_SHORT_INTEGER = 6 };

// Longest path the program keeps, terminator included.
constexpr std::size_t MAX_PATHNAME_LEN = 260;

// ---- Callbacks ----------------------------------------------------------------------------
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData,
                                int eventData1, int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void *callbackData, int eventData1,
                                 int eventData2);

// One row of the program's table from callback name to function. Exactly one of ctrl and
// panel is set.
struct CallbackEntry {
    const char *name;
    CtrlCallbackPtr ctrl;
    PanelCallbackPtr panel;
};

// Registers the table that LoadPanel binds callback names against. The table must outlive
// every panel loaded with it. Call before LoadPanel.
void RegisterCallbacks(const CallbackEntry *table, std::size_t count);

// ---- Start and loop -----------------------------------------------------------------------
// Hands the process arguments to the layer; call once from main before InitRTEEx.
void SetProcessArgs(int argc, char **argv);

// Creates the application object. Returns 1 on success, 0 when no display platform can be
// opened (the reason is printed on stderr).
int InitRTEEx(void *instance, void *reserved1, void *reserved2);

// Loads panel resource `resourceId` from `file` (a bare name is looked up beside the
// executable). Returns a positive handle or a negative UIE_ code; a callback name the
// registered table lacks is reported on stderr and fails the load.
int LoadPanel(int parentPanel, const char *file, int resourceId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);

// Runs the event loop until QuitUserInterface; returns the code passed to it.
int RunUserInterface();
// Makes RunUserInterface return once the callbacks now running have returned.
int QuitUserInterface(int code);
// Runs pending events once; callbacks run nested on this thread.
int ProcessSystemEvents();
// ProcessSystemEvents, except that the panels are drawn at the next DrawPanels rather than
// now; a callback that runs meanwhile draws them first, and any later event processing does
// too. A loop that talks to the sensor draws while its next request is on the wire instead of
// between a reply and that request.
int ProcessSystemEventsDrawLater();
// Draws what changed on the panels since they were last drawn. Handles no input: no callback
// runs.
int DrawPanels();

// ---- Controls -----------------------------------------------------------------------------
// Values are typed: a control declares u16, i32 or string. Reading refuses a mismatching
// type with UIE_BAD_TYPE and writes nothing. Numeric writes accept any integer that fits the
// control's type (UIE_OUT_OF_RANGE otherwise). Programmatic writes raise no event.
int GetCtrlVal(int panel, int control, std::uint16_t *value);
int GetCtrlVal(int panel, int control, std::int32_t *value);
// Copies the text, Latin-1, truncated to size - 1 bytes and terminated.
int GetCtrlVal(int panel, int control, char *text, std::size_t size);
int SetCtrlVal(int panel, int control, std::int32_t value);
int SetCtrlVal(int panel, int control, std::uint16_t value);
int SetCtrlVal(int panel, int control, const char *text); // Latin-1

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);

// Creates a control at run time; returns its identifier or a negative code.
int NewCtrl(int panel, int style, const char *label, int top, int left);
// Shows an image file in a picture control; a bare name is looked up beside the executable.
int DisplayImageFile(int panel, int control, const char *file);

// ---- Tables -------------------------------------------------------------------------------
struct Point {
    int x; // column, from 1
    int y; // row, from 1
};
Point MakePoint(int x, int y);
int GetTableCellVal(int panel, int control, Point cell, std::uint16_t *value);
int SetTableCellVal(int panel, int control, Point cell, std::int32_t value);
int SetTableRowAttribute(int panel, int control, int row, int attribute, int value);
int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value);
int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value);
// Copies a column label (Latin-1), truncated to size - 1 bytes and terminated.
int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *value,
                            std::size_t size);

// ---- Pop-ups ------------------------------------------------------------------------------
// Modal message box with one button; returns when it is dismissed.
int MessagePopup(const char *title, const char *message);

// As MessagePopup, with a file name shown at the end of the message. `path` is in the
// system's file-name encoding, as the file functions take it, and shown as such (not as
// Latin-1), so that a name like "grün.dat" reads right.
int MessagePopupWithPath(const char *title, const char *message, const char *path);

// Modal file dialog. Returns 1 when a path (existing or new) was chosen and copied into
// `pathOut` (MAX_PATHNAME_LEN bytes), 0 on cancel, negative on error.
int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathOut);

// Modal yes/no question: `path` (file-name encoding, may be empty) is shown first, then
// `question` (Latin-1), as in "init.dat" + " exists. Replace it?". `buttons` names the two
// answers: CONFIRM_YES_NO or CONFIRM_CLOSE_CANCEL. Returns 1 for Yes (Close), 0 for No
// (Cancel) or Escape, negative on error.
enum { CONFIRM_YES_NO = 0, CONFIRM_CLOSE_CANCEL = 1 };
int ConfirmPopup(const char *title, const char *path, const char *question, int buttons);
// Modal list: `rows` under the column titles of `header`, columns separated by tabs (UTF-8,
// shown as plain text), with one button per entry of `buttons`; a double click presses the first.
// Returns the number (from 1) of the button pressed with *row the selected row (from 0, -1 for
// none), 0 when the list was closed otherwise, UIE_BAD_ARGUMENT without buttons or row.
int ListPopup(const char *title, const std::string &header, const std::vector<std::string> &rows,
              const std::vector<std::string> &buttons, int *row);
// Modal view of a longer plain text (UTF-8) in a fixed-width font; returns 1 when closed.
int TextPopup(const char *title, const std::string &text);

// Every pop-up goes through one handler. Tests install their own to script the answer and
// record what would have been shown; an empty handler restores the real dialogs.
struct PopupRequest {
    enum Kind { Message, FileSelect, Question, List, Text } kind = Message;
    std::string title;   // Latin-1 bytes as passed
    std::string message; // Message, Question and Text
    // Message: a file name shown after the message; Question: before it (file-name encoding).
    std::string path;
    int buttons = CONFIRM_YES_NO;               // Question only
    std::string directory, defaultName, filter; // FileSelect only
    int restrictDirectory = 0, restrictExtension = 0, allowCancel = 1, allowMakeDirectory = 0;
    std::string header;                     // List only (Text puts its text in message)
    std::vector<std::string> rows, choices; // List only: its rows and its buttons
};
struct PopupAnswer {
    int result = 1;   // what the pop-up function returns (Question: 1 yes, 0 no)
    std::string path; // FileSelect: the chosen path when result > 0
    int row = -1;     // List: the selected row
};
using PopupHandler = std::function<PopupAnswer(const PopupRequest &)>;
void SetPopupHandler(PopupHandler handler);
// Called with 1 just before any pop-up opens (or its handler is asked) and with 0 once it has
// closed, so that state shown beside the panel can say what the pop-up holds up. nullptr
// removes it.
using PopupObserver = void (*)(int opening);
void SetPopupObserver(PopupObserver observer);

// ---- Around the panel ----------------------------------------------------------------------
// The window of a top-level panel carries a status bar under the panel, for state that the
// panel itself does not show. It has kStatusFields text fields, left to right; a field that
// is too narrow for its text elides it and shows it whole as a tooltip.
constexpr int kStatusFields = 6;
// Sets the text of a field (UTF-8, so that file names and any sensor text show as they are).
// Returns 0, UIE_BAD_PANEL, or UIE_BAD_ARGUMENT for a field outside 0..kStatusFields-1 or no
// text.
int SetStatusBarText(int panel, int field, const char *text);
// Copies a field's text (UTF-8), truncated to size - 1 bytes and terminated.
int GetStatusBarText(int panel, int field, char *text, std::size_t size);
// Shows a field in warning colours (on = 1) or plainly (0); same results as SetStatusBarText.
int SetStatusBarAlert(int panel, int field, int on);
int GetStatusBarAlert(int panel, int field, int *on);
// A note at the right end of the status bar, after the fields, for advice that comes and goes:
// shown while it has text, in warning colours with alert = 1. "" removes it. Returns 0,
// UIE_BAD_PANEL, or UIE_BAD_ARGUMENT for no text.
int SetStatusBarNote(int panel, const char *text, int alert);
// Copies the note's text (UTF-8, "" when none), truncated to size - 1 bytes and terminated, and
// whether it is in warning colours. Same results; UIE_BAD_ARGUMENT also for a missing buffer.
int GetStatusBarNote(int panel, char *text, std::size_t size, int *alert);

// The window of a top-level panel also carries a menu bar above the panel. AddMenuBarItem adds
// `item` to the menu named `menu` (made on first use, menus in the order they were first
// named); choosing it calls `callback` with the panel and the item's id. Returns the item's id
// (positive), UIE_BAD_PANEL, or UIE_BAD_ARGUMENT for a missing name or callback.
using MenuItemCallback = void (*)(int panel, int item);
int AddMenuBarItem(int panel, const char *menu, const char *item, MenuItemCallback callback);
// Enables an item (enabled = 1) or greys it out (0). Returns 0 or UIE_BAD_ARGUMENT.
int SetMenuBarItemEnabled(int item, int enabled);
// The versions of the libraries under the layer, as "Qt 6.4.2, QCustomPlot 2.1.0".
const char *LayerLibraryVersions();

// Called after every event delivered to a control of any panel, once its callback (if it has
// one) has returned; controls without a callback (the table) report their edits too. This is
// how state shown beside the panel follows the operator's edits. nullptr removes it.
using ControlEventObserver = void (*)(int panel, int control, int event);
void SetControlEventObserver(ControlEventObserver observer);
