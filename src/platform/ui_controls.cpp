// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Typed control values, attributes, tables and controls created at run time.
#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/private/internal.h"
#include "platform/private/ui_private.h"
#include "platform/private/ui_scale.h"
#include "platform/private/ui_widgets.h"

namespace platform {
namespace {

// Copies Latin-1 text into a caller's buffer, truncated and always terminated.
int CopyOut(const QString &s, char *out, std::size_t size) {
    if (!out || size == 0)
        return UIE_BAD_ARGUMENT;
    const QByteArray bytes = s.toLatin1();
    const std::size_t n = std::min(std::size_t(bytes.size()), size - 1);
    std::memcpy(out, bytes.constData(), n);
    out[n] = '\0';
    return UIE_NO_ERROR;
}

// Reads a numeric control's value; false when the control holds no number.
bool ReadNumber(const Control &c, long long *v) {
    QWidget *w = c.widget;
    switch (c.kind) {
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        *v = static_cast<QAbstractButton *>(w)->isChecked() ? 1 : 0;
        return true;
    case Kind::Numeric:
        *v = c.hasPending ? c.pending : static_cast<QSpinBox *>(w)->value();
        return true;
    case Kind::Slide:
        *v = static_cast<TintaroSlide *>(w)->value();
        return true;
    case Kind::ColorBar:
        *v = static_cast<TintaroColorBar *>(w)->value();
        return true;
    case Kind::Ring: {
        const int i = static_cast<QComboBox *>(w)->currentIndex();
        if (c.hasExtraItem && i == int(c.ringValues.size())) {
            *v = c.extraValue;
            return true;
        }
        if (i < 0 || i >= int(c.ringValues.size()))
            return false;
        *v = c.ringValues[std::size_t(i)];
        return true;
    }
    default:
        return false;
    }
}

int CheckFits(const Control &c, long long value) {
    if (c.type == DataType::U16 && (value < 0 || value > 65535))
        return UIE_OUT_OF_RANGE;
    if (c.type == DataType::I32 && (value < std::numeric_limits<std::int32_t>::min() ||
                                    value > std::numeric_limits<std::int32_t>::max()))
        return UIE_OUT_OF_RANGE;
    return UIE_NO_ERROR;
}

int SetNumber(int panel, int control, long long value, const char *call = __builtin_FUNCTION()) {
    int err = 0;
    Control *c = FindControl(panel, control, &err, call);
    if (!c)
        return err;
    if (c->type != DataType::U16 && c->type != DataType::I32)
        return UIE_BAD_TYPE;
    if ((err = CheckFits(*c, value)) != UIE_NO_ERROR)
        return err;
    return WriteCtrlValue(*c, value);
}

template <typename T>
int GetNumber(int panel, int control, DataType want, T *out,
              const char *call = __builtin_FUNCTION()) {
    int err = 0;
    Control *c = FindControl(panel, control, &err, call);
    if (!c)
        return err;
    if (!out)
        return UIE_BAD_ARGUMENT;
    if (c->type != want)
        return UIE_BAD_TYPE;
    long long v = 0;
    if (!ReadNumber(*c, &v))
        return UIE_BAD_TYPE;
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
        return UIE_OUT_OF_RANGE;
    *out = T(v);
    return UIE_NO_ERROR;
}

// Text messages fit their text, so new fonts and sizes never clip it.
// A text label takes the size of its text, in design units whatever the scale.
void FitLabel(Control &c) {
    if (c.kind != Kind::Label)
        return;
    auto *l = static_cast<QLabel *>(c.widget.data());
    const double s = l->parentWidget() ? PanelScale(l->parentWidget()) : 1.0;
    if (s == 1.0) {
        l->move(DesignRect(l).topLeft());
        l->adjustSize();
        l->setProperty("tintaroDesignRect", l->geometry());
        return;
    }
    const QSize hint = l->sizeHint();
    QRect r = DesignRect(l);
    r.setSize(QSize(int(std::ceil(hint.width() / s)) + 1, int(std::ceil(hint.height() / s))));
    SetDesignRect(l, r);
}

int ToRgb(const QColor &c) {
    return c.alpha() == 0 ? VAL_TRANSPARENT : int(c.rgb() & 0xFFFFFF);
}

QTableWidget *TableOf(int panel, int control, int *err, const char *call = __builtin_FUNCTION()) {
    Control *c = FindControl(panel, control, err, call);
    if (!c)
        return nullptr;
    if (c->kind != Kind::Table) {
        *err = UIE_BAD_CONTROL;
        return nullptr;
    }
    return static_cast<QTableWidget *>(c->widget.data());
}

// Selects the ring item with that value. A value that no item has (a sensor may hold one the
// panel does not list) gets an extra item naming the number, so that reading the ring gives
// the value back and a GET followed by a SEND returns it unchanged.
void WriteRingValue(Control &c, long long value) {
    auto *combo = static_cast<QComboBox *>(c.widget.data());
    const int items = int(c.ringValues.size());
    for (int i = 0; i < items; ++i) {
        if (c.ringValues[std::size_t(i)] == value) {
            combo->setCurrentIndex(i);
            if (c.hasExtraItem) {
                combo->removeItem(items);
                c.hasExtraItem = false;
            }
            return;
        }
    }
    const QString text = QStringLiteral("%1 (?)").arg(value);
    if (c.hasExtraItem) {
        combo->setItemText(items, text);
    } else {
        combo->addItem(text);
        c.hasExtraItem = true;
    }
    c.extraValue = int(value);
    combo->setCurrentIndex(items);
}

// An editor open on the cell would write the operator's half-typed number back over the value
// written now when it closes: close it first, without committing it.
void CloseCellEditor(QTableWidget *t, int row, int column) {
    const QModelIndex index = t->model()->index(row, column);
    if (QWidget *editor = t->indexWidget(index))
        emit t->itemDelegateForIndex(index)->closeEditor(editor,
                                                         QAbstractItemDelegate::RevertModelCache);
}

} // namespace

void ApplyPendingNumber(Control &c) {
    if (!c.hasPending)
        return;
    c.hasPending = false;
    if (auto *spin = qobject_cast<QSpinBox *>(c.widget.data())) {
        const QSignalBlocker block(spin);
        spin->setValue(c.pending);
    }
}

void ApplyPendingNumbers(Panel &panel) {
    for (auto &entry : panel.controls)
        ApplyPendingNumber(entry.second);
}

int WriteCtrlValue(Control &c, long long value) {
    QWidget *w = c.widget;
    const QSignalBlocker block(w);
    switch (c.kind) {
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        static_cast<QAbstractButton *>(w)->setChecked(value != 0);
        return UIE_NO_ERROR;
    case Kind::Numeric: {
        auto *spin = static_cast<QSpinBox *>(w);
        // The spin box coerces the value into its own range.
        const int v = std::clamp(int(value), spin->minimum(), spin->maximum());
        if (!spin->isReadOnly()) {
            spin->setValue(v);
            return UIE_NO_ERROR;
        }
        // The live displays are written every record, and laying out their text is most of
        // what that costs: it waits until the window is drawn, which the polling loop does
        // while its next request is on the wire. A display that shows the value is left alone.
        c.hasPending = v != spin->value();
        c.pending = v;
        if (c.hasPending)
            spin->update();
        return UIE_NO_ERROR;
    }
    case Kind::Slide:
        static_cast<TintaroSlide *>(w)->setValue(int(value));
        return UIE_NO_ERROR;
    case Kind::ColorBar:
        static_cast<TintaroColorBar *>(w)->setValue(int(value));
        return UIE_NO_ERROR;
    case Kind::Ring:
        WriteRingValue(c, value);
        return UIE_NO_ERROR;
    default:
        return UIE_BAD_TYPE;
    }
}

QWidget *PanelWindowOf(QWidget *control) {
    const Panel *p = FindPanel(control->property("tintaroPanel").toInt());
    return p ? p->window.data() : control->window();
}

void CommitPendingEdit(QWidget *panelWindow) {
    QWidget *focus = QApplication::focusWidget();
    if (!focus || !panelWindow || !panelWindow->isAncestorOf(focus))
        return;
    // A cell editor is a spin box inside the table: the table takes the number, as when the
    // operator presses Enter, and the editor closes.
    for (QWidget *w = focus; w && w != panelWindow; w = w->parentWidget()) {
        auto *table = qobject_cast<QTableWidget *>(w);
        if (!table)
            continue;
        const QModelIndex index = table->currentIndex();
        QWidget *editor = table->indexWidget(index);
        if (editor && (editor == focus || editor->isAncestorOf(focus))) {
            QAbstractItemDelegate *delegate = table->itemDelegateForIndex(index);
            emit delegate->commitData(editor);
            emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
        return;
    }
    // A numeric field takes its typed text; a changed value raises its commit first.
    for (QWidget *w = focus; w && w != panelWindow; w = w->parentWidget()) {
        if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
            spin->interpretText();
            return;
        }
    }
}

} // namespace platform

