// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel scaling: design geometry and fonts per control, laid out again on every resize.
#include "platform/private/ui_scale.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QResizeEvent>
#include <QScreen>
#include <QTableWidget>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

const char *const kDesignRect = "tintaroDesignRect";
const char *const kDesignFont = "tintaroDesignFont";
const char *const kDesignSize = "tintaroDesignSize";
const char *const kScale = "tintaroScale";
const char *const kPlotFonts = "tintaroDesignPlotFonts";
const char *const kSections = "tintaroDesignSections";

QFont Scaled(QFont f, double s) {
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * s);
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, int(std::lround(f.pixelSize() * s))));
    return f;
}

QRect ScaledRect(const QRect &r, double s) {
    // Edges, not sizes, are rounded: neighbouring controls stay flush at every scale.
    const int l = int(std::lround(r.left() * s));
    const int t = int(std::lround(r.top() * s));
    const int rr = int(std::lround((r.left() + r.width()) * s));
    const int b = int(std::lround((r.top() + r.height()) * s));
    return QRect(l, t, std::max(1, rr - l), std::max(1, b - t));
}

double ScaleOf(QWidget *w) {
    QWidget *panel = w->parentWidget();
    return panel ? PanelScale(panel) : 1.0;
}

// Tables size rows and columns in pixels: they scale with the rest.
void ScaleTable(QTableWidget *t, double s) {
    for (QHeaderView *h : {t->horizontalHeader(), t->verticalHeader()}) {
        QVariant design = h->property(kSections);
        if (!design.isValid()) {
            QList<QVariant> sizes;
            for (int i = 0; i < h->count(); ++i)
                sizes << h->sectionSize(i);
            sizes << h->minimumSectionSize() << h->defaultSectionSize();
            h->setProperty(kSections, sizes);
            design = sizes;
        }
        const QList<QVariant> sizes = design.toList();
        const int n = int(sizes.size()) - 2;
        h->setMinimumSectionSize(std::max(1, int(std::lround(sizes[n].toInt() * s))));
        h->setDefaultSectionSize(std::max(1, int(std::lround(sizes[n + 1].toInt() * s))));
        // Section edges rounded like control edges: the table's cells fill it at every scale.
        int edge = 0;
        double designEdge = 0;
        for (int i = 0; i < n && i < h->count(); ++i) {
            designEdge += sizes[i].toInt();
            const int next = int(std::lround(designEdge * s));
            h->resizeSection(i, std::max(1, next - edge));
            edge = next;
        }
    }
}

// Plots draw their axis texts with fonts of their own.
void ScalePlot(QCustomPlot *plot, double s) {
    QVariant design = plot->property(kPlotFonts);
    QList<QCPAxis *> axes = plot->axisRect() ? plot->axisRect()->axes() : QList<QCPAxis *>();
    if (!design.isValid()) {
        QList<QVariant> fonts;
        for (QCPAxis *a : axes)
            fonts << a->tickLabelFont() << a->labelFont();
        fonts << (plot->legend ? plot->legend->font() : plot->font());
        plot->setProperty(kPlotFonts, fonts);
        design = fonts;
    }
    const QList<QVariant> fonts = design.toList();
    for (int i = 0; i < axes.size() && 2 * i + 1 < fonts.size(); ++i) {
        axes[i]->setTickLabelFont(Scaled(fonts[2 * i].value<QFont>(), s));
        axes[i]->setLabelFont(Scaled(fonts[2 * i + 1].value<QFont>(), s));
        axes[i]->setTickLengthIn(int(std::lround(5 * s)));
        axes[i]->setSubTickLengthIn(int(std::lround(2 * s)));
    }
    if (plot->legend)
        plot->legend->setFont(Scaled(fonts.last().value<QFont>(), s));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void ApplyToControl(QWidget *w, double s) {
    w->setGeometry(ScaledRect(DesignRect(w), s));
    w->setFont(Scaled(DesignFont(w), s));
    if (auto *t = qobject_cast<QTableWidget *>(w))
        ScaleTable(t, s);
    else if (auto *p = qobject_cast<QCustomPlot *>(w))
        ScalePlot(p, s);
    else if (auto *l = qobject_cast<QLabel *>(w)) {
        // Bitmaps: the one drawn at twice the size when enlarged, so that the logo stays sharp.
        const QVariant hi = l->property("tintaroPixmap2x");
        const QVariant lo = l->property("tintaroPixmap1x");
        if (lo.isValid())
            l->setPixmap((s > 1.0 && hi.isValid() ? hi : lo).value<QPixmap>());
        l->setScaledContents(!l->pixmap().isNull());
        // Text does not shrink exactly with its point size: a text line never gets clipped.
        if (l->pixmap().isNull() && !l->wordWrap() && l->sizeHint().width() > l->width())
            l->resize(l->sizeHint().width(), l->height());
    }
}

} // namespace

