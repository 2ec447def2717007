// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The "Find sensor" dialog on Qt. The ports are asked on a thread of the dialog's own, so that
// the window stays responsive for up to the sensor's time-out per port; the dialog follows it
// with a timer.
#include "platform/find_sensor.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <thread>

#include "line/scan.h"
#include "platform/ui.h"

namespace {

FindSensorHandler g_handler;

std::vector<FoundPort> Listed(const std::vector<line::ScanTarget> &targets,
                              const std::vector<line::ScanResult> &results) {
    std::vector<FoundPort> found;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        FoundPort f;
        f.number = targets[i].number;
        f.device = line::ScanDeviceLabel(targets[i].device);
        f.sensor = results[i].outcome == line::ScanOutcome::Identified;
        f.answer = f.sensor ? results[i].ident : line::ScanOutcomeText(results[i].outcome);
        found.push_back(f);
    }
    return found;
}

// The sensor's text is Latin-1 and shown as plain text; control bytes show as '?'.
QString Shown(const std::string &latin1) {
    QString s = QString::fromLatin1(latin1.c_str());
    for (QChar &c : s)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            c = QLatin1Char('?');
    return s;
}

} // namespace

void SetFindSensorHandler(FindSensorHandler handler) {
    g_handler = std::move(handler);
}

int FindSensorPopup() {
    const std::vector<line::ScanTarget> targets = line::DefaultScanTargets();
    std::vector<line::ScanResult> results;
    if (g_handler) {
        line::ScanPorts(targets, &results, nullptr, nullptr);
        return g_handler(Listed(targets, results));
    }
    if (!QApplication::instance())
        return UIE_NO_DISPLAY;

    std::atomic<int> done{0};
    std::atomic<bool> cancel{false}, finished{false};
    std::thread asking([&] {
        line::ScanPorts(targets, &results, &done, &cancel);
        finished = true;
    });

    QDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle(QStringLiteral("Find sensor"));
    auto *layout = new QVBoxLayout(&dlg);
    auto *label =
        new QLabel(QStringLiteral("Asking COM1 to COM16 for the sensor's identification..."));
    label->setTextFormat(Qt::PlainText);
    auto *progress = new QProgressBar;
    progress->setRange(0, int(targets.size()));
    // Port, device and answer in columns of their own, each as wide as its longest text: a
    // network address or a stable USB name is long, and nothing may be cut off.
    auto *list = new QTreeWidget;
    list->setColumnCount(3);
    list->setHeaderLabels(
        {QStringLiteral("Port"), QStringLiteral("Device"), QStringLiteral("Answer")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setMinimumWidth(560);
    list->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton *use =
        buttons->addButton(QStringLiteral("Use this port"), QDialogButtonBox::AcceptRole);
    use->setEnabled(false);
    layout->addWidget(label);
    layout->addWidget(progress);
    layout->addWidget(list);
    layout->addWidget(buttons);

    int chosen = 0;
    bool cancelling = false;
    QTimer follow;
    QObject::connect(&follow, &QTimer::timeout, &dlg, [&] {
        progress->setValue(done.load());
        if (!finished.load())
            return;
        follow.stop();
        if (cancelling) {
            dlg.reject();
            return;
        }
        const std::vector<FoundPort> found = Listed(targets, results);
        int sensors = 0;
        for (const FoundPort &f : found) {
            auto *item = new QTreeWidgetItem(list, {QStringLiteral("COM%1").arg(f.number),
                                                    QString::fromLocal8Bit(f.device.c_str()),
                                                    Shown(f.answer)});
            item->setData(0, Qt::UserRole, f.sensor ? f.number : 0);
            if (!f.sensor)
                item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
            if (f.sensor && ++sensors == 1)
                list->setCurrentItem(item);
        }
        label->setText(sensors > 0 ? QStringLiteral("Pick the port to use:")
                                   : QStringLiteral("No sensor answered on COM1 to COM16."));
        progress->hide();
        list->show();
        int width = 2 * list->frameWidth();
        for (int c = 0; c < list->columnCount(); ++c) {
            list->resizeColumnToContents(c);
            // Room between the columns, so that "COM16" and its device do not touch.
            list->setColumnWidth(c,
                                 list->columnWidth(c) + list->fontMetrics().averageCharWidth() * 2);
            width += list->columnWidth(c);
        }
        // Every port in sight at once, within the screen.
        const QRect screen = dlg.screen() ? dlg.screen()->availableGeometry() : QRect();
        const int rows = list->topLevelItemCount();
        const int height = list->header()->sizeHint().height() + 2 * list->frameWidth() +
                           rows * list->sizeHintForRow(0) + 2;
        list->setMinimumSize(screen.isValid() ? std::min(width, screen.width() * 9 / 10) : width,
                             screen.isValid() ? std::min(height, screen.height() * 2 / 3) : height);
        dlg.adjustSize();
    });
    QObject::connect(list, &QTreeWidget::currentItemChanged, &dlg, [use](QTreeWidgetItem *item) {
        use->setEnabled(item && item->data(0, Qt::UserRole).toInt() > 0);
    });
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dlg, [&](QTreeWidgetItem *item) {
        if (item->data(0, Qt::UserRole).toInt() > 0)
            dlg.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, [&] {
        if (finished.load()) {
            dlg.reject();
            return;
        }
        // Ports being asked finish within their time-out; the rest are not asked.
        cancel = true;
        cancelling = true;
        label->setText(QStringLiteral("Cancelling..."));
        buttons->setEnabled(false);
    });
    follow.start(50);
    const int result = dlg.exec();
    // Closed with the window's close box while asking: the thread still finishes its ports.
    cancel = true;
    asking.join();
    if (result == QDialog::Accepted && list->currentItem())
        chosen = list->currentItem()->data(0, Qt::UserRole).toInt();
    return chosen;
}
