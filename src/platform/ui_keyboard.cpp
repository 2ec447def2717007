// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Keyboard use of a panel: Tab in reading order, the table as one Tab stop, visible focus on
// latching buttons, F1 for the focused control's help.
#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QPainter>
#include <QPen>
#include <QShortcut>
#include <QTableWidget>

#include <algorithm>
#include <vector>

#include "platform/private/internal.h"
#include "platform/private/ui_private.h"
#include "platform/private/ui_scale.h"
#include "platform/private/ui_widgets.h"

namespace platform {
namespace {

// A frame drawn over a control that draws no focus of its own (the graphs), while it has the
// focus; mouse events pass through it.
class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget *target) : QWidget(target) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut) {
            setGeometry(parentWidget()->rect());
            setVisible(e->type() == QEvent::FocusIn);
            raise();
        } else if (e->type() == QEvent::Resize) {
            setGeometry(parentWidget()->rect());
        }
        return false;
    }
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
};

bool IsControl(const QWidget *w) {
    return w && w->property("ctrlId").isValid();
}

} // namespace

void UpdateCoveredTabStops(QWidget *panelWindow) {
    if (!panelWindow)
        return;
    const QObjectList &kids = panelWindow->children(); // in stacking order, bottom first
    for (int i = 0; i < kids.size(); ++i) {
        auto *w = qobject_cast<QWidget *>(kids[i]);
        if (!IsControl(w))
            continue;
        const QVariant saved = w->property("tintaroTabPolicy");
        const auto own = saved.isValid() ? Qt::FocusPolicy(saved.toInt()) : w->focusPolicy();
        if (!(own & Qt::TabFocus))
            continue;
        bool covered = false;
        for (int j = i + 1; j < kids.size() && !covered; ++j) {
            const auto *above = qobject_cast<QWidget *>(kids[j]);
            covered =
                IsControl(above) && !above->isHidden() && above->geometry().contains(w->geometry());
        }
        if (covered) {
            w->setProperty("tintaroTabPolicy", int(own));
            w->setFocusPolicy(Qt::NoFocus);
        } else if (saved.isValid()) {
            w->setFocusPolicy(own);
            w->setProperty("tintaroTabPolicy", QVariant());
        }
    }
}

void SetUpKeyboard(Panel &p) {
    QWidget *panel = p.window;
    const int half = PanelDesignSize(panel).width() / 2;
    struct Stop {
        QWidget *w;
        int column, y, x;
    };
    std::vector<Stop> stops;
    for (auto &entry : p.controls) {
        QWidget *w = entry.second.widget;
        if (auto *slide = qobject_cast<TintaroSlide *>(w)) {
            // The slide takes the focus with its slider: arrow keys step it.
            w->setFocusPolicy(Qt::StrongFocus);
            w->setFocusProxy(slide->slider());
        }
        if (!w || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        const QRect r = DesignRect(w);
        stops.push_back({w, r.center().x() < half ? 0 : 1, r.center().y(), r.left()});
        if (w->inherits("QCustomPlot"))
            new FocusRing(w);
        if (auto *table = qobject_cast<QTableWidget *>(w))
            table->setTabKeyNavigation(false); // arrows move inside, Tab leaves
        // A latching button styled when checked draws no focus of its own: give it a frame.
        const QString sheet = w->styleSheet();
        if (qobject_cast<QAbstractButton *>(w) && sheet.contains(QLatin1String(":checked")))
            w->setStyleSheet(
                sheet +
                QStringLiteral(" QPushButton:checked:focus { border: 3px solid #FFB300; }"));
    }
    // Reading order: the left column top to bottom, then the right one; controls whose centres
    // lie within a few pixels of each other form one row, read left to right.
    std::sort(stops.begin(), stops.end(), [](const Stop &a, const Stop &b) {
        if (a.column != b.column)
            return a.column < b.column;
        if (std::abs(a.y - b.y) > 8)
            return a.y < b.y;
        return a.x < b.x;
    });
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].w, stops[i].w);
    UpdateCoveredTabStops(panel);

    // F1: the help of the control that has the focus, as its right click shows it.
    QWidget *window = p.frame ? static_cast<QWidget *>(p.frame.data()) : panel;
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), window);
    help->setContext(Qt::WindowShortcut);
    QObject::connect(help, &QShortcut::activated, window, [panel] {
        for (QWidget *w = QApplication::focusWidget(); w && w != panel; w = w->parentWidget()) {
            if (w->parentWidget() == panel && w->property("ctrlId").isValid()) {
                DispatchCtrlEvent(w, EVENT_RIGHT_CLICK);
                return;
            }
        }
    });
}

} // namespace platform
