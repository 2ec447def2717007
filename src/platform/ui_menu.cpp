// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The menu bar above a panel, and the versions of the libraries under the layer.
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <map>

#include <qcustomplot.h>

#include "platform/private/ui_private.h"

namespace {

std::map<int, QPointer<QAction>> &Items() {
    static std::map<int, QPointer<QAction>> items;
    return items;
}

} // namespace

using namespace platform;

int AddMenuBarItem(int panel, const char *menu, const char *item, MenuItemCallback callback) {
    Panel *p = FindPanel(panel);
    if (!p || !p->frame)
        return UIE_BAD_PANEL;
    if (!menu || !*menu || !item || !*item || !callback)
        return UIE_BAD_ARGUMENT;
    QMenuBar *bar = p->frame->menuBar(); // made on first use
    const QString menuTitle = QString::fromUtf8(menu);
    QMenu *target = nullptr;
    for (QAction *a : bar->actions())
        if (a->menu() && a->menu()->title() == menuTitle)
            target = a->menu();
    if (!target)
        target = bar->addMenu(menuTitle);
    static int nextId = 1;
    const int id = nextId++;
    QAction *action = target->addAction(QString::fromUtf8(item));
    QObject::connect(action, &QAction::triggered, [panel, id, callback] {
        ReleaseHeldDraws();
        callback(panel, id);
    });
    Items()[id] = action;
    return id;
}

int SetMenuBarItemEnabled(int item, int enabled) {
    const auto it = Items().find(item);
    if (it == Items().end() || !it->second)
        return UIE_BAD_ARGUMENT;
    it->second->setEnabled(enabled != 0);
    return UIE_NO_ERROR;
}

const char *LayerLibraryVersions() {
    static const std::string text =
        std::string("Qt ") + qVersion() + ", QCustomPlot " + QCUSTOMPLOT_VERSION_STR;
    return text.c_str();
}