using namespace platform;

int GetCtrlVal(int panel, int control, std::uint16_t *value) {
    return GetNumber(panel, control, DataType::U16, value);
}

int GetCtrlVal(int panel, int control, std::int32_t *value) {
    return GetNumber(panel, control, DataType::I32, value);
}

int GetCtrlVal(int panel, int control, char *text, std::size_t size) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    if (!text || size == 0)
        return UIE_BAD_ARGUMENT;
    if (c->type != DataType::String)
        return UIE_BAD_TYPE;
    QWidget *w = c->widget;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return CopyOut(e->text(), text, size);
    if (auto *l = qobject_cast<QLabel *>(w))
        return CopyOut(l->text(), text, size);
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return CopyOut(b->text(), text, size);
    return UIE_BAD_TYPE;
}

int SetCtrlVal(int panel, int control, std::int32_t value) {
    return SetNumber(panel, control, value);
}

int SetCtrlVal(int panel, int control, std::uint16_t value) {
    return SetNumber(panel, control, value);
}

int SetCtrlVal(int panel, int control, const char *text) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    if (!text)
        return UIE_BAD_ARGUMENT;
    if (c->type != DataType::String)
        return UIE_BAD_TYPE;
    QWidget *w = c->widget;
    const QSignalBlocker block(w);
    // The STATUS field shows the sensor's identification: whatever it sends stays plain text.
    const QString s = ShowableText(QString::fromLatin1(text), qobject_cast<QLabel *>(w) != nullptr);
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        e->setText(s);
        e->setCursorPosition(0); // long texts show their beginning
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        l->setTextFormat(Qt::PlainText);
        l->setText(s);
        FitLabel(*c);
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        b->setText(s);
    } else {
        return UIE_BAD_TYPE;
    }
    return UIE_NO_ERROR;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    QWidget *w = c->widget;
    const QSignalBlocker block(w);
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(value == 0);
        return UIE_NO_ERROR;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        UpdateCoveredTabStops(PanelWindowOf(w));
        return UIE_NO_ERROR;
    case ATTR_LEFT:
    case ATTR_TOP: {
        // Positions are in the panel's design units, whatever size the window has.
        QWidget *top = PanelWindowOf(w);
        if (w->parentWidget() == top) {
            QRect r = DesignRect(w);
            (attribute == ATTR_LEFT ? r.moveLeft(value) : r.moveTop(value));
            SetDesignRect(w, r);
            return UIE_NO_ERROR;
        }
        QPoint p = w->parentWidget() ? w->parentWidget()->mapTo(top, w->pos()) : w->pos();
        (attribute == ATTR_LEFT ? p.rx() : p.ry()) = value;
        w->move(w->parentWidget() ? w->parentWidget()->mapFrom(top, p) : p);
        return UIE_NO_ERROR;
    }
    case ATTR_FRAME_COLOR: {
        if (value < 0 || value > VAL_TRANSPARENT)
            return UIE_OUT_OF_RANGE;
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, ToQColor(value));
        w->setPalette(pal);
        w->setAutoFillBackground(value != VAL_TRANSPARENT);
        return UIE_NO_ERROR;
    }
    case ATTR_ZPLANE_POSITION:
        if (value <= 0)
            w->raise();
        else
            w->lower();
        c->zplane = value;
        UpdateCoveredTabStops(PanelWindowOf(w));
        return UIE_NO_ERROR;
    case ATTR_TEXT_COLOR: {
        if (value < 0 || value >= VAL_TRANSPARENT)
            return UIE_OUT_OF_RANGE;
        QPalette pal = w->palette();
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(role, ToQColor(value));
        w->setPalette(pal);
        return UIE_NO_ERROR;
    }
    case ATTR_TEXT_BGCOLOR: {
        if (value < 0 || value > VAL_TRANSPARENT)
            return UIE_OUT_OF_RANGE;
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, ToQColor(value));
        pal.setColor(QPalette::Base, ToQColor(value));
        w->setPalette(pal);
        w->setAutoFillBackground(value != VAL_TRANSPARENT);
        return UIE_NO_ERROR;
    }
    case ATTR_TEXT_POINT_SIZE: {
        if (value <= 0 || value > 500)
            return UIE_OUT_OF_RANGE;
        QFont f = DesignFont(w);
        f.setPointSize(value);
        SetDesignFont(w, f);
        FitLabel(*c);
        return UIE_NO_ERROR;
    }
    case ATTR_TEXT_FONT:
        return UIE_BAD_TYPE;
    default:
        return SetGraphCtrlAttribute(w, attribute, value);
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *value) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    if (attribute != ATTR_TEXT_FONT)
        return UIE_BAD_ATTRIBUTE;
    if (!value || !*value)
        return UIE_BAD_ARGUMENT;
    QWidget *w = c->widget;
    const int size = DesignFont(w).pointSize();
    QFont f = std::strcmp(value, "AppFont") == 0 ? QApplication::font()
                                                 : QFont(QString::fromLatin1(value));
    if (size > 0)
        f.setPointSize(size); // the font name changes the family; the size stays
    SetDesignFont(w, f);
    FitLabel(*c);
    return UIE_NO_ERROR;
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    if (!value)
        return UIE_BAD_ARGUMENT;
    QWidget *w = c->widget;
    switch (attribute) {
    case ATTR_DIMMED:
        *value = w->isEnabledTo(PanelWindowOf(w)) ? 0 : 1;
        return UIE_NO_ERROR;
    case ATTR_VISIBLE:
        *value = w->isHidden() ? 0 : 1;
        return UIE_NO_ERROR;
    case ATTR_LEFT:
    case ATTR_TOP: {
        QWidget *top = PanelWindowOf(w);
        const QPoint p = w->parentWidget() == top ? DesignRect(w).topLeft()
                         : w->parentWidget()      ? w->parentWidget()->mapTo(top, w->pos())
                                                  : w->pos();
        *value = attribute == ATTR_LEFT ? p.x() : p.y();
        return UIE_NO_ERROR;
    }
    case ATTR_FRAME_COLOR:
        *value =
            w->autoFillBackground() ? ToRgb(w->palette().color(QPalette::Window)) : VAL_TRANSPARENT;
        return UIE_NO_ERROR;
    case ATTR_ZPLANE_POSITION:
        *value = c->zplane;
        return UIE_NO_ERROR;
    case ATTR_TEXT_COLOR:
        *value = ToRgb(w->palette().color(QPalette::WindowText));
        return UIE_NO_ERROR;
    case ATTR_TEXT_BGCOLOR:
        *value =
            w->autoFillBackground() ? ToRgb(w->palette().color(QPalette::Base)) : VAL_TRANSPARENT;
        return UIE_NO_ERROR;
    case ATTR_TEXT_POINT_SIZE:
        *value = DesignFont(w).pointSize();
        return UIE_NO_ERROR;
    case ATTR_TEXT_FONT:
        return UIE_BAD_TYPE;
    default:
        return GetGraphCtrlAttribute(w, attribute, value);
    }
}

