// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Uniform scaling of a panel: every control keeps its design geometry and font, and is laid
// out at design x scale whenever the window changes size.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace platform {

// Smallest scale the window may be shrunk to: text stays legible.
constexpr double kMinPanelScale = 0.7;

// The panel's design size (its size in the resource).
QSize PanelDesignSize(QWidget *panelWindow);
// The scale at which the panel is shown now (1 before any scaling).
double PanelScale(QWidget *panelWindow);

// A control's geometry and font in design units (what the program sees and sets).
QRect DesignRect(QWidget *control);
void SetDesignRect(QWidget *control, const QRect &r);
QFont DesignFont(QWidget *control);
void SetDesignFont(QWidget *control, const QFont &f);

// Lays the panel and all its controls out at the given scale.
void ApplyPanelScale(QWidget *panelWindow, double scale);

// The central widget of the panel's main window: centres the panel and scales it to fit,
// keeping its aspect ratio.
class PanelHost : public QWidget {
public:
    explicit PanelHost(QWidget *panelWindow);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    QWidget *panel_;
};

// Sizes a main window holding a PanelHost so that it fits the screen's available area, at
// design size where that fits.
void FitWindowToScreen(QWidget *frame, PanelHost *host);

} // namespace platform
