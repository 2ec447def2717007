// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Panel widget classes that Qt lacks: the slide with its value and the colour bar.
#pragma once

#include <QColor>
#include <QWidget>

class QLabel;
class QSlider;

namespace platform {

// A horizontal slider with its numeric value shown at its right.
class TintaroSlide : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)

public:
    explicit TintaroSlide(QWidget *parent = nullptr);
    int minimum() const;
    int maximum() const;
    int value() const;
    void setMinimum(int v);
    void setMaximum(int v);
    void setValue(int v);
    QSlider *slider() const { return slider_; }

signals:
    // The user released the handle or stepped the value (keys, wheel, page clicks).
    void committed();

private:
    void showValue();
    QSlider *slider_;
    QLabel *label_;
};

// A vertical bar whose filled height shows value / maximum, with the value printed below.
class TintaroColorBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor barColor READ barColor WRITE setBarColor)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)

public:
    explicit TintaroColorBar(QWidget *parent = nullptr);
    QColor barColor() const { return color_; }
    int maximum() const { return maximum_; }
    int value() const { return value_; }
    void setBarColor(const QColor &c);
    void setMaximum(int v);
    void setValue(int v);
    QSize sizeHint() const override { return QSize(40, 200); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor color_{Qt::red};
    int maximum_ = 4095;
    int value_ = 0;
};

} // namespace platform
