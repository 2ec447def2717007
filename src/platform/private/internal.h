// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Shared between the layer's own source files; never included by the program.
#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace platform {

// The control with that identifier on that panel, or nullptr. A miss is logged as a failure of
// `call`, by default the function asking (GCC and Clang fill it in at the call).
QWidget *FindCtrl(int panel, int control, const char *call = __builtin_FUNCTION());

// Delivers an event to the callback bound to `widget` (if any), on this thread.
void DispatchCtrlEvent(QWidget *widget, int event, int eventData1 = 0, int eventData2 = 0);

// Creates a graph-layer widget (classes "TintaroGraph", "TintaroStripChart") for the panel
// loader; nullptr for any other class name.
QWidget *CreateGraphWidget(const QString &className, QWidget *parent, const QString &name);

// Graph-layer attributes (ATTR_POINTS_PER_SCREEN and any other graph-only code): returns
// UIE_BAD_ATTRIBUTE when the widget is not a graph widget or the code is unknown to it.
int SetGraphCtrlAttribute(QWidget *widget, int attribute, int value);
int GetGraphCtrlAttribute(QWidget *widget, int attribute, int *value);

// 0xRRGGBB to QColor; VAL_TRANSPARENT gives a transparent colour.
QColor ToQColor(int rgb);

// Latin-1 conversions used at every text boundary.
QString FromLatin1(const char *text);

} // namespace platform