int NewCtrl(int panel, int style, const char *label, int top, int left) {
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_PANEL;
    if (style != CTRL_TEXT_MSG)
        return UIE_BAD_ARGUMENT;
    while (p->controls.count(p->nextNewId))
        ++p->nextNewId;
    const int id = p->nextNewId++;
    auto *l = new QLabel(QString::fromLatin1(label ? label : ""), p->window);
    l->setObjectName(QStringLiteral("runtimeText%1").arg(id));
    l->setFont(DesignFont(p->window)); // the panel's design font; scaled below
    l->setProperty("tintaroDesignFont", l->font());
    l->setProperty("tintaroDesignRect", QRect(left, top, 1, 1));
    l->raise(); // in front of the decoration it is written on
    l->show();
    Control &c = AddControl(*p, l, id, Kind::Label, DataType::String, nullptr);
    SetDesignFont(l, DesignFont(l));
    FitLabel(c);
    return id;
}

int DisplayImageFile(int panel, int control, const char *file) {
    int err = 0;
    Control *c = FindControl(panel, control, &err);
    if (!c)
        return err;
    auto *l = qobject_cast<QLabel *>(c->widget.data());
    if (!l)
        return UIE_BAD_CONTROL;
    QPixmap pm;
    if (!file || !*file || !pm.load(ResolveBesideExecutable(file)))
        return UIE_FILE_NOT_FOUND;
    // A bitmap twice the size beside it ("name@2x.bmp") keeps the picture sharp when scaled up.
    const QString path = ResolveBesideExecutable(file);
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    QPixmap hi;
    if (dot > 0 && hi.load(path.left(dot) + QStringLiteral("@2x") + path.mid(dot)) &&
        hi.size() == pm.size() * 2) {
        hi.setDevicePixelRatio(2.0);
        l->setProperty("tintaroPixmap2x", hi);
    } else {
        l->setProperty("tintaroPixmap2x", QVariant());
    }
    l->setProperty("tintaroPixmap1x", pm);
    l->setPixmap(pm);
    l->setScaledContents(true);
    QRect r = DesignRect(l);
    r.setSize(pm.size());
    SetDesignRect(l, r); // picks the bitmap for the scale
    return UIE_NO_ERROR;
}

