// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The table window beside a panel: plain-text cells, column headings, one button.
#include "platform/table_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstring>
#include <map>

#include "platform/private/internal.h"
#include "platform/private/ui_private.h"
#include "platform/ui.h"

namespace {

constexpr int kMaxColumns = 32;
constexpr int kMaxRows = 64;

struct Window {
    int panel = 0;
    QPointer<QWidget> widget;
    QPointer<QTableWidget> table;
};

std::map<int, Window> &Windows() {
    static std::map<int, Window> windows;
    return windows;
}

QTableWidget *TableOf(int window) {
    const auto it = Windows().find(window);
    return it == Windows().end() ? nullptr : it->second.table.data();
}

// The cell's item, made on first use; nullptr outside the table.
QTableWidgetItem *Cell(int window, int row, int column) {
    QTableWidget *t = TableOf(window);
    if (!t || row < 0 || column < 0 || row >= t->rowCount() || column >= t->columnCount())
        return nullptr;
    QTableWidgetItem *item = t->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled); // read-only
        item->setTextAlignment(column == 0 ? Qt::AlignCenter : Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, column, item);
    }
    return item;
}

} // namespace

using namespace platform;

int NewTableWindow(int panel, const char *title, int columns, const char *const *headings,
                   const char *button, TableWindowCallback callback) {
    Panel *p = FindPanel(panel);
    if (!p || !p->frame)
        return UIE_BAD_PANEL;
    if (!title || !headings || !button || !*button || !callback || columns < 1 ||
        columns > kMaxColumns)
        return UIE_BAD_ARGUMENT;
    QStringList labels;
    for (int c = 0; c < columns; ++c) {
        if (!headings[c])
            return UIE_BAD_ARGUMENT;
        labels << QString::fromUtf8(headings[c]);
    }
    static int nextHandle = 1;
    const int handle = nextHandle++;

    // A window of its own (not a dialog), owned by the panel's frame so that it goes with it.
    auto *w = new QWidget(p->frame, Qt::Window);
    w->setWindowTitle(QString::fromUtf8(title));
    auto *table = new QTableWidget(0, columns, w);
    table->setHorizontalHeaderLabels(labels);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    // Widths are fitted when the window is shown, not at every cell's change: fitting to the
    // contents measures every cell, some 0.9 ms a change, and cells change with each record.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->setWordWrap(false);
    auto *push = new QPushButton(QString::fromUtf8(button), w);
    push->setAutoDefault(false);
    QObject::connect(push, &QPushButton::clicked, [handle, callback] {
        ReleaseHeldDraws();
        callback(handle);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(push);
    auto *layout = new QVBoxLayout(w);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    Windows()[handle] = Window{panel, w, table};
    return handle;
}

int ShowTableWindow(int window) {
    const auto it = Windows().find(window);
    if (it == Windows().end() || !it->second.widget)
        return UIE_BAD_ARGUMENT;
    QWidget *w = it->second.widget;
    if (!w->isVisible()) {
        QTableWidget *t = it->second.table;
        t->resizeColumnsToContents();
        int width = 2 * t->frameWidth() + 24;
        for (int c = 0; c < t->columnCount(); ++c) {
            // Room for the figures to grow (more records, a longer text) without eliding.
            t->setColumnWidth(c, t->columnWidth(c) + qMax(12, t->columnWidth(c) / 4));
            width += t->columnWidth(c);
        }
        const int height =
            t->horizontalHeader()->height() + 15 * t->verticalHeader()->defaultSectionSize() + 60;
        w->resize(width, height);
        // Beside the panel, never off the screen.
        Panel *p = FindPanel(it->second.panel);
        QScreen *screen = p && p->frame ? p->frame->screen() : QGuiApplication::primaryScreen();
        const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
        QRect frame = p && p->frame ? p->frame->frameGeometry() : QRect();
        int x = frame.right() + 8;
        if (x + width > avail.right())
            x = frame.left() - width - 8;
        if (x < avail.left())
            x = avail.right() - width;
        const int y = qBound(avail.top(), frame.top(), qMax(avail.top(), avail.bottom() - height));
        w->move(qMax(avail.left(), x), y);
        w->show();
    }
    w->raise();
    return UIE_NO_ERROR;
}

int TableWindowVisible(int window) {
    const auto it = Windows().find(window);
    if (it == Windows().end() || !it->second.widget)
        return UIE_BAD_ARGUMENT;
    return it->second.widget->isVisible() ? 1 : 0;
}

int SetTableWindowRows(int window, int rows) {
    QTableWidget *t = TableOf(window);
    if (!t || rows < 0 || rows > kMaxRows)
        return UIE_BAD_ARGUMENT;
    if (t->rowCount() != rows)
        t->setRowCount(rows);
    return UIE_NO_ERROR;
}

int SetTableWindowCell(int window, int row, int column, const char *text) {
    QTableWidgetItem *item = text ? Cell(window, row, column) : nullptr;
    if (!item)
        return UIE_BAD_ARGUMENT;
    const QString s = QString::fromUtf8(text);
    if (item->text() != s)
        item->setText(s);
    return UIE_NO_ERROR;
}

int SetTableWindowCellColour(int window, int row, int column, int colour) {
    QTableWidgetItem *item = Cell(window, row, column);
    if (!item)
        return UIE_BAD_ARGUMENT;
    item->setData(Qt::BackgroundRole,
                  colour == VAL_TRANSPARENT ? QVariant() : QVariant(QBrush(ToQColor(colour))));
    return UIE_NO_ERROR;
}

int GetTableWindowCell(int window, int row, int column, char *text, std::size_t size) {
    QTableWidgetItem *item = Cell(window, row, column);
    if (!item || !text || size == 0)
        return UIE_BAD_ARGUMENT;
    const QByteArray bytes = item->text().toUtf8();
    const std::size_t n = std::min(std::size_t(bytes.size()), size - 1);
    std::memcpy(text, bytes.constData(), n);
    text[n] = '\0';
    return UIE_NO_ERROR;
}

int GetTableWindowCellColour(int window, int row, int column, int *colour) {
    QTableWidgetItem *item = Cell(window, row, column);
    if (!item || !colour)
        return UIE_BAD_ARGUMENT;
    const QVariant v = item->data(Qt::BackgroundRole);
    *colour = v.isValid() ? int(v.value<QBrush>().color().rgb() & 0xFFFFFF) : VAL_TRANSPARENT;
    return UIE_NO_ERROR;
}
