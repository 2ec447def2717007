// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Loading a panel from its Qt Designer resource and binding callbacks by name.
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUiLoader>

#include <cstdio>

#include "platform/private/internal.h"
#include "platform/serial.h"
#include "platform/private/ui_private.h"
#include "platform/private/ui_widgets.h"

namespace platform {

namespace {

const CallbackEntry *g_table = nullptr;
std::size_t g_tableSize = 0;

const CallbackEntry *FindCallback(const QString &name) {
    for (std::size_t i = 0; i < g_tableSize; ++i)
        if (g_table[i].name && name == QLatin1String(g_table[i].name))
            return &g_table[i];
    return nullptr;
}

// Creates the layer's own widget classes by name; Qt's classes go to the standard loader.
class PanelLoader : public QUiLoader {
public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
        QWidget *w = nullptr;
        if (className == QLatin1String("TintaroGraph") ||
            className == QLatin1String("TintaroStripChart"))
            w = CreateGraphWidget(className, parent, name);
        else if (className == QLatin1String("TintaroSlide"))
            w = new TintaroSlide(parent);
        else if (className == QLatin1String("TintaroColorBar"))
            w = new TintaroColorBar(parent);
        else
            return QUiLoader::createWidget(className, parent, name);
        if (w)
            w->setObjectName(name);
        return w;
    }
};

// Table cells are edited as whole numbers 0..65535.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override {
        auto *spin = new QSpinBox(parent);
        spin->setRange(0, 65535);
        spin->setFrame(false);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        return spin;
    }
    // The cell takes the number as typed, also when the editor is committed from outside
    // (a shortcut key) before the spin box has interpreted its text.
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        if (auto *spin = qobject_cast<QSpinBox *>(editor))
            spin->interpretText();
        QStyledItemDelegate::setModelData(editor, model, index);
    }
};

Kind KindOf(QWidget *w) {
    if (qobject_cast<TintaroSlide *>(w))
        return Kind::Slide;
    if (qobject_cast<TintaroColorBar *>(w))
        return Kind::ColorBar;
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->isCheckable() ? Kind::Toggle : Kind::Button;
    if (qobject_cast<QRadioButton *>(w))
        return Kind::Radio;
    if (qobject_cast<QCheckBox *>(w))
        return Kind::Switch;
    if (qobject_cast<QSpinBox *>(w))
        return Kind::Numeric;
    if (qobject_cast<QComboBox *>(w))
        return Kind::Ring;
    if (qobject_cast<QLineEdit *>(w))
        return Kind::TextIndicator;
    if (qobject_cast<QTableWidget *>(w))
        return Kind::Table;
    if (qobject_cast<QLabel *>(w))
        return Kind::Label;
    if (w->metaObject()->className() == QByteArray("QFrame"))
        return Kind::Deco;
    return Kind::Other;
}

DataType DefaultType(Kind k) {
    switch (k) {
    case Kind::Numeric:
    case Kind::Slide:
    case Kind::Ring:
    case Kind::ColorBar:
        return DataType::U16;
    case Kind::Toggle:
    case Kind::Radio:
    case Kind::Switch:
        return DataType::I32;
    case Kind::TextIndicator:
    case Kind::Label:
        return DataType::String;
    default:
        return DataType::None;
    }
}

bool Fail(const QString &file, const QString &what) {
    std::fprintf(stderr, "LoadPanel: %s: %s\n", QFile::encodeName(file).constData(),
                 what.toLocal8Bit().constData());
    return false;
}

// Digits need no text shaping, and a live display lays out its text for every record.
void NumbersOnly(QWidget *w) {
    QFont f = w->font();
    f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::PreferNoShaping));
    w->setFont(f);
}