Point MakePoint(int x, int y) {
    return Point{x, y};
}

int GetTableCellVal(int panel, int control, Point cell, std::uint16_t *value) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (!value || cell.x < 1 || cell.y < 1 || cell.x > t->columnCount() || cell.y > t->rowCount())
        return UIE_BAD_ARGUMENT;
    const QTableWidgetItem *item = t->item(cell.y - 1, cell.x - 1);
    *value = std::uint16_t(item ? qBound(0, item->data(Qt::EditRole).toInt(), 65535) : 0);
    return UIE_NO_ERROR;
}

int SetTableCellVal(int panel, int control, Point cell, std::int32_t value) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (cell.x < 1 || cell.y < 1 || cell.x > t->columnCount() || cell.y > t->rowCount())
        return UIE_BAD_ARGUMENT;
    if (value < 0 || value > 65535)
        return UIE_OUT_OF_RANGE;
    CloseCellEditor(t, cell.y - 1, cell.x - 1);
    const QSignalBlocker block(t);
    QTableWidgetItem *item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        item = new QTableWidgetItem;
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    item->setData(Qt::EditRole, int(value));
    return UIE_NO_ERROR;
}

int SetTableRowAttribute(int panel, int control, int row, int attribute, int value) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (row < 1 || row > t->rowCount())
        return UIE_BAD_ARGUMENT;
    if (attribute != ATTR_LABEL_COLOR)
        return UIE_BAD_ATTRIBUTE;
    if (value < 0 || value >= VAL_TRANSPARENT)
        return UIE_OUT_OF_RANGE;
    const QSignalBlocker block(t);
    QTableWidgetItem *item = t->verticalHeaderItem(row - 1);
    if (!item) {
        item = new QTableWidgetItem(QString::number(row - 1));
        t->setVerticalHeaderItem(row - 1, item);
    }
    item->setForeground(ToQColor(value));
    return UIE_NO_ERROR;
}