QSize PanelDesignSize(QWidget *panel) {
    const QVariant v = panel->property(kDesignSize);
    return v.isValid() ? v.toSize() : panel->size();
}

double PanelScale(QWidget *panel) {
    const QVariant v = panel->property(kScale);
    return v.isValid() ? v.toDouble() : 1.0;
}

QRect DesignRect(QWidget *w) {
    const QVariant v = w->property(kDesignRect);
    if (v.isValid())
        return v.toRect();
    // Not yet recorded: the widget was placed in design units (resource, NewCtrl).
    w->setProperty(kDesignRect, w->geometry());
    return w->geometry();
}

void SetDesignRect(QWidget *w, const QRect &r) {
    w->setProperty(kDesignRect, r);
    ApplyToControl(w, ScaleOf(w));
}

QFont DesignFont(QWidget *w) {
    const QVariant v = w->property(kDesignFont);
    if (v.isValid())
        return v.value<QFont>();
    w->setProperty(kDesignFont, w->font());
    return w->font();
}

void SetDesignFont(QWidget *w, const QFont &f) {
    w->setProperty(kDesignFont, f);
    w->setFont(Scaled(f, ScaleOf(w)));
}

void ApplyPanelScale(QWidget *panel, double s) {
    if (!panel->property(kDesignSize).isValid()) {
        panel->setProperty(kDesignSize, panel->size());
        DesignFont(panel);
    }
    const QSize design = PanelDesignSize(panel);
    // Record every control's design geometry before the first change of scale.
    const QList<QWidget *> kids = panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *w : kids) {
        if (w->isWindow())
            continue;
        DesignRect(w);
        DesignFont(w);
    }
    panel->setProperty(kScale, s);
    panel->setFixedSize(ScaledRect(QRect(QPoint(0, 0), design), s).size());
    panel->setFont(Scaled(DesignFont(panel), s));
    for (QWidget *w : kids)
        if (!w->isWindow())
            ApplyToControl(w, s);
}

PanelHost::PanelHost(QWidget *panel) : panel_(panel) {
    ApplyPanelScale(panel, 1.0);
    panel->setParent(this);
    panel->move(0, 0);
    panel->setAutoFillBackground(true);
}

QSize PanelHost::sizeHint() const {
    return PanelDesignSize(panel_);
}

QSize PanelHost::minimumSizeHint() const {
    const QSize d = PanelDesignSize(panel_);
    return QSize(int(std::ceil(d.width() * kMinPanelScale)),
                 int(std::ceil(d.height() * kMinPanelScale)));
}

void PanelHost::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    const QSize d = PanelDesignSize(panel_);
    const double s = std::max(kMinPanelScale * 0.999,
                              std::min(double(width()) / d.width(), double(height()) / d.height()));
    // Within rounding the scale that fits exactly at design size is 1: no rescale then.
    const double scale = std::fabs(s - 1.0) < 1e-3 ? 1.0 : s;
    if (std::fabs(scale - PanelScale(panel_)) > 1e-9)
        ApplyPanelScale(panel_, scale);
    panel_->move(std::max(0, (width() - panel_->width()) / 2),
                 std::max(0, (height() - panel_->height()) / 2));
}

void FitWindowToScreen(QWidget *frame, PanelHost *host) {
    QScreen *screen = frame->screen() ? frame->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    // What the window adds around the panel: menu bar, status bar, and the window manager's
    // frame, which is not known before the window is shown (a generous guess).
    const QSize chrome = frame->sizeHint() - host->sizeHint();
    const QSize decoration(16, 40);
    const QSize room = avail.size() - chrome - decoration;
    const QSize d = host->sizeHint();
    const double s = std::min(
        1.0, std::min(double(room.width()) / d.width(), double(room.height()) / d.height()));
    const QSize panelSize(int(std::floor(d.width() * s)), int(std::floor(d.height() * s)));
    frame->resize(panelSize + chrome);
    // Where the design size fits, the window manager places the window as always; a shrunk
    // window starts in the top-left corner of the available area, so that all of it shows.
    if (s < 1.0)
        frame->move(avail.topLeft());
}

} // namespace platform