// Prepares one addressed control; false (with a message) when the resource is inconsistent.
bool PrepareControl(const QString &file, QWidget *w, Control *c) {
    const int id = c->id;
    const QString where = QStringLiteral("control %1 (%2)").arg(id).arg(w->objectName());
    c->kind = KindOf(w);
    const QString type = w->property("dataType").toString();
    if (type.isEmpty())
        c->type = DefaultType(c->kind);
    else if (type == QLatin1String("u16"))
        c->type = DataType::U16;
    else if (type == QLatin1String("i32"))
        c->type = DataType::I32;
    else if (type == QLatin1String("string"))
        c->type = DataType::String;
    else
        return Fail(file, where + QStringLiteral(": unknown dataType \"%1\"").arg(type));

    const QString cb = w->property("callback").toString();
    if (!cb.isEmpty()) {
        const CallbackEntry *e = FindCallback(cb);
        if (!e || !e->ctrl)
            return Fail(file, where + QStringLiteral(": callback \"%1\" is not registered as a "
                                                     "control callback")
                                          .arg(cb));
        c->callback = e->ctrl;
    }

    switch (c->kind) {
    case Kind::Radio:
        // Radio buttons are independent controls; the program decides what excludes what.
        static_cast<QRadioButton *>(w)->setAutoExclusive(false);
        break;
    case Kind::Numeric: {
        auto *spin = static_cast<QSpinBox *>(w);
        if (c->type == DataType::U16)
            spin->setRange(qBound(0, spin->minimum(), 65535), qBound(0, spin->maximum(), 65535));
        NumbersOnly(spin);
        break;
    }
    case Kind::ColorBar:
        NumbersOnly(w); // the bar's value under it
        break;
    case Kind::Ring: {
        auto *combo = static_cast<QComboBox *>(w);
        const QString list = w->property("ringValues").toString();
        if (list.isEmpty()) {
            for (int i = 0; i < combo->count(); ++i)
                c->ringValues.push_back(i);
        } else {
            for (const QString &s : list.split(QLatin1Char(','))) {
                bool ok = false;
                const int v = s.trimmed().toInt(&ok);
                if (!ok || (c->type == DataType::U16 && (v < 0 || v > 65535)))
                    return Fail(file, where + QStringLiteral(": bad ringValues \"%1\"").arg(list));
                c->ringValues.push_back(v);
            }
        }
        if (int(c->ringValues.size()) != combo->count())
            return Fail(file, where + QStringLiteral(": %1 ringValues for %2 items")
                                          .arg(c->ringValues.size())
                                          .arg(combo->count()));
        if (w->property("comPortList").toBool()) {
            for (int i = 0; i < combo->count(); ++i) {
                const int port = c->ringValues[std::size_t(i)];
                const std::string dev = ComPortDevice(port);
                const std::string stable = ComStableName(dev);
                QString shown = QString::fromLocal8Bit(dev.c_str());
                if (!stable.empty()) // a USB adapter's number changes; its stable name does not
                    shown += QStringLiteral("  (%1)").arg(QString::fromLocal8Bit(stable.c_str()));
                combo->setItemText(i, QStringLiteral("COM%1  %2").arg(port).arg(shown).trimmed());
                combo->setItemData(i, combo->itemText(i), Qt::ToolTipRole);
            }
            // Long device paths show whole in the open list.
            combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 32);
        }
        break;
    }
    case Kind::Table: {
        auto *table = static_cast<QTableWidget *>(w);
        table->setItemDelegate(new CellDelegate(table));
        for (int r = 0; r < table->rowCount(); ++r) {
            if (!table->verticalHeaderItem(r))
                table->setVerticalHeaderItem(r, new QTableWidgetItem(QString::number(r)));
            for (int col = 0; col < table->columnCount(); ++col) {
                QTableWidgetItem *item = table->item(r, col);
                if (!item) {
                    item = new QTableWidgetItem;
                    table->setItem(r, col, item);
                }
                // Cells hold numbers, whatever text the resource gave them.
                const int v = qBound(0, item->data(Qt::EditRole).toInt(), 65535);
                item->setData(Qt::EditRole, v);
            }
        }
        break;
    }
    default:
        break;
    }
    return true;
}

} // namespace
} // namespace platform

using namespace platform;

void RegisterCallbacks(const CallbackEntry *table, std::size_t count) {
    g_table = table;
    g_tableSize = table ? count : 0;
}

int LoadPanel(int, const char *file, int resourceId) {
    if (!QCoreApplication::instance())
        return UIE_NO_DISPLAY;
    const QString path = ResolveBesideExecutable(file);
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "LoadPanel: cannot read %s\n", QFile::encodeName(path).constData());
        return UIE_FILE_NOT_FOUND;
    }
    PanelLoader loader;
    loader.clearPluginPaths(); // the layer's classes are built in; no designer plugins
    loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
    QWidget *root = loader.load(&f, nullptr);
    if (!root) {
        Fail(path, QStringLiteral("malformed resource: ") + loader.errorString());
        return UIE_BAD_RESOURCE;
    }
    bool ok = true;
    if (root->property("ctrlId").toInt() != resourceId)
        ok = Fail(path, QStringLiteral("the top-level widget is not panel %1").arg(resourceId));

    PanelCallbackPtr panelCb = nullptr;
    const QString cb = root->property("callback").toString();
    if (ok && !cb.isEmpty()) {
        const CallbackEntry *e = FindCallback(cb);
        if (!e || !e->panel)
            ok = Fail(path, QStringLiteral("panel callback \"%1\" is not registered").arg(cb));
        else
            panelCb = e->panel;
    }

    std::map<int, Control> controls;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!ok)
            break;
        const QVariant idv = w->property("ctrlId");
        if (!idv.isValid())
            continue;
        bool isInt = false;
        const int id = idv.toInt(&isInt);
        if (!isInt || id <= 0) {
            ok = Fail(path, QStringLiteral("bad ctrlId on %1").arg(w->objectName()));
        } else if (controls.count(id) || id == resourceId) {
            ok = Fail(path, QStringLiteral("ctrlId %1 used twice").arg(id));
        } else {
            Control c;
            c.id = id;
            c.widget = w;
            ok = PrepareControl(path, w, &c);
            controls[id] = c;
        }
    }
    if (!ok) {
        delete root;
        return UIE_BAD_RESOURCE;
    }
    return RegisterPanel(root, panelCb, &controls);
}