int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (!value || row < 1 || row > t->rowCount())
        return UIE_BAD_ARGUMENT;
    if (attribute != ATTR_LABEL_COLOR)
        return UIE_BAD_ATTRIBUTE;
    const QTableWidgetItem *item = t->verticalHeaderItem(row - 1);
    const QBrush fg = item ? item->foreground() : QBrush();
    *value =
        ToRgb(fg.style() == Qt::NoBrush ? t->verticalHeader()->palette().color(QPalette::ButtonText)
                                        : fg.color());
    return UIE_NO_ERROR;
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (!value || column < 1 || column > t->columnCount())
        return UIE_BAD_ARGUMENT;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    const QSignalBlocker block(t);
    QTableWidgetItem *item = t->horizontalHeaderItem(column - 1);
    if (!item) {
        item = new QTableWidgetItem;
        t->setHorizontalHeaderItem(column - 1, item);
    }
    item->setText(QString::fromLatin1(value));
    return UIE_NO_ERROR;
}

int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *value,
                            std::size_t size) {
    int err = 0;
    QTableWidget *t = TableOf(panel, control, &err);
    if (!t)
        return err;
    if (column < 1 || column > t->columnCount())
        return UIE_BAD_ARGUMENT;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    const QTableWidgetItem *item = t->horizontalHeaderItem(column - 1);
    return CopyOut(item ? item->text() : QString::number(column), value, size);
}
