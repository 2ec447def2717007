// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The slide and colour-bar widgets of the panel.
#include "platform/private/ui_widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>

#include <algorithm>

namespace platform {

TintaroSlide::TintaroSlide(QWidget *parent)
    : QWidget(parent), slider_(new QSlider(Qt::Horizontal, this)), label_(new QLabel(this)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(slider_, 1);
    layout->addWidget(label_);
    label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for any value, so the slider does not jump while the digits change.
    label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(QStringLiteral("-65535")));
    slider_->setRange(0, 100);
    connect(slider_, &QSlider::valueChanged, this, [this] {
        showValue();
        // While dragging the value is only previewed; the release commits it.
        if (!slider_->isSliderDown())
            emit committed();
    });
    connect(slider_, &QSlider::sliderReleased, this, &TintaroSlide::committed);
    showValue();
}

int TintaroSlide::minimum() const {
    return slider_->minimum();
}
int TintaroSlide::maximum() const {
    return slider_->maximum();
}
int TintaroSlide::value() const {
    return slider_->value();
}

void TintaroSlide::setMinimum(int v) {
    const QSignalBlocker block(slider_);
    slider_->setMinimum(v);
    showValue();
}

void TintaroSlide::setMaximum(int v) {
    const QSignalBlocker block(slider_);
    slider_->setMaximum(v);
    showValue();
}

void TintaroSlide::setValue(int v) {
    const QSignalBlocker block(slider_);
    slider_->setValue(v);
    showValue();
}

void TintaroSlide::showValue() {
    label_->setText(QString::number(slider_->value()));
}

TintaroColorBar::TintaroColorBar(QWidget *parent) : QWidget(parent) {}

void TintaroColorBar::setBarColor(const QColor &c) {
    color_ = c;
    update();
}

void TintaroColorBar::setMaximum(int v) {
    maximum_ = std::max(1, v);
    update();
}

void TintaroColorBar::setValue(int v) {
    value_ = v;
    update();
}

void TintaroColorBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const int textHeight = fontMetrics().height() + 4;
    const QRect bar(0, 0, width() - 1, std::max(0, height() - textHeight - 1));
    p.fillRect(bar, palette().color(QPalette::Base));
    // The value may exceed the scale (65535 from a saturated channel); the bar stops at the top.
    const double frac = std::clamp(double(value_) / maximum_, 0.0, 1.0);
    const int filled = int(bar.height() * frac + 0.5);
    p.fillRect(QRect(bar.left(), bar.bottom() - filled + 1, bar.width(), filled), color_);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(bar);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(0, height() - textHeight, width(), textHeight), Qt::AlignCenter,
               QString::number(value_));
}

} // namespace platform
